#include "wordbook/WordBookTransfer.h"

#include <QDate>
#include <QHash>
#include <QStringDecoder>

#include <utility>

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

// A spreadsheet runs a cell that starts with one of these as a formula (or,
// for a tab or a carriage return, a cell it trims into one).
bool startsFormula(QChar c)
{
    return c == u'=' || c == u'+' || c == u'-' || c == u'@' || c == u'\t' || c == u'\r';
}

// Apostrophes, none or more, then a formula start: the cells that get the
// leading apostrophe a spreadsheet shows as "this is text". Taking off one
// apostrophe only where at least one is followed by such a start undoes it
// exactly, also for a word that began with apostrophes of its own.
bool apostrophesThenFormula(const QString& text, qsizetype from)
{
    qsizetype i = from;
    while (i < text.size() && text.at(i) == u'\'')
        ++i;
    return i < text.size() && startsFormula(text.at(i));
}

QString unmarked(QString field)
{
    if (field.startsWith(u'\'') && apostrophesThenFormula(field, 1))
        field.remove(0, 1);
    return field;
}

QString csvField(const QString& value)
{
    const QString text = apostrophesThenFormula(value, 0) ? u'\'' + value : value;
    // Quoted also for a tab, which a spreadsheet may take for a separator.
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') && !text.contains(u'\r') &&
        !text.contains(u'\t') && text.trimmed() == text)
        return text;
    return u'"' + QString(text).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

