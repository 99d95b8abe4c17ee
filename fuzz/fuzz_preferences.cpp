// The preferences file (mirvok.conf), read back the way the application
// reads it: every stored key, through every typed reader. What was read must
// read back the same once written (lines kept unread included), and so must
// any text stored through UserDefaults, characters beyond the BMP and lone
// surrogates among them.
#include "FuzzSupport.h"

#include "platform/PlainIniFormat.h"
#include "platform/UserDefaults.h"
#include "platform/UserNotices.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>

#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::quietQt();
    // Serialised types are refused unread; should one slip through, an
    // image can be built only once the application object exists: as in mirvok.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    new QGuiApplication(*argc, *argv);
    // Nobody to tell about a damaged file here; told notices are dropped.
    usernotices::setPresenter([](const QString&) {});
    return 0;
}

namespace {

// The file's own round trip: read, written, read again gives the same keys
// written the same way.
void formatRoundTrip(const QByteArray& bytes) {
    QBuffer in;
    in.setData(bytes);
    in.open(QIODevice::ReadOnly);
    QSettings::SettingsMap first;
    if (!plainini::read(in, first)) return;
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    if (!plainini::write(out, first)) std::abort();
    QBuffer again;
    again.setData(out.data());
    again.open(QIODevice::ReadOnly);
    QSettings::SettingsMap second;
    if (!plainini::read(again, second) || second.keys() != first.keys()) std::abort();
    for (auto it = first.cbegin(); it != first.cend(); ++it)
        if (!plainini::sameOnDisk(it.value(), second.value(it.key()))) std::abort();
}

bool sameValue(const QVariant& given, const QVariant& back) {
    if (given.typeId() == QMetaType::QStringList) return back.toStringList() == given.toStringList();
    return back.typeId() == given.typeId() && back == given;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes = fuzz::bytes(data, size);
    formatRoundTrip(bytes);

    // A new name each time: QSettings serves a name it has open or has just
    // closed from memory when the file's size and time look unchanged.
    static int run = 0;
    const QString name = QStringLiteral("%1.conf").arg(++run);
    const QString path = fuzz::writeScratchFile(QStringLiteral("mirvok-") + name, bytes.constData(), size);
    QVariantMap values;
    {
        UserDefaults defaults(path);
        for (const QString& key : defaults.keys()) {
            values.insert(key, defaults.value(key));
            (void)defaults.boolValue(key);
            (void)defaults.integerValue(key);
            (void)defaults.doubleValue(key);
            (void)defaults.stringValue(key);
        }
        // A damaged input was moved aside and a notice queued: neither may pile up.
        if (!defaults.movedAside().isEmpty()) QFile::remove(defaults.movedAside());
    }
    QCoreApplication::sendPostedEvents();

    // The input as text of every kind, and what was read, stored by one
    // UserDefaults and read by the next, as by two starts.
    QString units(qsizetype(size / 2), Qt::Uninitialized);
    std::memcpy(units.data(), data, size / 2 * sizeof(QChar));
    // Every three bytes one code point, so characters beyond the BMP are
    // as common as any (random UTF-8 or UTF-16 seldom forms one).
    std::u32string points;
    for (std::size_t i = 0; i + 2 < size; i += 3)
        points += char32_t(((data[i] << 16) | (data[i + 1] << 8) | data[i + 2]) % 0x110000);
    values.insert(QStringLiteral("fuzz/points"), QString::fromUcs4(points.data(), qsizetype(points.size())));
    values.insert(QStringLiteral("fuzz/units"), units);
    values.insert(QStringLiteral("fuzz/utf8"), fuzz::text(data, size));
    values.insert(QStringLiteral("fuzz/list"), QStringList{units, fuzz::text(data, size), QString()});
    const QString stored = fuzz::scratchFolder() + QStringLiteral("/stored-") + name;
    {
        UserDefaults out(stored);
        for (auto it = values.cbegin(); it != values.cend(); ++it) out.setValue(it.key(), it.value());
    }
    // Read under another name: QSettings would serve the same name from what
    // this process holds in memory, not from the file.
    const QString copy = fuzz::scratchFolder() + QStringLiteral("/copy-") + name;
    if (!QFile::copy(stored, copy)) std::abort();
    {
        UserDefaults back(copy);
        if (!back.movedAside().isEmpty()) std::abort();  // what was written must read
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            if (it.value().isValid() && !sameValue(it.value(), back.value(it.key()))) std::abort();
    }
    QCoreApplication::sendPostedEvents();
    for (const QString& file : {path, stored, copy}) QFile::remove(file);
    return 0;
}
