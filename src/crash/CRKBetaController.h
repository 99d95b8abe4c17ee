#pragma once

#include "platform/LifeGuard.h"
#include "crash/CRKSettings.h"
#include "kithost/KTHURLTypes.h"

#include <QString>
#include <QUrl>
#include <QVariant>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class KTHNetworkClient;
class SerialQueue;

// A newer test build, as the beta service describes it.
struct CRKBetaUpdate {
    QUrl url;
    QString version;
    // Null (error filled) unless the object is a dictionary with a valid "url".
    static std::optional<CRKBetaUpdate> betaUpdateWithDictionary(const QVariant& object, KTHError* error);
};

class CRKBetaControllerDelegate {
public:
    virtual ~CRKBetaControllerDelegate() = default;
    virtual QString APIKeyForBetaController() = 0;
    virtual CRKSettings settingsForBetaController() = 0;
};

// Where the beta token comes from. This build has none; tests give one.
using CRKBetaTokenProvider = std::function<QString()>;
void CRKSetBetaTokenProvider(CRKBetaTokenProvider provider);
QString CRKBetaToken();

// Asks the beta service for a newer test build after each settings
// download, for builds signed for beta distribution. Without a beta token
// it never starts and nothing is requested.
class CRKBetaController {
public:
    explicit CRKBetaController(CRKBetaControllerDelegate* delegate);
    ~CRKBetaController();

    static bool isBetaSupported();
    bool start();
    QString betaToken() const { return betaToken_; }
    void checkForUpdate();
    QUrl betaUpdateURL();
    KTHURLRequest betaRequest();
    std::optional<CRKBetaUpdate> activeUpdate() const;
    bool checksSuspended() const { return checksSuspended_; }

private:
    void handleAnswer(const QByteArray& data, const KTHError& error);
    void temporarilySuspendChecks();

    CRKBetaControllerDelegate* delegate_;
    QString betaToken_;
    std::atomic<bool> checksSuspended_{false};
    std::atomic<bool> retrying_{false};
    std::unique_ptr<KTHNetworkClient> client_;
    std::unique_ptr<SerialQueue> queue_;
    std::shared_ptr<std::optional<CRKBetaUpdate>> activeUpdate_;
    LifeGuard life_;
    quint64 observer_ = 0;
};
