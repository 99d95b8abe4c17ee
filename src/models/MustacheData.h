#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <optional>
#include <string>

#include <mustache.hpp>

// Result models hand the templates plain Qt values (maps, lists, texts); this
// is the one place where those become template data, so every template sees
// the same rules: an absent or null value is an absent key (a section on it
// does not render), numbers print as integers where they are whole, booleans
// stay booleans, and JSON values taken from the service convert like the Qt
// values they stand for.
namespace mustachedata {

using Data = kainjow::mustache::data;

// The marker the result models use for a flag that is set.
inline QString flagOn() { return QStringLiteral(" "); }
inline QString flag(bool on) { return on ? flagOn() : QString(); }

// Writes `value` under `key` unless it is null or an empty text, which keeps
// unset flags and missing texts out of the template's view.
void insertIfSet(QVariantMap& map, const QString& key, const QVariant& value);

// Start of a pronunciation address on the dictionary service; the page
// appends the speech value.
QString audioBase();
// A text made safe to append to an address as a query value.
QString urlEscaped(const QString& text);

// A text of the service as HTML: the inline tags its example sentences use
// (b, i, em, strong, without attributes) stay tags, everything else is
// escaped ("An <b>apple</b> a day").
QString inlineMarkupHtml(const QString& text);
// Example sentence lists for a template: every element (or its "item" map)
// gains "<key>Html" beside each text key it has (sentence, trans, foreign,
// eng, chn), made by inlineMarkupHtml.
QVariantList withInlineMarkup(const QVariantList& sentences);
// The same for a list held as a QVariant (a QVariantList or the service's
// QJsonArray); anything else comes back unchanged.
QVariant withInlineMarkup(const QVariant& sentences);

// Text form of a JSON or Qt number: "3" for 3.0, shortest round-trip otherwise.
QString numberText(double value);

// Converts any Qt value (QVariantMap/Hash, QVariantList/QStringList, QJson*,
// texts, numbers, booleans) to template data. Null and invalid values become
// an empty text only where a list element must still occupy its place.
Data toData(const QVariant& value);

// Renders resources/templates/<name>.mustache with `context`. The compiled
// template is kept per name for the life of the process. On a missing template
// or a template error returns nothing and describes the problem in `error`.
std::optional<QString> render(const QString& templateName, const QVariantMap& context,
                              QString* error = nullptr);

// Same, from template text (used by tests and by callers with inline markup).
std::optional<QString> renderText(const QString& templateText, const QVariantMap& context,
                                  QString* error = nullptr);

}  // namespace mustachedata
