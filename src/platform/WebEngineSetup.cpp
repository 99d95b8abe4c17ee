#include "platform/WebEngineSetup.h"

#include <QLoggingCategory>
#include <QString>

#include <initializer_list>

namespace {

bool mentionsAny(const QString& text, std::initializer_list<const char*> words) {
    for (const char* w : words)
        if (text.contains(QLatin1String(w))) return true;
    return false;
}

bool anyMentions(const QByteArray& flags, const QStringList& arguments, std::initializer_list<const char*> words) {
    if (mentionsAny(QString::fromLocal8Bit(flags), words)) return true;
    for (const QString& a : arguments)
        if (mentionsAny(a, words)) return true;
    return false;
}

QtMessageHandler g_nextHandler = nullptr;

// Qt's notices that follow from drawing on the CPU by choice: the X11
// platform cannot make the GL context nobody draws with, and the engine
// finds no GL scene graph to share.
bool isChosenGlNotice(QtMsgType type, const QString& message) {
    return type == QtWarningMsg &&
           (message.startsWith(QLatin1String("QXcbIntegration: Cannot create platform OpenGL context")) ||
            message.trimmed() == QLatin1String("No suitable graphics backend found"));
}

void dropChosenGlNotices(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (!isChosenGlNotice(type, message)) g_nextHandler(type, context, message);
}

// The engine's account of its set-up (qt.webenginecontext) is for its own
// developers; a terminal shows it only when QT_LOGGING_RULES asks, which
// also keeps the notices above.
void quietWebEngineLog(bool softwareRendering) {
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
    if (softwareRendering && !qEnvironmentVariableIsSet("QT_LOGGING_RULES"))
        g_nextHandler = qInstallMessageHandler(dropChosenGlNotices);
}

}  // namespace

WebEngineSetup webEngineSetupFor(const QByteArray& flags, const QStringList& arguments,
                                 bool environmentPicksGraphics, bool sandboxOff) {
    WebEngineSetup setup;
    setup.chromiumFlags = flags.trimmed();
    auto add = [&setup](const char* flag) {
        if (!setup.chromiumFlags.isEmpty()) setup.chromiumFlags += ' ';
        setup.chromiumFlags += flag;
    };
    if (!anyMentions(flags, arguments, {"--single-process", "--process-per-site", "--process-per-tab",
                                        "--site-per-process", "--renderer-process-limit"}))
        add("--process-per-site");
    // The engine takes one --js-flags only: a second would undo the user's.
    if (!anyMentions(flags, arguments, {"--js-flags"})) add("--js-flags=\"--optimize-for-size --expose-gc\"");
    sandboxOff = sandboxOff || anyMentions(flags, arguments, {"--no-sandbox"});
    if (sandboxOff && !anyMentions(flags, arguments, {"zygote"})) add("--no-zygote");
    if (!environmentPicksGraphics && !anyMentions(flags, arguments, {"gpu", "use-gl", "use-angle"})) {
        add("--disable-gpu");
        setup.softwareRendering = true;
    }
    if (setup.chromiumFlags == flags.trimmed()) setup.chromiumFlags = flags;
    return setup;
}

bool applyWebEngineSetup(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    const bool picked = qEnvironmentVariableIsSet("QT_QUICK_BACKEND") ||
                        qEnvironmentVariableIsSet("QSG_RHI_BACKEND") ||
                        qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION");
    // Set by now when Mirvok turned the sandbox off for root (WebEngineSandbox).
    const bool sandboxOff = qEnvironmentVariableIntValue("QTWEBENGINE_DISABLE_SANDBOX") != 0;
    const WebEngineSetup setup = webEngineSetupFor(flags, arguments, picked, sandboxOff);
    if (setup.chromiumFlags != flags) qputenv("QTWEBENGINE_CHROMIUM_FLAGS", setup.chromiumFlags);
    // Without this the X11 platform still loads the GL driver for a context
    // nobody draws with.
    if (setup.softwareRendering) qputenv("QT_XCB_GL_INTEGRATION", "none");
    quietWebEngineLog(setup.softwareRendering);
    return setup.softwareRendering;
}
