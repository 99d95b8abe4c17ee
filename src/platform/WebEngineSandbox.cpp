#include "platform/WebEngineSandbox.h"

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <unistd.h>

bool relaxWebEngineSandboxForRoot(int argc, char** argv)
{
    if (::geteuid() != 0 || qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX") ||
        qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS").contains(QLatin1String("sandbox")))
        return false;
    for (int i = 1; i < argc; ++i) {
        if (QByteArray(argv[i]).contains("sandbox"))
            return false;
    }
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    std::fprintf(stderr, "mirvok: running as root, so web pages run without the web engine's sandbox\n");
    return true;
}
