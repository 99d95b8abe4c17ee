#pragma once

#include <QString>
#include <QTemporaryDir>

// Points XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_CACHE_HOME and HOME at a fresh
// temporary folder and reopens UserDefaults::standard() there, so no test
// touches the real home. Create one at the start of each test case (or in
// initTestCase) and keep it alive for the test.
class TestEnv {
public:
    TestEnv();
    ~TestEnv();

    QString root() const { return dir_.path(); }
    QString configHome() const;
    QString dataHome() const;
    QString cacheHome() const;
    // Reopens UserDefaults::standard() from its file, as the next start would.
    void restart();

private:
    QTemporaryDir dir_;
    QByteArray saved_[4];
};

// Directory of committed test fixtures (tests/data).
QString testDataPath(const QString& relative);
