#include "wordbook/WordBookTransfer.h"

#include <QDate>
#include <QHash>
#include <QStringDecoder>

namespace wordbooktransfer {
namespace {

const QString kStoredSeparator = QStringLiteral("\\n");
const QStringList kColumns = {QStringLiteral("word"), QStringLiteral("phonetic"), QStringLiteral("definition"),
                              QStringLiteral("group"), QStringLiteral("date added")};
// Header names a spreadsheet user may have typed instead.
const QHash<QString, int>& headerNames()
{
    static const QHash<QString, int> names = {
        {QStringLiteral("word"), 0},        {QStringLiteral("单词"), 0},
        {QStringLiteral("phonetic"), 1},    {QStringLiteral("音标"), 1},
        {QStringLiteral("definition"), 2},  {QStringLiteral("释义"), 2},
        {QStringLiteral("group"), 3},       {QStringLiteral("分组"), 3},
        {QStringLiteral("date added"), 4},  {QStringLiteral("date_added"), 4},
        {QStringLiteral("添加日期"), 4},
    };
    return names;
}
constexpr int kMaxWordLength = 256;

QString csvField(const QString& text)
{
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') && !text.contains(u'\r') &&
        text.trimmed() == text)
        return text;
    return u'"' + QString(text).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

QString ankiField(const QString& text)
{
    // Read as HTML (the header says so): no quote character, tab or line
    // break is left to be taken for the file's own structure.
    QString html = text.toHtmlEscaped();
    html.replace(u'\t', u' ');
    html.replace(QStringLiteral("\r\n"), QStringLiteral("<br>"));
    html.replace(u'\n', QStringLiteral("<br>"));
    html.replace(u'\r', QStringLiteral("<br>"));
    return html;
}

struct CsvRow {
    int line = 0;
    QStringList fields;
};

// RFC 4180 rows, with the line each starts on. Stops at the first row whose
// quoting is broken: nothing after it can be split reliably.
QList<CsvRow> splitRows(const QString& text, QStringList* errors)
{
    QList<CsvRow> out;
    CsvRow row;
    QString field;
    int line = 1;
    row.line = 1;
    bool quoted = false;     // inside a quoted field
    bool wasQuoted = false;  // the field so far was a closed quoted one
    const qsizetype n = text.size();
    auto endField = [&] {
        row.fields.append(field);
        field.clear();
        wasQuoted = false;
    };
    auto endRow = [&] {
        endField();
        out.append(row);
        row = CsvRow();
        row.line = line;
    };
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == u'"') {
                if (i + 1 < n && text.at(i + 1) == u'"') {
                    field += u'"';
                    ++i;
                } else {
                    quoted = false;
                    wasQuoted = true;
                }
            } else {
                if (c == u'\n') ++line;
                field += c;
            }
            continue;
        }
        if (c == u',') {
            endField();
        } else if (c == u'\n' || c == u'\r') {
            if (c == u'\r' && i + 1 < n && text.at(i + 1) == u'\n') ++i;
            ++line;
            endRow();
        } else if (c == u'"' && field.isEmpty() && !wasQuoted) {
            quoted = true;
        } else if (wasQuoted) {
            errors->append(QStringLiteral("第 %1 行：引号后面还有字符").arg(line));
            return out;
        } else {
            field += c;
        }
    }
    if (quoted) {
        errors->append(QStringLiteral("第 %1 行：引号没有闭合").arg(row.line));
        return out;
    }
    if (!field.isEmpty() || !row.fields.isEmpty() || wasQuoted) endRow();
    return out;
}

QString normalisedDate(const QString& text)
{
    // Spreadsheets write dates back as 2026/3/7 or 2026-3-7.
    for (const char* form : {"yyyy-MM-dd", "yyyy-M-d", "yyyy/M/d"}) {
        const QDate d = QDate::fromString(text, QString::fromLatin1(form));
        if (d.isValid()) return d.toString(Qt::ISODate);
    }
    return QString();
}

}  // namespace

void splitIntp(const QString& intp, QString* phonetic, QString* definition)
{
    const qsizetype at = intp.indexOf(kStoredSeparator);
    QString ph = at >= 0 ? intp.left(at) : QString();
    if (ph.size() >= 2 && ph.startsWith(u'[') && ph.endsWith(u']')) ph = ph.mid(1, ph.size() - 2);
    *phonetic = ph;
    QString rest = at >= 0 ? intp.mid(at + kStoredSeparator.size()) : intp;
    *definition = rest.replace(kStoredSeparator, QStringLiteral("\n"));
}

