#include "platform/WebEngineProcessModel.h"

#include <QString>

namespace {

bool choosesProcessModel(const QString& text) {
    static const char* const kSwitches[] = {"--single-process", "--process-per-site", "--process-per-tab",
                                            "--site-per-process", "--renderer-process-limit"};
    for (const char* s : kSwitches)
        if (text.contains(QLatin1String(s))) return true;
    return false;
}

}  // namespace

QByteArray chromiumFlagsWithProcessModel(const QByteArray& flags, const QStringList& arguments) {
    if (choosesProcessModel(QString::fromLocal8Bit(flags))) return flags;
    for (const QString& a : arguments)
        if (choosesProcessModel(a)) return flags;
    const QByteArray model = "--process-per-site";
    return flags.trimmed().isEmpty() ? model : flags + ' ' + model;
}

void chooseWebEngineProcessModel(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    const QByteArray chosen = chromiumFlagsWithProcessModel(flags, arguments);
    if (chosen != flags) qputenv("QTWEBENGINE_CHROMIUM_FLAGS", chosen);
}
