#include "crash/CRKInternalReport.h"

#include "crash/CRKRecordReader.h"
#include "kithost/KTHLog.h"

#include <QFileInfo>

std::shared_ptr<CRKInternalReport> CRKInternalReport::reportWithPath(const QString& path)
{
    QString identifier;
    if (const auto sections = readMetadataAtPath(path + QStringLiteral("/metadata.crkrecord"))) {
        for (const QJsonObject& s : *sections) {
            const QJsonValue v = s.value(QStringLiteral("identity")).toObject().value(QStringLiteral("session_id"));
            if (v.isString()) {
                identifier = v.toString();
                break;
            }
        }
    }
    if (identifier.isEmpty())
        KTHLog::write(QStringLiteral("[CrashKit:Crash] Unable to read identifier at path %1").arg(path));
    return create(path, identifier);
}

std::shared_ptr<CRKInternalReport> CRKInternalReport::create(const QString& path, const QString& executionIdentifier)
{
    if (path.isEmpty() || executionIdentifier.isEmpty())
        return nullptr;
    return std::shared_ptr<CRKInternalReport>(new CRKInternalReport(path, executionIdentifier));
}

QString CRKInternalReport::directoryName() const { return QFileInfo(path_).fileName(); }

std::optional<QList<QJsonObject>> CRKInternalReport::readMetadataAtPath(const QString& path)
{
    QList<QJsonObject> sections = CRKFileReadSections(path);
    if (sections.isEmpty())
        return std::nullopt;
    return sections;
}

const std::optional<QList<QJsonObject>>& CRKInternalReport::metadataSections()
{
    if (!metadata_)
        metadata_ = readMetadataAtPath(metadataPath());
    return metadata_;
}

// The writer's line order is identity, host, application; a damaged line
// shifts the others up, so each section is looked for by its name.
QString CRKInternalReport::sectionValue(const char* section, const char* key)
{
    const auto& sections = metadataSections();
    if (!sections)
        return QString();
    for (const QJsonObject& s : *sections) {
        const QJsonValue object = s.value(QLatin1String(section));
        if (object.isObject()) {
            const QJsonValue v = object.toObject().value(QLatin1String(key));
            if (v.isString())
                return v.toString();
            if (v.isDouble())
                return QString::number(CRKRecordUnsigned(v));
            return QString();
        }
    }
    return QString();
}

QString CRKInternalReport::APIKey() { return sectionValue("identity", "api_key"); }
QString CRKInternalReport::bundleVersion() { return sectionValue("application", "build_version"); }
QString CRKInternalReport::bundleShortVersionString() { return sectionValue("application", "display_version"); }
QString CRKInternalReport::OSVersion() { return sectionValue("host", "os_display_version"); }
QString CRKInternalReport::OSBuildVersion() { return sectionValue("host", "os_build_version"); }

std::optional<QDateTime> CRKInternalReport::dateCreated()
{
    const QString text = sectionValue("identity", "started_at");
    bool ok = false;
    const qulonglong seconds = text.toULongLong(&ok);
    if (!ok)
        return std::nullopt;
    return QDateTime::fromSecsSinceEpoch(qint64(seconds), Qt::UTC);
}

const QStringList& CRKInternalReport::crashFilenames()
{
    static const QStringList names{QStringLiteral("exception.crkrecord"), QStringLiteral("mach_exception.crkrecord"),
                                   QStringLiteral("signal.crkrecord")};
    return names;
}

bool CRKInternalReport::isCrash() const { return checkExistenceOfAtLeastOnceFileInArray(crashFilenames()); }

bool CRKInternalReport::needsToBeSubmitted() const
{
    // The custom exception store writes its two A/B names; a report holding
    // only recorded custom exceptions is worth sending too.
    static const QStringList names{QStringLiteral("exception.crkrecord"),     QStringLiteral("signal.crkrecord"),
                                   QStringLiteral("mach_exception.crkrecord"), QStringLiteral("errors_a.crkrecord"),
                                   QStringLiteral("errors_b.crkrecord"),       QStringLiteral("custom_exception_a.crkrecord"),
                                   QStringLiteral("custon_exception_b.crkrecord")};
    return checkExistenceOfAtLeastOnceFileInArray(names);
}

bool CRKInternalReport::checkExistenceOfAtLeastOnceFileInArray(const QStringList& names) const
{
    for (const QString& name : names)
        if (QFileInfo::exists(pathForContentFile(name)))
            return true;
    return false;
}

void CRKInternalReport::enumerateSymbolicatableFilesInContent(const std::function<void(const QString&)>& block) const
{
    for (const QString& name : crashFilenames())
        block(pathForContentFile(name));
}
