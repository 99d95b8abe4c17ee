#include "crash/CRKPackageReportOperation.h"

#include "crash/CRKFileManager.h"
#include "crash/CRKInternalReport.h"
#include "crash/core/CRKSDKLog.h"
#include "platform/PrivateFiles.h"
#include "kithost/KTHMultipartMimeStreamEncoder.h"

#include <QFile>
#include <QFileInfo>
#include <sys/file.h>
#include <zlib.h>

CRKPackageReportOperation::CRKPackageReportOperation(std::shared_ptr<CRKInternalReport> report,
                                                     std::shared_ptr<CRKFileManager> fileManager)
    : report_(std::move(report)), fileManager_(std::move(fileManager))
{
}

QString CRKPackageReportOperation::packagedPathWithName(const QString& name) const
{
    return fileManager_->preparedPath() + QLatin1Char('/') + name + QStringLiteral(".multipartmime");
}

QString CRKPackageReportOperation::fieldNameForCompressedFile(const QString& name)
{
    QString field = name;
    for (int i = 0; i < 2; ++i) {
        const int dot = field.lastIndexOf(QLatin1Char('.'));
        if (dot > 0)
            field.truncate(dot);
    }
    return field;
}

QString CRKPackageReportOperation::compressFile(const QString& path)
{
    const QString compressed = path + QStringLiteral(".gz");
    gzFile out = gzopen(QFile::encodeName(compressed).constData(), "w");
    if (!out)
        return compressed;
    QFile in(path);
    QByteArray data;
    if (in.open(QIODevice::ReadOnly))
        data = in.readAll();
    if (!data.isEmpty() && gzwrite(out, data.constData(), unsigned(data.size())) != int(data.size()))
        CRKSDKLog("Error: Failed to write all compressed bytes\n");
    gzclose(out);
    return compressed;
}

void CRKPackageReportOperation::main()
{
    finalPath_.clear();
    const QString boundary = KTHMultipartMimeStreamEncoder::generateBoundary();
    const QString packagePath = packagedPathWithName(boundary);
    const QString partPath = fileManager_->preparedPath() + QStringLiteral("/.") + boundary + QStringLiteral(".part");
    const QString identifier = report_->identifier();
    const QString apiKey = report_->APIKey();

    QFile stream(partPath);
    if (!stream.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    privatefiles::narrowOpenFile(stream);
    // Held while it is written: another instance starting now takes the part
    // for live and leaves it alone.
    ::flock(stream.handle(), LOCK_EX | LOCK_NB);
    KTHMultipartMimeStreamEncoder encoder(&stream, boundary);
    const bool written = encoder.encode([&](KTHMultipartMimeStreamEncoder& e) {
        if (!apiKey.isNull())
            e.addValue(apiKey, QStringLiteral("api_key"));
        if (!identifier.isNull())
            e.addValue(identifier, QStringLiteral("report_id"));
        fileManager_->enumerateFilesInDirectory(report_->path(), [&](const QString& path, const QString& extension) {
            if (cancelled_ || extension == QLatin1String("gz"))
                return;
            const QString compressed = compressFile(path);
            const QString name = QFileInfo(compressed).fileName();
            if (compressed.isEmpty() || name.isEmpty()) {
                CRKSDKLog("%s: Error: paths are invalid\n", __PRETTY_FUNCTION__);
                return;
            }
            e.addFile(compressed, name, QStringLiteral("application/x-gzip"), fieldNameForCompressedFile(name));
        });
    });
    stream.close();
    if (cancelled_ || !written || !QFile::rename(partPath, packagePath)) {
        QFile::remove(partPath);
        return;
    }
    finalPath_ = packagePath;
}
