// The crash kit's beta check answer, parsed and read as CRKBetaController
// reads it.
#include "FuzzSupport.h"

#include "crash/CRKBetaController.h"

#include <QJsonDocument>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(fuzz::bytes(data, size), &error);
    if (error.error != QJsonParseError::NoError) return 0;
    KTHError why;
    if (const auto update = CRKBetaUpdate::betaUpdateWithDictionary(doc.toVariant(), &why)) {
        (void)update->url.toString();
        (void)update->version;
    }
    return 0;
}
