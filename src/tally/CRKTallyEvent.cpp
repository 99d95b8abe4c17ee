#include "tally/CRKTallyEvent.h"

#include "kithost/KTHLog.h"

#include <QJsonDocument>
#include <QLocale>

namespace {

const QString kPredefinedType = QStringLiteral("predefined_type");

bool isNumber(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Int: case QMetaType::UInt: case QMetaType::LongLong: case QMetaType::ULongLong:
    case QMetaType::Double: case QMetaType::Float: case QMetaType::Bool: case QMetaType::Long:
    case QMetaType::ULong: case QMetaType::Short: case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}

QString describe(const QVariant& v)
{
    if (v.typeId() == QMetaType::QVariantMap)
        return QString::fromUtf8(QJsonDocument::fromVariant(v).toJson(QJsonDocument::Compact));
    return v.toString();
}

// The decimal text of a number: shortest form that reads back the same,
// never in exponent notation.
QString decimalText(const QVariant& v)
{
    if (v.typeId() == QMetaType::QString)
        return v.toString().trimmed();
    if (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float)
        return QString::number(v.toDouble(), 'f', QLocale::FloatingPointShortest);
    return v.toString();
}

}  // namespace

CRKTallyEvent::CRKTallyEvent(QString key, QVariantMap metadata, const QVariantMap& customAttributes)
    : key_(std::move(key)), metadata_(std::move(metadata)), customAttributes_(filterCustomAttributes(customAttributes))
{
}

QVariantMap CRKTallyEvent::payloadDictionary() const
{
    QVariantMap payload = metadata_;
    payload.insert(QStringLiteral("predefined_attributes"), predefinedAttributes_);
    payload.insert(QStringLiteral("custom_attributes"), customAttributes_);
    return payload;
}

QVariantMap CRKTallyEvent::filterCustomAttributes(const QVariantMap& attributes)
{
    QVariantMap out;
    for (auto it = attributes.begin(); it != attributes.end(); ++it)
        addAttribute(it.value(), it.key(), out);
    return out;
}

void CRKTallyEvent::addAttribute(const QVariant& value, const QString& key, QVariantMap& target)
{
    if (!value.isValid() || value.isNull() || key.isNull())
        return;
    if (target.size() >= kMaxAttributes) {
        KTHLog::write(QStringLiteral("[CrashKit:Tally] Maximum number of Event attributes exceeded. Ignoring attribute"));
        return;
    }
    if (!validAttributeValue(value)) {
        KTHLog::write(QStringLiteral("[CrashKit:Tally] Event attribute values must be of type NSString or NSNumber. "
                                     "Ignoring entry %1:%2")
                          .arg(key, describe(value)));
        return;
    }
    target.insert(truncateAttribute(key).toString(), truncateAttribute(value));
}

bool CRKTallyEvent::validAttributeValue(const QVariant& value)
{
    return value.typeId() == QMetaType::QString || isNumber(value);
}

QString CRKTallyEvent::truncateString(const QString& text)
{
    if (text.size() <= kMaxAttributeLength)
        return text;
    int cut = kMaxAttributeLength;
    if (text.at(cut - 1).isHighSurrogate() && text.at(cut).isLowSurrogate())
        --cut;
    return text.left(cut);
}

QVariant CRKTallyEvent::truncateAttribute(const QVariant& value)
{
    if (value.typeId() != QMetaType::QString || value.toString().size() <= kMaxAttributeLength)
        return value;
    KTHLog::write(QStringLiteral("[CrashKit:Tally] Maximum length for an Event attributes exceeded. Truncating to %1 "
                                 "characters.")
                      .arg(kMaxAttributeLength));
    return truncateString(value.toString());
}

std::optional<CRKTallyCustomEvent> CRKTallyCustomEvent::create(const QString& name, const QVariantMap& customAttributes)
{
    if (name.isNull())
        return std::nullopt;
    return CRKTallyCustomEvent(name, customAttributes);
}

CRKTallyCustomEvent::CRKTallyCustomEvent(const QString& name, const QVariantMap& customAttributes)
    : CRKTallyEvent(QStringLiteral("custom"),
                    {{QStringLiteral("custom_type"), truncateAttribute(name).toString()}}, customAttributes)
{
}

QString CRKTallyCustomEvent::description() const
{
    return QStringLiteral("CRKTallyCustomEvent { %1 }").arg(describe(customAttributes_));
}

