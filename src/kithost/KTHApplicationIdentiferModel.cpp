#include "kithost/KTHApplicationIdentiferModel.h"

#include "kithost/KTHApplicationInfo.h"
#include "kithost/KTHIdentifiers.h"
#include "kithost/binary/ElfNote.h"
#include "kithost/binary/MappedFile.h"

#include <QFile>

QString CRKMachOVersionString(const std::optional<CRKMachOVersion>& v)
{
    if (!v)
        return QString();
    return QStringLiteral("%1.%2.%3").arg(v->major).arg(v->minor).arg(v->bugfix);
}

QString KTHApplicationIdentiferModel::builtSDKString() const { return CRKMachOVersionString(builtSDK_); }
QString KTHApplicationIdentiferModel::minimumSDKString() const { return CRKMachOVersionString(minimumSDK_); }

std::unique_ptr<KTHApplicationIdentiferModel> KTHApplicationIdentiferModel::create(const QString& installID)
{
    return createForExecutable(installID, QStringLiteral("/proc/self/exe"));
}

QString KTHApplicationIdentiferModel::instanceIdentifierForMap(const QMap<QString, QString>& map)
{
    QString joined;
    for (auto it = map.begin(); it != map.end(); ++it)   // keys in ascending order
        joined += it.value();
    return KTHSHA1HexStringFromData(joined.toUtf8());
}

std::unique_ptr<KTHApplicationIdentiferModel> KTHApplicationIdentiferModel::createForExecutable(
    const QString& installID, const QString& executablePath)
{
    CRKMappedFile file;
    if (!CRKMappedFileOpen(&file, QFile::encodeName(executablePath).constData()))
        return nullptr;
    std::unique_ptr<KTHApplicationIdentiferModel> model(new KTHApplicationIdentiferModel);

    CRKElfImageInfo elf;
    if (CRKElfReadImageInfo(file.bytes, size_t(file.length), &elf)) {
        if (elf.buildId && elf.buildIdLength > 0) {
            const size_t n = std::min<size_t>(elf.buildIdLength, 16);
            model->map_.insert(QString::fromLatin1(elf.architecture),
                               KTHHexStringFromData(QByteArray(reinterpret_cast<const char*>(elf.buildId), int(n))));
        }
    } else {
        CRKMachOEnumerateSlices(file.bytes, size_t(file.length), [&](const CRKMachOSlice& s) {
            CRKMachOSlice slice = s;
            const QString arch = QString::fromLatin1(CRKMachOSliceArchitectureName(slice));
            CRKMachOSliceEnumerateLoadCommands(&slice, [&](const CRKMachOLoadCommand& c) {
                if (const uint8_t* uuid = CRKMachOUUIDCommandBytes(c))
                    model->map_.insert(arch, KTHHexStringFromUUIDBytes(uuid));
                if (c.type == kCRKMachOLoadCommandVersionMinMacOSX
                    || c.type == kCRKMachOLoadCommandVersionMinIPhoneOS) {
                    CRKMachOVersion min, sdk;
                    if (CRKMachOVersionMinCommandMinimum(c, &min) && CRKMachOVersionMinCommandSDK(c, &sdk)) {
                        model->minimumSDK_ = min;
                        model->builtSDK_ = sdk;
                    }
                }
            });
        });
    }
    CRKMappedFileClose(&file);

    model->instanceIdentifier_ = instanceIdentifierForMap(model->map_);
    model->icon_ = KTHAppIconUtility::applicationIcon();
    model->installID_ = installID;
    model->bundleIdentifier_ = KTHApplicationBundleIdentifier();
    return model;
}
