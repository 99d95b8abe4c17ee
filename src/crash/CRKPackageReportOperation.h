#pragma once

#include <QString>
#include <atomic>
#include <memory>

class CRKFileManager;
class CRKInternalReport;

// Turns one report folder into one upload package in "prepared": a
// multipart/form-data body with "api_key", "report_id" and one gzip part per
// file, named "<boundary>.multipartmime" so the request's Content-Type can be
// made from the name alone in a later run.
//
// The body is written to the hidden "prepared/.<boundary>.part" and renamed
// into place when complete: a kill mid-way leaves no package that looks
// finished (start deletes the stale part files).
class CRKPackageReportOperation {
public:
    CRKPackageReportOperation(std::shared_ptr<CRKInternalReport> report, std::shared_ptr<CRKFileManager> fileManager);

    void main();
    void cancel() { cancelled_ = true; }
    // The package once complete; null otherwise.
    QString finalPath() const { return finalPath_; }

    // Writes path + ".gz"; answers that path whatever the outcome.
    static QString compressFile(const QString& path);
    // "signal.crkrecord.symbolicated.gz" → "signal.crkrecord".
    static QString fieldNameForCompressedFile(const QString& name);
    QString packagedPathWithName(const QString& name) const;

private:
    std::shared_ptr<CRKInternalReport> report_;
    std::shared_ptr<CRKFileManager> fileManager_;
    std::atomic<bool> cancelled_{false};
    QString finalPath_;
};
