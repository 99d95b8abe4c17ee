#include "kithost/KTHIcon.h"

#include "kithost/KTHIdentifiers.h"
#include "platform/BundleInfo.h"
#include "platform/Resources.h"

#include <QFile>
#include <QMutex>

std::optional<KTHIcon> KTHIcon::fromPNG(const QByteArray& png)
{
    // Signature (8), IHDR length (4), "IHDR" (4), width (4), height (4).
    static const QByteArray signature("\x89PNG\r\n\x1a\n", 8);
    if (png.size() < 24 || !png.startsWith(signature) || png.mid(12, 4) != "IHDR")
        return std::nullopt;
    auto be32 = [&](int at) {
        return (quint32(quint8(png[at])) << 24) | (quint32(quint8(png[at + 1])) << 16)
               | (quint32(quint8(png[at + 2])) << 8) | quint32(quint8(png[at + 3]));
    };
    KTHIcon icon;
    icon.data = png;
    icon.dataHash = KTHSHA1HexStringFromData(png);
    icon.width = be32(16);
    icon.height = be32(20);
    return icon;
}

namespace KTHAppIconUtility {

std::optional<KTHIcon> applicationIcon()
{
    static QMutex mutex;
    static std::optional<KTHIcon> kept;
    QMutexLocker lock(&mutex);
    if (kept)
        return kept;
    const QString name = BundleInfo::objectForInfoDictionaryKey(QStringLiteral("CFBundleIconFile")).toString();
    if (name.isEmpty())
        return std::nullopt;
    QFile f(Resources::path(name));
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    kept = KTHIcon::fromPNG(f.read(16 * 1024 * 1024));
    return kept;
}

}  // namespace KTHAppIconUtility
