#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <optional>

// An application event as the caller reports it: a custom event (a name and
// attributes) or one of the predefined kinds (sign-up, purchase, ...). It is
// not stored itself; the controller wraps it into a priority-2 line whose
// payload is payloadDictionary() plus the event identifier.
//
// Attributes are validated on the way in: at most 21 per dictionary, values
// strings or numbers only, keys and string values cut to 100 UTF-16 units
// (never inside a surrogate pair). Each refusal is logged, always.
class CRKTallyEvent {
public:
    static constexpr int kMaxAttributes = 21;
    static constexpr int kMaxAttributeLength = 100;

    virtual ~CRKTallyEvent() = default;

    const QString& key() const { return key_; }
    const QVariantMap& customAttributes() const { return customAttributes_; }
    const QVariantMap& predefinedAttributes() const { return predefinedAttributes_; }
    const QVariantMap& metadata() const { return metadata_; }
    QVariantMap payloadDictionary() const;
    virtual QString description() const = 0;

    static QVariantMap filterCustomAttributes(const QVariantMap& attributes);
    static void addAttribute(const QVariant& value, const QString& key, QVariantMap& target);
    static bool validAttributeValue(const QVariant& value);
    static QVariant truncateAttribute(const QVariant& value);
    // The first 100 UTF-16 units, one less when the cut would split a pair.
    static QString truncateString(const QString& text);

protected:
    CRKTallyEvent(QString key, QVariantMap metadata, const QVariantMap& customAttributes);

    QString key_;
    QVariantMap metadata_;
    QVariantMap customAttributes_;
    QVariantMap predefinedAttributes_;
};

class CRKTallyCustomEvent : public CRKTallyEvent {
public:
    // Nullopt for a null name.
    static std::optional<CRKTallyCustomEvent> create(const QString& name, const QVariantMap& customAttributes = {});
    QString description() const override;

private:
    CRKTallyCustomEvent(const QString& name, const QVariantMap& customAttributes);
};

// The predefined kinds. Each factory adds its attributes in the documented
// order; a null QVariant argument adds nothing.
class CRKTallyPredefinedEvent : public CRKTallyEvent {
public:
    CRKTallyPredefinedEvent(const QString& eventType, const QVariantMap& customAttributes);
    QString description() const override;

    void addPredefinedString(const QVariant& value, const QString& key);
    void addPredefinedNumber(const QVariant& value, const QString& key);
    void addPredefinedAttribute(const QVariant& value, const QString& key);

    static QVariant serializeSuccess(const QVariant& success);          // "true"/"false"
    static QVariant serializePriceToMicros(const QVariant& price);      // decimal × 1000000
    static QVariant serializeNSNumberAsInteger(const QVariant& number); // fraction dropped

    static CRKTallyPredefinedEvent signUp(const QVariant& method, const QVariant& success, const QVariantMap& custom);
    static CRKTallyPredefinedEvent login(const QVariant& method, const QVariant& success, const QVariantMap& custom);
    static CRKTallyPredefinedEvent share(const QVariant& method, const QVariant& contentName,
                                         const QVariant& contentType, const QVariant& contentId,
                                         const QVariantMap& custom);
    static CRKTallyPredefinedEvent invite(const QVariant& method, const QVariantMap& custom);
    static CRKTallyPredefinedEvent purchase(const QVariant& price, const QVariant& currency, const QVariant& success,
                                            const QVariant& itemName, const QVariant& itemId,
                                            const QVariant& itemType, const QVariantMap& custom);
    static CRKTallyPredefinedEvent levelStart(const QVariant& levelName, const QVariantMap& custom);
    static CRKTallyPredefinedEvent levelEnd(const QVariant& levelName, const QVariant& score, const QVariant& success,
                                            const QVariantMap& custom);
    static CRKTallyPredefinedEvent addToCart(const QVariant& price, const QVariant& currency,
                                             const QVariant& itemName, const QVariant& itemType,
                                             const QVariant& itemId, const QVariantMap& custom);
    static CRKTallyPredefinedEvent startCheckout(const QVariant& price, const QVariant& currency,
                                                 const QVariant& itemCount, const QVariantMap& custom);
    static CRKTallyPredefinedEvent rating(const QVariant& rating, const QVariant& contentName,
                                          const QVariant& contentType, const QVariant& contentId,
                                          const QVariantMap& custom);
    static CRKTallyPredefinedEvent contentView(const QVariant& contentName, const QVariant& contentType,
                                               const QVariant& contentId, const QVariantMap& custom);
    static CRKTallyPredefinedEvent search(const QVariant& query, const QVariantMap& custom);
};
