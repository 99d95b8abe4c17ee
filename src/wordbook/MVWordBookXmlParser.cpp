#include "wordbook/MVWordBookXmlParser.h"

#include "platform/Lenient.h"
#include "wordbook/WordBookClock.h"

#include <QXmlStreamReader>
#include <cmath>

namespace {
constexpr double kMaxAgeSeconds = 1000.0 * 366 * 24 * 3600;
}  // namespace

bool MVWordBookXmlParser::parseXml(const QByteArray& data, MVWordBookXmlParseDelegate* delegate)
{
    QXmlStreamReader xml(data);
    // Names are compared with their prefixes, as the service writes them;
    // external entities are never fetched by this reader.
    xml.setNamespaceProcessing(false);
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement: {
            const auto attrs = xml.attributes();
            if (attrs.hasAttribute(QStringLiteral("type"))) {
                const QString type = attrs.value(QStringLiteral("type")).toString();
                elementStarted(xml.qualifiedName().toString(), &type);
            } else {
                elementStarted(xml.qualifiedName().toString(), nullptr);
            }
            break;
        }
        case QXmlStreamReader::EndElement:
            elementEnded(xml.qualifiedName().toString());
            break;
        case QXmlStreamReader::Characters:
            if (content_)
                content_->append(xml.text());
            break;
        default:
            break;
        }
    }
    if (xml.hasError()) {
        if (delegate)
            delegate->parseFailed();
        return false;
    }
    if (delegate)
        delegate->parseDone(this);
    return true;
}

void MVWordBookXmlParser::elementStarted(const QString& name, const QString* type)
{
    content_ = QString(QLatin1String(""));
    if (name == QLatin1String("actionlist")) {
        addList = QList<MVSyncActionPtr>();
        delList = QList<MVSyncActionPtr>();
    } else if (name == QLatin1String("action")) {
        oneAction_ = std::make_shared<MVSyncAction>();
        oneAction_->item = std::make_shared<MVWordBookItem>();
        oneAction_->remItem = std::make_shared<MVWordBookRemItem>();
        oneAction_->remItem->progress = QStringLiteral("-1");
        oneAction_->withWordInfo = true;
        oneAction_->withRemInfo = true;
        if (type)
            oneAction_->isAdd = (*type == QLatin1String("add"));
    }
}

void MVWordBookXmlParser::elementEnded(const QString& name)
{
    const QString text = content_.value_or(QString());
    if (name == QLatin1String("operation")) {
        operation = text;
    } else if (name == QLatin1String("errcode")) {
        const qint64 v = lenient::stringToInteger(text);
        errCode = static_cast<quint64>(v);
    } else if (name == QLatin1String("maxServerTimestamp")) {
        timestamp = text;
    } else if (name == QLatin1String("maxRemServerTimestamp")) {
        remTimestamp = text;
    } else if (name == QLatin1String("action")) {
        if (oneAction_) {
            if (oneAction_->isAdd && oneAction_->item->time.isNull())
                oneAction_->withWordInfo = false;
            auto& list = oneAction_->isAdd ? addList : delList;
            if (list)
                list->append(oneAction_);
        }
        oneAction_.reset();
    } else if (oneAction_) {
        MVWordBookItem& item = *oneAction_->item;
        MVWordBookRemItem& rem = *oneAction_->remItem;
        if (name == QLatin1String("word")) {
            item.word = text;
            rem.word = text;
        } else if (name == QLatin1String("serverTimestamp")) {
            item.timeStamp = text;
        } else if (name == QLatin1String("phonetic")) {
            item.phonetic = text;
        } else if (name == QLatin1String("trans")) {
            item.definition = text;
        } else if (name == QLatin1String("tags")) {
            item.tags = text;
        } else if (name == QLatin1String("remServerTimestamp")) {
            rem.remTimpstamp = text;
        } else if (name == QLatin1String("progress")) {
            rem.progress = text;
        } else if (name == QLatin1String("addtime")) {
            const auto secs = static_cast<qint32>(lenient::stringToInteger(text));
            const QDateTime t = QDateTime::fromSecsSinceEpoch(secs, Qt::UTC);
            item.time = wbclock::describe(t);
            item.date = wbclock::localDay(t);
        } else if (name == QLatin1String("remModifyTime")) {
            bool ok = false;
            double v = text.trimmed().toDouble(&ok);
            if (!ok)
                v = static_cast<double>(lenient::stringToInteger(text));
            // An age that is not a number or lies beyond any stored date
            // (a thousand years) is unreadable, and unreadable reads as 0.
            if (!std::isfinite(v) || std::abs(v) > kMaxAgeSeconds)
                v = 0;
            const QDateTime t = wbclock::now().addMSecs(static_cast<qint64>(-v * 1000.0));
            rem.remModTime = wbclock::describe(t);
        }
    }
    content_.reset();
}
