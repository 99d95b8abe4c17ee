#include "crash/CRKReportsController.h"

#include "crash/CRKFileManager.h"
#include "crash/CRKInternalReport.h"
#include "crash/CRKNetworkClient.h"
#include "crash/CRKPackageReportOperation.h"
#include "crash/CRKProcessReportOperation.h"
#include "crash/CRKSettings.h"
#include "crash/CRKSymbolResolver.h"
#include "crash/CrashKitConstants.h"
#include "kithost/KTHLog.h"
#include "kithost/KTHMultipartMimeStreamEncoder.h"
#include "kithost/KTHURLBuilder.h"

#include <QFileInfo>
#include <QLocale>

CRKReportsController::CRKReportsController(CRKReportsControllerDelegate* delegate,
                                           std::shared_ptr<CRKNetworkClient> client,
                                           std::shared_ptr<CRKFileManager> fileManager)
    : delegate_(delegate), client_(std::move(client)), fileManager_(std::move(fileManager))
{
}

bool CRKReportsController::prepareAndSubmitReport(const std::shared_ptr<CRKInternalReport>& report, bool urgent,
                                                  bool processing)
{
    if (!report)
        return false;
    const CRKSettings settings = delegate_->settingsForReportsController();
    // The folder's lock is held from the move on, so a second instance
    // starting meanwhile takes it for live and leaves it alone.
    const int lock = CRKFileManager::lockReportFolder(report->path());
    if (lock < 0) {
        KTHLog::write(QStringLiteral("[CrashKit:Crash:Reports] Unable to move report for processing"));
        return false;
    }
    struct Unlock {
        int fd;
        ~Unlock() { CRKFileManager::unlock(fd); }
    } unlock{lock};
    if (processing) {
        if (!fileManager_->moveItemAtPath(report->path(), fileManager_->processingPath())) {
            KTHLog::write(QStringLiteral("[CrashKit:Crash:Reports] Unable to move report for processing"));
            return false;
        }
        report->setPath(fileManager_->processingPath() + QLatin1Char('/') + report->directoryName());
        CRKProcessReportOperation(report, std::make_shared<CRKSymbolResolver>()).main();
    }
    if (!settings.shouldPackageReports()) {
        KTHLog::write(QStringLiteral("[CrashKit:Crash:Reports] Report packaging disabled"));
        return false;
    }
    CRKPackageReportOperation package(report, fileManager_);
    package.main();
    if (package.finalPath().isNull()) {
        KTHLog::write(QStringLiteral("[CrashKit:Crash:Reports] Unable to package report"));
        return false;
    }
    if (!fileManager_->removeItemAtPath(report->path()))
        KTHLog::write(QStringLiteral("[CrashKit:Crash:Reports] Unable to remove a processing item"));
    KTHLog::debugWrite(QStringLiteral("[CrashKit:Crash:Reports] Packaged id %1 for submission").arg(report->identifier()));
    return uploadPackagedReportAtPath(package.finalPath(), urgent);
}

bool CRKReportsController::uploadPackagedReportAtPath(const QString& path, bool urgent)
{
    if (!delegate_->settingsForReportsController().shouldSubmitReports()) {
        KTHLog::write(QStringLiteral("[CrashKit:Crash:Reports] Submission disabled"));
        return false;
    }
    KTHLog::debugWrite(QStringLiteral("[CrashKit:Crash:Reports] Submitting report%1")
                           .arg(urgent ? QStringLiteral(" as urgent") : QString()));
    return submitPackageMultipartMimeAtPath(path, urgent);
}

bool CRKReportsController::submitPackageMultipartMimeAtPath(const QString& path, bool synchronously)
{
    KTHLog::write(QStringLiteral("[CrashKit:Crash:Reports] Submitting %1 %2")
                      .arg(synchronously ? QStringLiteral("sync") : QStringLiteral("async"), path));
    const QFileInfo info(path);
    if (!info.exists() || info.size() == 0) {
        KTHLog::debugWrite(QStringLiteral("[CrashKit:Crash:Reports] Already-submitted report being ignored"));
        return false;
    }
    const double timeout = synchronously && !client_->supportsBackgroundRequests() ? 2.0 : 10.0;
    KTHURLRequest request = mutableRequestWithURL(reportURL(), timeout);
    request.method = "POST";
    if (!fillInRequest(request, path)) {
        KTHLog::write(QStringLiteral("[CrashKit:Crash:Reports] Could not determine size of multipart mime file"));
        return false;
    }
    client_->startUploadRequest(request, path, synchronously);
    return true;
}

void CRKReportsController::reportUploadAtPath(const QString& path, const KTHError& error)
{
    KTHLog::debugWrite(QStringLiteral("[CrashKit:Crash:Reports] completed submission of %1").arg(path));
    if (!error)
        cleanUpSubmittedReportAtPath(path);
    delegate_->reportsControllerDidCompletePackageSubmission(path, error);
}

bool CRKReportsController::cleanUpSubmittedReportAtPath(const QString& path)
{
    if (fileManager_->removeItemAtPath(path))
        return true;
    KTHLog::write(QStringLiteral("[CrashKit:Crash:Reports] Unable to remove packaged submission"));
    return false;
}

QUrl CRKReportsController::reportURL()
{
    KTHURLBuilder builder = KTHURLBuilder::URLWithBase(delegate_->settingsForReportsController().reportsEndpoint());
    builder.appendComponent(QStringLiteral("/sdk-api/v1/platforms/"));
    builder.appendComponent(QStringLiteral("mac"));
    builder.appendComponent(QStringLiteral("/apps/"));
    builder.appendComponent(delegate_->bundleIdentifierForReportsController());
    builder.appendComponent(QStringLiteral("/reports"));
    return builder.URL();
}

QString CRKReportsController::localeIdentifier() { return QLocale::system().name(); }

KTHURLRequest CRKReportsController::mutableRequestWithURL(const QUrl& url, double timeoutSeconds)
{
    KTHURLRequest request;
    request.url = url;
    request.timeoutMs = int(timeoutSeconds * 1000);
    const QByteArray locale = localeIdentifier().toUtf8();
    request.headers = CrashKitConstants::standardHeaders(locale, delegate_->APIKeyForReportsController().toUtf8());
    return request;
}

bool CRKReportsController::fillInRequest(KTHURLRequest& request, const QString& path)
{
    const auto size = fileManager_->fileSizeAtPath(path);
    if (!size)
        return false;
    request.setHeader("Content-Type",
                      KTHMultipartMimeStreamEncoder::contentTypeHTTPHeaderValueWithBoundary(QFileInfo(path).completeBaseName()));
    request.setHeader("Content-Length", QByteArray::number(*size));
    return true;
}
