#pragma once

#include <QString>
#include <QVariantMap>

// The account's failure report: a domain, a code and a key text that the
// login panel turns into a hint. A default-constructed error means success.
struct AccountError {
    QString domain;
    int code = 0;
    QString localizedDescription;
    QVariantMap userInfo;

    bool isError() const { return !domain.isEmpty(); }
    explicit operator bool() const { return isError(); }

    static inline const QString kLoginStateDomain = QStringLiteral("LoginStateDomain");
    static inline const QString kAuthServerDomain = QStringLiteral("AuthServerDomain");
    static inline const QString kDictRequestErrorDomain = QStringLiteral("DictRequestErrorDomain");
    static inline const QString kNetworkDomain = QStringLiteral("NetworkErrorDomain");

    // DictRequestErrorDomain 1000 "Dict Error".
    static AccountError normalError() {
        return {kDictRequestErrorDomain, 1000, QStringLiteral("Dict Error"), {}};
    }
    // The refusal named by a login reply's tpcode.
    static AccountError fromTpcode(int tpcode) {
        switch (tpcode) {
        case 412: return {kLoginStateDomain, 1, QStringLiteral("LOGIN_STATE_MORE_TIMES_ERROR"), {}};
        case 420: return {kLoginStateDomain, 2, QStringLiteral("LOGIN_STATE_USERNAME_ERROR"), {}};
        case 422: return {kLoginStateDomain, 3, QStringLiteral("LOGIN_STATE_ACCOUNT_LOCKED"), {}};
        case 460: return {kLoginStateDomain, 4, QStringLiteral("LOGIN_STATE_PASSWORD_ERROR"), {}};
        case 500:
        case 503: return {kLoginStateDomain, 5, QStringLiteral("LOGIN_STATE_SERVER_ERROR"), {}};
        default: return {kLoginStateDomain, 6, QStringLiteral("LOGIN_STATE_OTHER_ERROR"), {}};
        }
    }
};
