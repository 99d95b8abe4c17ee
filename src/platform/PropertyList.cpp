#include "platform/PropertyList.h"

#include <QDateTime>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace PropertyList {

namespace {

constexpr int kMaxDepth = 64;

struct Reader {
    QXmlStreamReader xml;
    bool failed = false;

    explicit Reader(const QByteArray& data) : xml(data) {}

    // Positioned on a value's start tag; leaves the reader after its end tag.
    QVariant value(int depth)
    {
        if (depth > kMaxDepth) {
            failed = true;
            return {};
        }
        const QString tag = xml.name().toString();
        if (tag == u"dict") {
            QVariantMap map;
            QString key;
            bool haveKey = false;
            while (!failed && xml.readNextStartElement()) {
                if (xml.name() == u"key") {
                    key = xml.readElementText();
                    haveKey = true;
                    continue;
                }
                const QVariant v = value(depth + 1);
                if (haveKey && v.isValid())
                    map.insert(key, v);
                haveKey = false;
            }
            checkEnd();
            return map;
        }
        if (tag == u"array") {
            QVariantList list;
            while (!failed && xml.readNextStartElement()) {
                const QVariant v = value(depth + 1);
                if (v.isValid())
                    list.append(v);
            }
            checkEnd();
            return list;
        }
        if (tag == u"true" || tag == u"false") {
            xml.skipCurrentElement();
            return tag == u"true";
        }
        const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
        checkEnd();
        if (failed)
            return {};
        if (tag == u"string")
            return text;
        if (tag == u"integer") {
            bool ok = false;
            const qlonglong n = text.trimmed().toLongLong(&ok);
            if (ok)
                return n;
            const qulonglong u = text.trimmed().toULongLong(&ok);
            return ok ? QVariant(u) : QVariant();
        }
        if (tag == u"real") {
            bool ok = false;
            const double d = text.trimmed().toDouble(&ok);
            return ok ? QVariant(d) : QVariant();
        }
        if (tag == u"data")
            return QByteArray::fromBase64(text.toLatin1());
        if (tag == u"date") {
            QDateTime t = QDateTime::fromString(text.trimmed(), Qt::ISODate);
            return t.isValid() ? QVariant(t.toUTC()) : QVariant();
        }
        return {};
    }

    void checkEnd()
    {
        if (xml.hasError())
            failed = true;
    }
};

void write(QXmlStreamWriter& w, const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::QVariantMap: {
        w.writeStartElement(QStringLiteral("dict"));
        const QVariantMap map = v.toMap();
        for (auto it = map.begin(); it != map.end(); ++it) {
            w.writeTextElement(QStringLiteral("key"), it.key());
            write(w, it.value());
        }
        w.writeEndElement();
        break;
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        w.writeStartElement(QStringLiteral("array"));
        for (const QVariant& item : v.toList())
            write(w, item);
        w.writeEndElement();
        break;
    }
    case QMetaType::Bool:
        w.writeEmptyElement(v.toBool() ? QStringLiteral("true") : QStringLiteral("false"));
        break;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::Long:
        w.writeTextElement(QStringLiteral("integer"), QString::number(v.toLongLong()));
        break;
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::ULong:
        w.writeTextElement(QStringLiteral("integer"), QString::number(v.toULongLong()));
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        w.writeTextElement(QStringLiteral("real"), QString::number(v.toDouble(), 'g', 17));
        break;
    case QMetaType::QByteArray:
        w.writeTextElement(QStringLiteral("data"), QString::fromLatin1(v.toByteArray().toBase64()));
        break;
    case QMetaType::QDateTime:
        w.writeTextElement(QStringLiteral("date"), v.toDateTime().toUTC().toString(Qt::ISODate));
        break;
    default:
        w.writeTextElement(QStringLiteral("string"), v.toString());
        break;
    }
}

}  // namespace

QVariant parse(const QByteArray& data, bool* ok)
{
    Reader r(data);
    QVariant root;
    // QXmlStreamReader expands no entities beyond the predefined ones, so a
    // hostile DOCTYPE cannot blow up here.
    while (r.xml.readNextStartElement()) {
        if (r.xml.name() == u"plist") {
            if (r.xml.readNextStartElement())
                root = r.value(1);
            break;
        }
        root = r.value(1);   // a bare value without the plist wrapper
        break;
    }
    if (r.xml.hasError() || !root.isValid())
        r.failed = true;
    if (ok)
        *ok = !r.failed;
    return root;
}

QByteArray serialize(const QVariant& root)
{
    QByteArray out;
    QXmlStreamWriter w(&out);
    w.setAutoFormatting(true);
    w.setAutoFormattingIndent(-1);
    w.writeStartDocument();
    w.writeStartElement(QStringLiteral("plist"));
    w.writeAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
    write(w, root);
    w.writeEndElement();
    w.writeEndDocument();
    return out;
}

}  // namespace PropertyList