CRKTallyPredefinedEvent::CRKTallyPredefinedEvent(const QString& eventType, const QVariantMap& customAttributes)
    : CRKTallyEvent(QStringLiteral("predefined"), {{kPredefinedType, eventType}}, customAttributes)
{
}

QString CRKTallyPredefinedEvent::description() const
{
    return QStringLiteral("CRKTallyPredefinedEvent { %1 customAttributes=%2}")
        .arg(describe(predefinedAttributes_), describe(customAttributes_));
}

void CRKTallyPredefinedEvent::addPredefinedString(const QVariant& value, const QString& key)
{
    if (value.typeId() == QMetaType::QString)
        addPredefinedAttribute(value, key);
    else if (isNumber(value))
        addPredefinedAttribute(value.toString(), key);
}

void CRKTallyPredefinedEvent::addPredefinedNumber(const QVariant& value, const QString& key)
{
    if (isNumber(value))
        addPredefinedAttribute(value, key);
}

void CRKTallyPredefinedEvent::addPredefinedAttribute(const QVariant& value, const QString& key)
{
    addAttribute(value, key, predefinedAttributes_);
}

QVariant CRKTallyPredefinedEvent::serializeSuccess(const QVariant& success)
{
    if (!success.isValid() || success.isNull())
        return {};
    return success.toBool() ? QStringLiteral("true") : QStringLiteral("false");
}

QVariant CRKTallyPredefinedEvent::serializePriceToMicros(const QVariant& price)
{
    if (!price.isValid() || price.isNull())
        return {};
    // Decimal arithmetic on the text, so 9.99 gives exactly 9990000.
    QString text = decimalText(price);
    bool negative = text.startsWith(QLatin1Char('-'));
    if (negative || text.startsWith(QLatin1Char('+')))
        text.remove(0, 1);
    const int dot = text.indexOf(QLatin1Char('.'));
    QString whole = dot < 0 ? text : text.left(dot);
    QString fraction = dot < 0 ? QString() : text.mid(dot + 1);
    for (const QChar c : whole + fraction)
        if (!c.isDigit())
            return {};
    while (fraction.size() < 6)
        fraction += QLatin1Char('0');
    whole += fraction.left(6);
    fraction = fraction.mid(6);
    while (fraction.endsWith(QLatin1Char('0')))
        fraction.chop(1);
    if (fraction.isEmpty()) {
        bool ok = false;
        const qint64 micros = whole.toLongLong(&ok);
        if (ok)
            return negative ? -micros : micros;
    }
    const double value = (whole + QLatin1Char('.') + fraction).toDouble();
    return negative ? -value : value;
}

QVariant CRKTallyPredefinedEvent::serializeNSNumberAsInteger(const QVariant& number)
{
    if (!isNumber(number))
        return {};
    return qint64(number.toDouble());
}

CRKTallyPredefinedEvent CRKTallyPredefinedEvent::signUp(const QVariant& method, const QVariant& success,
                                                        const QVariantMap& custom)
{
    CRKTallyPredefinedEvent e(QStringLiteral("sign_up"), custom);
    e.addPredefinedString(serializeSuccess(success), QStringLiteral("success"));
    e.addPredefinedString(method, QStringLiteral("method"));
    return e;
}

CRKTallyPredefinedEvent CRKTallyPredefinedEvent::login(const QVariant& method, const QVariant& success,
                                                       const QVariantMap& custom)
{
    CRKTallyPredefinedEvent e(QStringLiteral("login"), custom);
    e.addPredefinedString(serializeSuccess(success), QStringLiteral("success"));
    e.addPredefinedString(method, QStringLiteral("method"));
    return e;
}

CRKTallyPredefinedEvent CRKTallyPredefinedEvent::share(const QVariant& method, const QVariant& contentName,
                                                       const QVariant& contentType, const QVariant& contentId,
                                                       const QVariantMap& custom)
{
    CRKTallyPredefinedEvent e(QStringLiteral("share"), custom);
    e.addPredefinedString(method, QStringLiteral("method"));
    e.addPredefinedString(contentName, QStringLiteral("content_name"));
    e.addPredefinedString(contentType, QStringLiteral("content_type"));
    e.addPredefinedString(contentId, QStringLiteral("content_id"));
    return e;
}

CRKTallyPredefinedEvent CRKTallyPredefinedEvent::invite(const QVariant& method, const QVariantMap& custom)
{
    CRKTallyPredefinedEvent e(QStringLiteral("invite"), custom);
    e.addPredefinedString(method, QStringLiteral("method"));
    return e;
}