bool blank(const QStringList& fields)
{
    for (const QString& f : fields)
        for (QChar c : f)
            if (!c.isSpace())
                return false;
    return true;
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

void CsvParser::feed(QByteArrayView bytes)
{
    if (broken_)
        return;
    // Whole lines only: a line break never falls inside a UTF-8 sequence,
    // so each piece decodes on its own and a bad one is named by its line.
    const qsizetype lastBreak = bytes.lastIndexOf('\n');
    if (lastBreak < 0) {
        pending_.append(bytes);
        return;
    }
    if (pending_.isEmpty()) {
        parseLines(bytes.first(lastBreak + 1));
    } else {
        pending_.append(bytes.first(lastBreak + 1));
        const QByteArray lines = std::exchange(pending_, QByteArray());
        parseLines(lines);
    }
    pending_ = bytes.sliced(lastBreak + 1).toByteArray();
}

void CsvParser::parseLines(QByteArrayView lines)
{
    if (broken_ || lines.isEmpty())
        return;
    // A byte-order mark is dropped only at the file's start (below): the
    // decoder would drop one at the start of every piece, so the words read
    // would depend on where the reads happened to end.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(lines);
    if (decoder.hasError()) {
        // Name the first line that is not UTF-8 (a file saved in GBK, say).
        int line = byteLine_;
        for (const QByteArray& l : lines.toByteArray().split('\n')) {
            QStringDecoder one(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            const QString decoded = one.decode(l);  // decodes only when converted
            Q_UNUSED(decoded);
            if (one.hasError())
                break;
            ++line;
        }
        broken_ = true;
        structural_ = QStringLiteral("第 %1 行：文件不是 UTF-8 编码").arg(line);
        return;
    }
    byteLine_ += int(lines.count('\n'));
    if (!started_ && text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    started_ = true;

    // RFC 4180 rows, with the line each starts on. Stops at the first row
    // whose quoting is broken: nothing after it can be split reliably.
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n && !broken_; ++i) {
        const QChar c = text.at(i);
        if (quoted_) {
            if (c == u'"') {
                if (i + 1 < n && text.at(i + 1) == u'"') {
                    field_ += u'"';
                    ++i;
                } else {
                    quoted_ = false;
                    wasQuoted_ = true;
                }
            } else {
                if (c == u'\n')
                    ++line_;
                field_ += c;
            }
            continue;
        }
        if (c == u',') {
            endField();
        } else if (c == u'\n' || c == u'\r') {
            if (c == u'\r' && i + 1 < n && text.at(i + 1) == u'\n')
                ++i;
            ++line_;
            endRow();
        } else if (c == u'"' && field_.isEmpty() && !wasQuoted_) {
            quoted_ = true;
        } else if (wasQuoted_) {
            broken_ = true;
            structural_ = QStringLiteral("第 %1 行：引号后面还有字符").arg(line_);
        } else {
            field_ += c;
        }
    }
}

void CsvParser::endField()
{
    // A copy of its own size: the records outlive the parse, the buffer not.
    fields_.append(QString(field_.constData(), field_.size()));
    field_.resize(0);
    wasQuoted_ = false;
}

void CsvParser::endRow()
{
    endField();
    takeRow();
    fields_.clear();
    rowLine_ = line_;
}

QString CsvParser::interned(const QString& value)
{
    if (value.isEmpty())
        return value;
    const auto it = common_.constFind(value);
    if (it != common_.cend())
        return *it;
    if (common_.size() < 4096)
        common_.insert(value);
    return value;
}

void CsvParser::takeRow()
{
    if (blank(fields_))
        return;
    if (headerLine_ == 0) {
        for (const QString& name : fields_)
            columnOf_.append(headerNames().value(name.trimmed().toLower(), -1));
        headerLine_ = rowLine_;
        if (!columnOf_.contains(0)) {
            broken_ = true;
            structural_ = QStringLiteral("第 %1 行：表头里没有 word 列").arg(rowLine_);
        }
        return;
    }
    const int line = rowLine_;
    // Only the messages kept are written out.
    auto bad = [this](auto message) {
        if (result_.errors.size() < CsvRead::kErrorsKept)
            result_.errors.append(message());
        ++result_.errorCount;
    };
    if (fields_.size() > columnOf_.size()) {
        bad([&] { return QStringLiteral("第 %1 行：有 %2 列，表头只有 %3 列").arg(line).arg(fields_.size()).arg(columnOf_.size()); });
        return;
    }
    QString values[5];
    for (qsizetype c = 0; c < fields_.size(); ++c) {
        if (columnOf_[c] >= 0)
            values[columnOf_[c]] = unmarked(fields_[c]);
    }
    WordBookRecord r{values[0], values[1], values[2], interned(values[3]), values[4].trimmed()};
    if (r.word.trimmed().isEmpty()) {
        bad([&] { return QStringLiteral("第 %1 行：没有单词").arg(line); });
        return;
    }
    if (r.word.size() > kMaxWordLength || r.word.contains(u'\n') || r.word.contains(u'\r')) {
        bad([&] { return QStringLiteral("第 %1 行：单词过长或含有换行").arg(line); });
        return;
    }
    if (r.group.contains(u'\n') || r.group.contains(u'\r') || r.group.size() > kMaxWordLength) {
        bad([&] { return QStringLiteral("第 %1 行：分组名过长或含有换行").arg(line); });
        return;
    }
    if (!r.dateAdded.isEmpty()) {
        const QString date = normalisedDate(r.dateAdded);
        if (date.isEmpty()) {
            bad([&] { return QStringLiteral("第 %1 行：日期“%2”不是 年-月-日").arg(line).arg(r.dateAdded); });
            return;
        }
        r.dateAdded = interned(date);
    }
    // A file with an error is not imported: its words need not be kept.
    if (result_.errorCount == 0)
        result_.records.append(std::move(r));
}

CsvRead CsvParser::finish()
{
    parseLines(std::exchange(pending_, QByteArray()));
    if (!broken_ && quoted_) {
        broken_ = true;
        structural_ = QStringLiteral("第 %1 行：引号没有闭合").arg(rowLine_);
    }
    if (!broken_ && (!field_.isEmpty() || !fields_.isEmpty() || wasQuoted_))
        endRow();
    CsvRead out = std::exchange(result_, CsvRead());
    if (broken_) {
        out.records.clear();
        out.errors = QStringList{structural_};
        out.errorCount = 1;
    } else if (headerLine_ == 0) {
        out.errors = QStringList{QStringLiteral("第 1 行：文件是空的，没有表头")};
        out.errorCount = 1;
    }
    if (!out.errors.isEmpty())
        out.records.clear();
    return out;
}

CsvRead fromCsv(const QByteArray& bytes)
{
    CsvParser parser;
    parser.feed(bytes);
    return parser.finish();
}

}  // namespace wordbooktransfer
