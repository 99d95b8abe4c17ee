#pragma once

#include "kithost/KTHNetworkOperation.h"

#include <QVariantMap>
#include <memory>

class KTHApplicationIdentiferModel;
class KTHMultipartMimeStreamEncoder;
class KTHNetworkClient;
class KTHOnboardingOperation;

class KTHOnboardingOperationDelegate {
public:
    virtual ~KTHOnboardingOperationDelegate() = default;
    virtual void onboardingOperationDidCompleteAppCreationWithError(KTHOnboardingOperation* operation,
                                                                    const KTHError& error) = 0;
    virtual void onboardingOperationDidCompleteAppUpdateWithError(KTHOnboardingOperation* operation,
                                                                  const KTHError& error) = 0;
};

// Registers the application with the service (create: POST …/apps, 2 s;
// update: PUT …/apps/<bundle>, 10 s) with a multipart form describing it.
// A cancelled operation finishes without telling its delegate.
class KTHOnboardingOperation : public KTHNetworkOperation {
public:
    KTHOnboardingOperation(std::weak_ptr<KTHOnboardingOperationDelegate> delegate, bool shouldCreate,
                           const QString& APIKey, const QVariantMap& kitVersionsByKitBundleIdentifier,
                           std::shared_ptr<const KTHApplicationIdentiferModel> appIdentifierModel,
                           const QString& endpointString,
                           std::weak_ptr<KTHNetworkClient> networkClient);

    bool shouldCreate() const { return shouldCreate_; }
    KTHError error() const { return error_; }
    QUrl appCreateURL() const;
    QUrl appUpdateURL() const;
    KTHURLRequest onboardingRequestForAppCreate(bool create) const;
    // The registration form's fields, in order (public for tests).
    void encodeForm(KTHMultipartMimeStreamEncoder& encoder) const;

protected:
    void main() override;

private:
    void complete(const KTHError& error);

    bool shouldCreate_;
    KTHError error_;
    std::shared_ptr<const KTHApplicationIdentiferModel> model_;
    QString appEndpoint_;
    std::weak_ptr<KTHOnboardingOperationDelegate> delegate_;
    std::weak_ptr<KTHNetworkClient> networkClient_;
    QVariantMap kitVersions_;
};
