#include "support/TestEnv.h"

#include "platform/CRKUserDefaults.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QStandardPaths>

namespace {
const char* const kVars[4] = {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "HOME"};
}

TestEnv::TestEnv() {
    for (int i = 0; i < 4; ++i) saved_[i] = qgetenv(kVars[i]);
    QStandardPaths::setTestModeEnabled(false);
    QDir().mkpath(configHome());
    QDir().mkpath(dataHome());
    QDir().mkpath(cacheHome());
    qputenv("XDG_CONFIG_HOME", configHome().toUtf8());
    qputenv("XDG_DATA_HOME", dataHome().toUtf8());
    qputenv("XDG_CACHE_HOME", cacheHome().toUtf8());
    qputenv("HOME", root().toUtf8());
    UserDefaults::resetStandard();
    CRKUserDefaults::resetStandardUserDefaults();
}

TestEnv::~TestEnv() {
    UserDefaults::resetStandard();
    CRKUserDefaults::resetStandardUserDefaults();
    for (int i = 0; i < 4; ++i) {
        if (saved_[i].isNull()) qunsetenv(kVars[i]);
        else qputenv(kVars[i], saved_[i]);
    }
}

QString TestEnv::configHome() const { return root() + QStringLiteral("/config"); }
QString TestEnv::dataHome() const { return root() + QStringLiteral("/data"); }
QString TestEnv::cacheHome() const { return root() + QStringLiteral("/cache"); }

void TestEnv::restart() {
    UserDefaults::standard().sync();
    UserDefaults::resetStandard();
    CRKUserDefaults::resetStandardUserDefaults();
}

QString testDataPath(const QString& relative) {
    return qEnvironmentVariable("MIRVOK_TEST_DATA") + u'/' + relative;
}
