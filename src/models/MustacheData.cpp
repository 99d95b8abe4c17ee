#include "models/MustacheData.h"

#include "platform/Resources.h"
#include "platform/ServiceHost.h"
#include "platform/UrlEscaping.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QLocale>
#include <QRegularExpression>

#include <cmath>
#include <memory>

namespace mustachedata {

using kainjow::mustache::list;
using kainjow::mustache::mustache;
using kainjow::mustache::object;

namespace {

bool isAbsent(const QVariant& v) {
    if (!v.isValid() || v.isNull()) return true;
    const int id = v.typeId();
    if (id == QMetaType::QString) return v.toString().isEmpty();
    if (id == QMetaType::QJsonValue) {
        const QJsonValue j = v.toJsonValue();
        return j.isNull() || j.isUndefined();
    }
    return false;
}

Data fromJson(const QJsonValue& j);

Data fromJsonObject(const QJsonObject& o) {
    Data d{object{}};
    for (auto it = o.begin(); it != o.end(); ++it) {
        const QJsonValue v = it.value();
        if (v.isNull() || v.isUndefined()) continue;
        d.set(it.key().toStdString(), fromJson(v));
    }
    return d;
}

Data fromJsonArray(const QJsonArray& a) {
    Data d{list{}};
    for (const QJsonValue& v : a) d.push_back(fromJson(v));
    return d;
}

Data fromJson(const QJsonValue& j) {
    switch (j.type()) {
    case QJsonValue::Bool: return Data{j.toBool()};
    case QJsonValue::Double: return Data{numberText(j.toDouble()).toStdString()};
    case QJsonValue::String: return Data{j.toString().toStdString()};
    case QJsonValue::Array: return fromJsonArray(j.toArray());
    case QJsonValue::Object: return fromJsonObject(j.toObject());
    default: return Data{std::string()};
    }
}

template <typename Map>
Data fromMap(const Map& m) {
    Data d{object{}};
    for (auto it = m.begin(); it != m.end(); ++it) {
        if (isAbsent(it.value())) continue;
        d.set(it.key().toStdString(), toData(it.value()));
    }
    return d;
}

}  // namespace

void insertIfSet(QVariantMap& map, const QString& key, const QVariant& value) {
    if (isAbsent(value)) return;
    map.insert(key, value);
}

QString audioBase() { return serviceBaseUrl() + QStringLiteral("/dictvoice?audio="); }

QString urlEscaped(const QString& text) { return escapeQueryValue(text); }

QString inlineMarkupHtml(const QString& text) {
    static const QRegularExpression tag(QStringLiteral("&lt;(/?)(b|i|em|strong)&gt;"),
                                        QRegularExpression::CaseInsensitiveOption);
    QString html = text.toHtmlEscaped();
    html.replace(tag, QStringLiteral("<\\1\\2>"));
    return html;
}

QVariantList withInlineMarkup(const QVariantList& sentences) {
    static const char* const keys[] = {"sentence", "trans", "foreign", "eng", "chn"};
    auto mark = [](QVariantMap m) {
        for (const char* key : keys) {
            const auto it = m.constFind(QLatin1String(key));
            if (it != m.constEnd() && it->typeId() == QMetaType::QString)
                m.insert(QLatin1String(key) + QLatin1String("Html"), inlineMarkupHtml(it->toString()));
        }
        return m;
    };
    QVariantList out;
    out.reserve(sentences.size());
    for (const QVariant& v : sentences) {
        if (v.typeId() != QMetaType::QVariantMap) {
            out << v;
            continue;
        }
        QVariantMap m = v.toMap();
        if (m.value(QStringLiteral("item")).typeId() == QMetaType::QVariantMap)
            m.insert(QStringLiteral("item"), mark(m.value(QStringLiteral("item")).toMap()));
        out << QVariant(mark(m));
    }
    return out;
}

QVariant withInlineMarkup(const QVariant& sentences) {
    if (sentences.typeId() == QMetaType::QJsonArray && !sentences.toJsonArray().isEmpty())
        return withInlineMarkup(sentences.toJsonArray().toVariantList());
    if (sentences.typeId() == QMetaType::QVariantList && !sentences.toList().isEmpty())
        return withInlineMarkup(sentences.toList());
    return sentences;
}

QString numberText(double value) {
    if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 9.0e15)
        return QString::number(static_cast<qint64>(value));
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

Data toData(const QVariant& value) {
    if (!value.isValid() || value.isNull()) return Data{std::string()};
    switch (value.typeId()) {
    case QMetaType::Bool: return Data{value.toBool()};
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return Data{value.toString().toStdString()};
    case QMetaType::Double:
    case QMetaType::Float:
        return Data{numberText(value.toDouble()).toStdString()};
    case QMetaType::QString: return Data{value.toString().toStdString()};
    case QMetaType::QByteArray: return Data{value.toByteArray().toStdString()};
    case QMetaType::QStringList: {
        Data d{list{}};
        for (const QString& s : value.toStringList()) d.push_back(Data{s.toStdString()});
        return d;
    }
    case QMetaType::QVariantList: {
        Data d{list{}};
        for (const QVariant& v : value.toList()) d.push_back(toData(v));
        return d;
    }
    case QMetaType::QVariantMap: return fromMap(value.toMap());
    case QMetaType::QVariantHash: return fromMap(value.toHash());
    case QMetaType::QJsonValue: return fromJson(value.toJsonValue());
    case QMetaType::QJsonObject: return fromJsonObject(value.toJsonObject());
    case QMetaType::QJsonArray: return fromJsonArray(value.toJsonArray());
    case QMetaType::QJsonDocument: {
        const QJsonDocument doc = value.toJsonDocument();
        return doc.isArray() ? fromJsonArray(doc.array()) : fromJsonObject(doc.object());
    }
    default:
        if (value.canConvert<QString>()) return Data{value.toString().toStdString()};
        return Data{std::string()};
    }
}

namespace {

std::optional<QString> renderWith(mustache& tmpl, const QVariantMap& context, QString* error) {
    if (!tmpl.is_valid()) {
        if (error) *error = QString::fromStdString(tmpl.error_message());
        return std::nullopt;
    }
    const std::string out = tmpl.render(fromMap(context));
    if (!tmpl.is_valid()) {
        if (error) *error = QString::fromStdString(tmpl.error_message());
        return std::nullopt;
    }
    return QString::fromStdString(out);
}

}  // namespace

std::optional<QString> render(const QString& templateName, const QVariantMap& context,
                              QString* error) {
    // A compiled template keeps per-render state, so each thread keeps its
    // own; templates are read once per thread for the life of the process.
    thread_local QHash<QString, std::shared_ptr<mustache>> compiled;
    std::shared_ptr<mustache> tmpl = compiled.value(templateName);
    if (!tmpl) {
        const QString text =
            Resources::readText(QStringLiteral("templates/%1.mustache").arg(templateName));
        if (text.isEmpty()) {
            if (error) *error = QStringLiteral("template %1 not found").arg(templateName);
            return std::nullopt;
        }
        tmpl = std::make_shared<mustache>(text.toStdString());
        if (!tmpl->is_valid()) return renderWith(*tmpl, context, error);
        compiled.insert(templateName, tmpl);
    }
    std::optional<QString> out = renderWith(*tmpl, context, error);
    // A render error sticks to the compiled template: start afresh next time.
    if (!out) compiled.remove(templateName);
    return out;
}

std::optional<QString> renderText(const QString& templateText, const QVariantMap& context,
                                  QString* error) {
    mustache tmpl{templateText.toStdString()};
    return renderWith(tmpl, context, error);
}

}  // namespace mustachedata
