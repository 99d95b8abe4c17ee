#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>

// A report folder as a crashed run leaves it, written from the record
// format's text rather than by our writer.
inline void writeCrashFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

inline QString makeCrashReportFolder(const QString& parent, const QString& id, const QStringList& extraFiles,
                                     const QByteArray& apiKey = "\"key-1\"")
{
    const QString dir = parent + QLatin1Char('/') + id;
    QDir().mkpath(dir);
    writeCrashFile(dir + "/metadata.crkrecord",
                   "{\"identity\":{\"session_id\":\"" + id.toUtf8() + "\",\"api_key\":" + apiKey
                       + ",\"started_at\":1700000000}}\n"
                         "{\"host\":{\"os_display_version\":\"12\",\"os_build_version\":\"6.1.0\"}}\n"
                         "{\"application\":{\"build_version\":\"100\",\"display_version\":\"0.1.0\"}}\n");
    writeCrashFile(dir + "/binary_images.crkrecord", "{\"load\":{\"path\":\"/a\",\"uuid\":\"00\",\"base\":4096,\"size\":4096}}\n");
    for (const QString& name : extraFiles)
        writeCrashFile(dir + QLatin1Char('/') + name,
                       name.startsWith("signal") ? QByteArray("{\"signal\":{\"number\":11}}\n{\"threads\":[{\"registers\":{},\"stacktrace\":[4100,8]}]}\n")
                                                 : QByteArray("{\"x\":{}}\n"));
    return dir;
}

// Another process holding flock(LOCK_EX) on a file, the way a second running
// instance holds its folder or package, until destroyed.
class CrashLockHolder {
public:
    explicit CrashLockHolder(const QString& path)
    {
        process_.start(QStringLiteral("flock"),
                       {QStringLiteral("-x"), path, QStringLiteral("-c"), QStringLiteral("echo held; exec cat")});
        process_.waitForReadyRead(10000);
        held_ = process_.readAll().startsWith("held");
    }
    ~CrashLockHolder()
    {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(5000))
            process_.kill();
        process_.waitForFinished(5000);
    }
    bool held() const { return held_; }

private:
    QProcess process_;
    bool held_ = false;
};
