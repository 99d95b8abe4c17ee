#include "capture/WordStrokeJSONResultParser.h"

#include "models/MustacheData.h"

#include <QLoggingCategory>

namespace {
Q_LOGGING_CATEGORY(lcJson, "mirvok.capture.parser")
}

std::optional<QString> WordStrokeJSONResultParser::genHTML(const QString& json) {
    const MainQueryResultPtr result = parseJSON(json);
    if (!result) return std::nullopt;
    QString error;
    std::optional<QString> html =
        mustachedata::render(QStringLiteral("mainquerytemplate"), result->toMustache(), &error);
    if (!html) qCWarning(lcJson).noquote() << error;
    return html;
}