QString definitionForStore(const QString& definition)
{
    QString d = definition;
    d.replace(QStringLiteral("\r\n"), kStoredSeparator);
    d.replace(u'\n', kStoredSeparator);
    d.replace(u'\r', kStoredSeparator);
    return d;
}

QByteArray toCsv(const QList<WordBookRecord>& records)
{
    // The byte-order mark lets spreadsheet programs read the file as UTF-8
    // rather than the system's Chinese code page.
    QString out = QChar(0xFEFF) + kColumns.join(u',') + QStringLiteral("\r\n");
    for (const WordBookRecord& r : records) {
        out += QStringList{csvField(r.word), csvField(r.phonetic), csvField(r.definition), csvField(r.group),
                           csvField(r.dateAdded)}
                   .join(u',') +
               QStringLiteral("\r\n");
    }
    return out.toUtf8();
}

QByteArray toAnki(const QList<WordBookRecord>& records)
{
    QString out = QStringLiteral("#separator:tab\n#html:true\n");
    for (const WordBookRecord& r : records) {
        QString front = ankiField(r.word);
        if (!r.phonetic.isEmpty()) front += QStringLiteral(" [") + ankiField(r.phonetic) + u']';
        out += front + u'\t' + ankiField(r.definition.trimmed()) + u'\n';
    }
    return out.toUtf8();
}

CsvRead fromCsv(const QByteArray& bytes)
{
    CsvRead result;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        // Name the first line that is not UTF-8 (a file saved in GBK, say).
        int line = 1;
        for (const QByteArray& l : bytes.split('\n')) {
            QStringDecoder one(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            const QString decoded = one.decode(l);  // decodes only when converted
            Q_UNUSED(decoded);
            if (one.hasError()) break;
            ++line;
        }
        result.errors.append(QStringLiteral("第 %1 行：文件不是 UTF-8 编码").arg(line));
        return result;
    }
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);

    const QList<CsvRow> rows = splitRows(text, &result.errors);
    if (!result.errors.isEmpty()) return result;
    qsizetype first = 0;
    while (first < rows.size() && rows[first].fields.join(QString()).trimmed().isEmpty()) ++first;
    if (first == rows.size()) {
        result.errors.append(QStringLiteral("第 1 行：文件是空的，没有表头"));
        return result;
    }
    QList<int> columnOf;  // file column → record field, -1 ignored
    for (const QString& name : rows[first].fields)
        columnOf.append(headerNames().value(name.trimmed().toLower(), -1));
    if (!columnOf.contains(0)) {
        result.errors.append(QStringLiteral("第 %1 行：表头里没有 word 列").arg(rows[first].line));
        return result;
    }
    for (qsizetype i = first + 1; i < rows.size(); ++i) {
        const CsvRow& row = rows[i];
        if (row.fields.join(QString()).trimmed().isEmpty()) continue;
        if (row.fields.size() > columnOf.size()) {
            result.errors.append(QStringLiteral("第 %1 行：有 %2 列，表头只有 %3 列")
                                     .arg(row.line).arg(row.fields.size()).arg(columnOf.size()));
            continue;
        }
        QString values[5];
        for (qsizetype c = 0; c < row.fields.size(); ++c) {
            if (columnOf[c] >= 0) values[columnOf[c]] = row.fields[c];
        }
        WordBookRecord r{values[0].trimmed(), values[1].trimmed(), values[2].trimmed(), values[3].trimmed(),
                         values[4].trimmed()};
        if (r.word.isEmpty()) {
            result.errors.append(QStringLiteral("第 %1 行：没有单词").arg(row.line));
            continue;
        }
        if (r.word.size() > kMaxWordLength || r.word.contains(u'\n') || r.word.contains(u'\r')) {
            result.errors.append(QStringLiteral("第 %1 行：单词过长或含有换行").arg(row.line));
            continue;
        }
        if (r.group.contains(u'\n') || r.group.contains(u'\r') || r.group.size() > kMaxWordLength) {
            result.errors.append(QStringLiteral("第 %1 行：分组名过长或含有换行").arg(row.line));
            continue;
        }
        if (!r.dateAdded.isEmpty()) {
            const QString date = normalisedDate(r.dateAdded);
            if (date.isEmpty()) {
                result.errors.append(QStringLiteral("第 %1 行：日期“%2”不是 年-月-日").arg(row.line).arg(r.dateAdded));
                continue;
            }
            r.dateAdded = date;
        }
        result.records.append(r);
    }
    return result;
}

}  // namespace wordbooktransfer
