#include "kithost/KTHOnboardingOperation.h"

#include "kithost/KTHApplicationIdentiferModel.h"
#include "kithost/KTHApplicationInfo.h"
#include "kithost/KTHLog.h"
#include "kithost/KTHMultipartMimeStreamEncoder.h"
#include "kithost/KTHNetworkClient.h"
#include "kithost/KTHURLBuilder.h"

KTHOnboardingOperation::KTHOnboardingOperation(std::weak_ptr<KTHOnboardingOperationDelegate> delegate,
                                               bool shouldCreate, const QString& APIKey,
                                               const QVariantMap& kitVersions,
                                               std::shared_ptr<const KTHApplicationIdentiferModel> model,
                                               const QString& endpointString,
                                               std::weak_ptr<KTHNetworkClient> networkClient)
    : KTHNetworkOperation(APIKey),
      shouldCreate_(shouldCreate),
      model_(std::move(model)),
      appEndpoint_(endpointString),
      delegate_(std::move(delegate)),
      networkClient_(std::move(networkClient)),
      kitVersions_(kitVersions)
{
}

QUrl KTHOnboardingOperation::appCreateURL() const
{
    KTHURLBuilder b = KTHURLBuilder::URLWithBase(appEndpoint_);
    b.appendComponent(QStringLiteral("/spi/v1/platforms/"));
    b.escapeAndAppendComponent(QLatin1String(kKTHPlatform));
    b.appendComponent(QStringLiteral("/apps"));
    return b.URL();
}

QUrl KTHOnboardingOperation::appUpdateURL() const
{
    KTHURLBuilder b = KTHURLBuilder::URLWithBase(appEndpoint_);
    b.appendComponent(QStringLiteral("/spi/v1/platforms/"));
    b.escapeAndAppendComponent(QLatin1String(kKTHPlatform));
    b.appendComponent(QStringLiteral("/apps/"));
    b.escapeAndAppendComponent(KTHApplicationBundleIdentifier());
    return b.URL();
}

KTHURLRequest KTHOnboardingOperation::onboardingRequestForAppCreate(bool create) const
{
    KTHURLRequest r = mutableRequestWithDefaultHTTPHeadersForURL(create ? appCreateURL() : appUpdateURL(),
                                                                 create ? 2.0 : 10.0);
    r.method = create ? "POST" : "PUT";
    return r;
}

void KTHOnboardingOperation::encodeForm(KTHMultipartMimeStreamEncoder& e) const
{
    auto add = [&](const QString& value, const char* field) {
        if (!value.isNull())
            e.addValue(value, QString::fromLatin1(field));
    };
    add(KTHApplicationBundleIdentifier(), "app[identifier]");
    if (model_)
        add(model_->instanceIdentifier(), "app[instance_identifier]");
    add(KTHApplicationName(), "app[name]");
    add(KTHApplicationBuildVersion(), "app[build_version]");
    add(KTHApplicationDisplayVersion(), "app[display_version]");
    add(QString::number(KTHApplicationInstallSource()), "app[source]");
    if (model_) {
        add(model_->minimumSDKString(), "app[minimum_sdk_version]");
        add(model_->builtSDKString(), "app[built_sdk_version]");
    }
    for (auto it = kitVersions_.begin(); it != kitVersions_.end(); ++it)
        e.addValue(it.value(), QStringLiteral("%1[%2]").arg(QStringLiteral("app[build][libraries]"), it.key()));
    if (model_) {
        const auto& map = model_->architectureUUIDMap();
        for (auto it = map.begin(); it != map.end(); ++it) {
            e.addValue(it.key(), QStringLiteral("app[slices][][arch]"));
            e.addValue(it.value(), QStringLiteral("app[slices][][uuid]"));
        }
        const auto& icon = model_->icon();
        if (icon && !icon->data.isEmpty() && !icon->dataHash.isEmpty()) {
            e.addValue(icon->dataHash, QStringLiteral("app[icon][hash]"));
            e.addValue(QString::fromLatin1(icon->prerendered ? "true" : "false"),
                       QStringLiteral("app[icon][prerendered]"));
            e.addValue(QString::number(qulonglong(icon->width)), QStringLiteral("app[icon][width]"));
            e.addValue(QString::number(qulonglong(icon->height)), QStringLiteral("app[icon][height]"));
            e.addFileData(icon->data, QStringLiteral("icon.png"), QStringLiteral("image/png"),
                          QStringLiteral("app[icon][data]"));
        }
    }
}

void KTHOnboardingOperation::main()
{
    KTHURLRequest request = onboardingRequestForAppCreate(shouldCreate_);
    const bool encoded = KTHMultipartMimeStreamEncoder::populateRequest(
        request, [this](KTHMultipartMimeStreamEncoder& e) { encodeForm(e); });
    auto client = networkClient_.lock();
    if (!encoded || !client) {
        KTHLog::write(QStringLiteral("[KitHost] configure failed during onboarding"));
        finish();
        return;
    }
    auto self = std::static_pointer_cast<KTHOnboardingOperation>(shared_from_this());
    client->startDataTaskWithRequest(request, 1,
                                     [self](const QByteArray&, const KTHHTTPResponse&, const KTHError& error) {
                                         self->complete(error);
                                     });
}

void KTHOnboardingOperation::complete(const KTHError& error)
{
    error_ = error;
    if (!isCancelled()) {
        if (auto delegate = delegate_.lock()) {
            if (shouldCreate_)
                delegate->onboardingOperationDidCompleteAppCreationWithError(this, error);
            else
                delegate->onboardingOperationDidCompleteAppUpdateWithError(this, error);
        }
    }
    finish();
}
