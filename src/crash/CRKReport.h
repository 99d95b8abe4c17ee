#pragma once

#include "crash/core/CRKRecords.h"

#include <QDateTime>
#include <QString>
#include <QVariant>
#include <memory>
#include <optional>

class CRKInternalReport;

// A report of an earlier run as the application's delegate sees it: its
// identity and versions, and write-only setters that add keys to the
// report's own folder before it is packaged (nothing happens before the
// crash-time core is set up, or once the folder is gone).
class CRKReport {
public:
    explicit CRKReport(std::shared_ptr<CRKInternalReport> report);

    std::shared_ptr<CRKInternalReport> internalReport() const { return report_; }
    QString identifier() const;
    QVariantMap customKeys() const { return {}; }
    QString bundleVersion() const;
    QString bundleShortVersionString() const;
    std::optional<QDateTime> dateCreated() const;
    std::optional<QDateTime> crashedOnDate() const { return dateCreated(); }
    QString OSVersion() const;
    QString OSBuildVersion() const;
    bool isCrash() const;

    void setObjectValue(const QVariant& value, const QString& key);
    void setUserIdentifier(const QString& value);
    void setUserName(const QString& value);
    void setUserEmail(const QString& value);
    QString userIdentifier() const { return QString(); }
    QString userName() const { return QString(); }
    QString userEmail() const { return QString(); }

    void recordValueForInternalKey(const QVariant& value, const QString& key);
    void recordValueForUserKey(const QVariant& value, const QString& key);
    CRKUserLoggingKVStorage internalKVStorage();
    CRKUserLoggingKVStorage userKVStorage();

private:
    void record(const QVariant& value, const QString& key, bool internal);

    std::shared_ptr<CRKInternalReport> report_;
    uint32_t internalCount_ = 0;
    uint32_t userCount_ = 0;
    QByteArray paths_[4];
};
