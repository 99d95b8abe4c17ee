// The account service's JSON answers (login, poll, auto-login, rp, profile),
// read the way MVAuthServer reads them: who signs in, the refusal code and
// the hint the login panel shows, the rp identifiers, the avatar address.
#include "FuzzSupport.h"

#include "account/AccountError.h"
#include "account/LoginPanelController.h"
#include "account/MVAuthServer.h"

#include <QJsonObject>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    bool isJson = false;
    const QJsonObject reply = MVAuthServer::parseReply(fuzz::bytes(data, size), &isJson);
    (void)MVAuthServer::soundUserMembers(reply, true);
    if (MVAuthServer::soundUserMembers(reply, false)) {
        const QVariantMap info = reply.toVariantMap();
        (void)info.value(QStringLiteral("userid")).toString();
        (void)info.value(QStringLiteral("DICT-PC")).toString();
    }
    (void)MVAuthServer::jsonTrue(reply.value(QStringLiteral("login")));
    if (reply.contains(QStringLiteral("tpcode")))
        (void)LoginPanelController::hintForError(
            AccountError::fromTpcode(int(reply.value(QStringLiteral("tpcode")).toVariant().toLongLong())));
    (void)reply.value(QStringLiteral("pci")).toString();
    (void)reply.value(QStringLiteral("ecode")).toVariant().toLongLong();
    (void)reply.value(QStringLiteral("values")).toObject().value(QStringLiteral("option_avatar")).toString();
    return 0;
}
