#pragma once

#include "kithost/KTHURLTypes.h"

#include <QString>
#include <QUrl>
#include <memory>

class CRKFileManager;
class CRKInternalReport;
class CRKNetworkClient;
class CRKSettings;

class CRKReportsControllerDelegate {
public:
    virtual ~CRKReportsControllerDelegate() = default;
    virtual void reportsControllerDidCompletePackageSubmission(const QString& path, const KTHError& error) = 0;
    virtual CRKSettings settingsForReportsController() = 0;
    virtual QString APIKeyForReportsController() = 0;
    virtual QString bundleIdentifierForReportsController() = 0;
};

// Carries one report from its folder to the service: into "processing",
// symbolicated, packaged, folder removed, package handed to the upload
// client. Runs on the caller's thread (the start thread for urgent reports,
// the work queue otherwise); its only state is on disk.
class CRKReportsController {
public:
    CRKReportsController(CRKReportsControllerDelegate* delegate, std::shared_ptr<CRKNetworkClient> client,
                         std::shared_ptr<CRKFileManager> fileManager);

    bool prepareAndSubmitReport(const std::shared_ptr<CRKInternalReport>& report, bool urgent, bool processing);
    bool uploadPackagedReportAtPath(const QString& path, bool urgent);
    bool submitPackageMultipartMimeAtPath(const QString& path, bool synchronously);
    void reportUploadAtPath(const QString& path, const KTHError& error);
    bool cleanUpSubmittedReportAtPath(const QString& path);

    QUrl reportURL();
    KTHURLRequest mutableRequestWithURL(const QUrl& url, double timeoutSeconds);
    bool fillInRequest(KTHURLRequest& request, const QString& path);
    static QString localeIdentifier();

private:
    CRKReportsControllerDelegate* delegate_;
    std::shared_ptr<CRKNetworkClient> client_;
    std::shared_ptr<CRKFileManager> fileManager_;
};
