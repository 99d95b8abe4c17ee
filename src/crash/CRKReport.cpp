#include "crash/CRKReport.h"

#include "crash/CRKInternalReport.h"
#include "crash/core/CRKContext.h"
#include "crash/core/CRKQueue.h"
#include "crash/core/CRKUserLogging.h"
#include "platform/Lenient.h"

#include <QFile>

CRKReport::CRKReport(std::shared_ptr<CRKInternalReport> report) : report_(std::move(report)) {}

QString CRKReport::identifier() const { return report_->identifier(); }
QString CRKReport::bundleVersion() const { return report_->bundleVersion(); }
QString CRKReport::bundleShortVersionString() const { return report_->bundleShortVersionString(); }
std::optional<QDateTime> CRKReport::dateCreated() const { return report_->dateCreated(); }
QString CRKReport::OSVersion() const { return report_->OSVersion(); }
QString CRKReport::OSBuildVersion() const { return report_->OSBuildVersion(); }
bool CRKReport::isCrash() const { return report_->isCrash(); }

void CRKReport::setObjectValue(const QVariant& value, const QString& key) { recordValueForUserKey(value, key); }
void CRKReport::setUserIdentifier(const QString& value) { recordValueForInternalKey(value, QStringLiteral("com.crashkit.user-id")); }
void CRKReport::setUserName(const QString& value) { recordValueForInternalKey(value, QStringLiteral("com.crashkit.user-name")); }
void CRKReport::setUserEmail(const QString& value) { recordValueForInternalKey(value, QStringLiteral("com.crashkit.user-email")); }

void CRKReport::recordValueForInternalKey(const QVariant& value, const QString& key) { record(value, key, true); }
void CRKReport::recordValueForUserKey(const QVariant& value, const QString& key) { record(value, key, false); }

CRKUserLoggingKVStorage CRKReport::internalKVStorage()
{
    paths_[0] = QFile::encodeName(report_->pathForContentFile(QStringLiteral("internal_incremental_kv.crkrecord")));
    paths_[1] = QFile::encodeName(report_->pathForContentFile(QStringLiteral("internal_compacted_kv.crkrecord")));
    const CRKContext* context = CRKContextGet();
    return {paths_[0].constData(), paths_[1].constData(),
            context ? context->logging.internalKV.incrementalLimit : kCRKKVIncrementalLimit,
            context ? context->logging.internalKV.maxKeys : kCRKInternalMaxKeys, &internalCount_};
}

CRKUserLoggingKVStorage CRKReport::userKVStorage()
{
    paths_[2] = QFile::encodeName(report_->pathForContentFile(QStringLiteral("user_incremental_kv.crkrecord")));
    paths_[3] = QFile::encodeName(report_->pathForContentFile(QStringLiteral("user_compacted_kv.crkrecord")));
    const CRKContext* context = CRKContextGet();
    return {paths_[2].constData(), paths_[3].constData(),
            context ? context->logging.userKV.incrementalLimit : kCRKKVIncrementalLimit,
            context ? context->logging.userKV.maxKeys : 16, &userCount_};
}

void CRKReport::record(const QVariant& value, const QString& key, bool internal)
{
    CRKQueue* queue = CRKContextLoggingQueue();
    if (!CRKContextIsInitialized() || !queue)
        return;
    const CRKUserLoggingKVStorage store = internal ? internalKVStorage() : userKVStorage();
    const QByteArray k = key.toUtf8();
    const QByteArray v = value.isNull() ? QByteArray() : lenient::toString(value).toUtf8();
    const bool hasValue = !value.isNull();
    queue->sync([&] { CRKUserLoggingWriteKeyValue(k.constData(), hasValue ? v.constData() : nullptr, &store); });
}
