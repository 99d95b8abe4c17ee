#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

// One report folder and the record files the crash-time core wrote into it.
// Used by one operation at a time.
class CRKInternalReport {
public:
    // Reads the folder's metadata for its session identifier; null when
    // there is none (logged).
    static std::shared_ptr<CRKInternalReport> reportWithPath(const QString& path);
    // Null when either is empty.
    static std::shared_ptr<CRKInternalReport> create(const QString& path, const QString& executionIdentifier);

    QString path() const { return path_; }
    void setPath(const QString& path) { path_ = path; }
    QString identifier() const { return identifier_; }
    QString directoryName() const;
    QString pathForContentFile(const QString& name) const { return path_ + QLatin1Char('/') + name; }
    QString metadataPath() const { return pathForContentFile(QStringLiteral("metadata.crkrecord")); }
    QString binaryImagePath() const { return pathForContentFile(QStringLiteral("binary_images.crkrecord")); }

    static std::optional<QList<QJsonObject>> readMetadataAtPath(const QString& path);
    const std::optional<QList<QJsonObject>>& metadataSections();

    QString APIKey();
    QString bundleVersion();
    QString bundleShortVersionString();
    QString OSVersion();
    QString OSBuildVersion();
    std::optional<QDateTime> dateCreated();

    static const QStringList& crashFilenames();
    bool isCrash() const;
    bool needsToBeSubmitted() const;
    bool checkExistenceOfAtLeastOnceFileInArray(const QStringList& names) const;
    void enumerateSymbolicatableFilesInContent(const std::function<void(const QString&)>& block) const;

private:
    CRKInternalReport(const QString& path, const QString& identifier) : path_(path), identifier_(identifier) {}
    QString sectionValue(const char* section, const char* key);

    QString path_;
    QString identifier_;
    std::optional<QList<QJsonObject>> metadata_;
};