CRKTallyPredefinedEvent CRKTallyPredefinedEvent::purchase(const QVariant& price, const QVariant& currency,
                                                          const QVariant& success, const QVariant& itemName,
                                                          const QVariant& itemId, const QVariant& itemType,
                                                          const QVariantMap& custom)
{
    CRKTallyPredefinedEvent e(QStringLiteral("purchase"), custom);
    e.addPredefinedNumber(serializePriceToMicros(price), QStringLiteral("item_price"));
    e.addPredefinedString(currency, QStringLiteral("currency"));
    e.addPredefinedString(serializeSuccess(success), QStringLiteral("success"));
    e.addPredefinedString(itemName, QStringLiteral("item_name"));
    e.addPredefinedString(itemId, QStringLiteral("item_id"));
    e.addPredefinedString(itemType, QStringLiteral("item_type"));
    return e;
}

CRKTallyPredefinedEvent CRKTallyPredefinedEvent::levelStart(const QVariant& levelName, const QVariantMap& custom)
{
    CRKTallyPredefinedEvent e(QStringLiteral("level_start"), custom);
    e.addPredefinedString(levelName, QStringLiteral("level_name"));
    return e;
}

CRKTallyPredefinedEvent CRKTallyPredefinedEvent::levelEnd(const QVariant& levelName, const QVariant& score,
                                                          const QVariant& success, const QVariantMap& custom)
{
    CRKTallyPredefinedEvent e(QStringLiteral("level_end"), custom);
    e.addPredefinedString(levelName, QStringLiteral("level_name"));
    e.addPredefinedNumber(score, QStringLiteral("score"));
    e.addPredefinedString(serializeSuccess(success), QStringLiteral("success"));
    return e;
}

CRKTallyPredefinedEvent CRKTallyPredefinedEvent::addToCart(const QVariant& price, const QVariant& currency,
                                                           const QVariant& itemName, const QVariant& itemType,
                                                           const QVariant& itemId, const QVariantMap& custom)
{
    CRKTallyPredefinedEvent e(QStringLiteral("add_to_cart"), custom);
    e.addPredefinedNumber(serializePriceToMicros(price), QStringLiteral("item_price"));
    e.addPredefinedString(currency, QStringLiteral("currency"));
    e.addPredefinedString(itemName, QStringLiteral("item_name"));
    e.addPredefinedString(itemType, QStringLiteral("item_type"));
    e.addPredefinedString(itemId, QStringLiteral("item_id"));
    return e;
}

CRKTallyPredefinedEvent CRKTallyPredefinedEvent::startCheckout(const QVariant& price, const QVariant& currency,
                                                               const QVariant& itemCount, const QVariantMap& custom)
{
    CRKTallyPredefinedEvent e(QStringLiteral("start_checkout"), custom);
    e.addPredefinedNumber(serializePriceToMicros(price), QStringLiteral("total_price"));
    e.addPredefinedString(currency, QStringLiteral("currency"));
    e.addPredefinedNumber(serializeNSNumberAsInteger(itemCount), QStringLiteral("item_count"));
    return e;
}

CRKTallyPredefinedEvent CRKTallyPredefinedEvent::rating(const QVariant& rating, const QVariant& contentName,
                                                        const QVariant& contentType, const QVariant& contentId,
                                                        const QVariantMap& custom)
{
    CRKTallyPredefinedEvent e(QStringLiteral("rating"), custom);
    e.addPredefinedNumber(serializeNSNumberAsInteger(rating), QStringLiteral("rating"));
    e.addPredefinedString(contentName, QStringLiteral("content_name"));
    e.addPredefinedString(contentType, QStringLiteral("content_type"));
    e.addPredefinedString(contentId, QStringLiteral("content_id"));
    return e;
}

CRKTallyPredefinedEvent CRKTallyPredefinedEvent::contentView(const QVariant& contentName, const QVariant& contentType,
                                                             const QVariant& contentId, const QVariantMap& custom)
{
    CRKTallyPredefinedEvent e(QStringLiteral("content_view"), custom);
    e.addPredefinedString(contentName, QStringLiteral("content_name"));
    e.addPredefinedString(contentType, QStringLiteral("content_type"));
    e.addPredefinedString(contentId, QStringLiteral("content_id"));
    return e;
}

CRKTallyPredefinedEvent CRKTallyPredefinedEvent::search(const QVariant& query, const QVariantMap& custom)
{
    CRKTallyPredefinedEvent e(QStringLiteral("search"), custom);
    e.addPredefinedString(query, QStringLiteral("query"));
    return e;
}
