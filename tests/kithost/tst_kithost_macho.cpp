#include <QCryptographicHash>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QtTest>

#include <link.h>

#include "kithost/binary/ElfNote.h"
#include "kithost/binary/HexString.h"
#include "kithost/binary/MachO.h"
#include "kithost/binary/MappedFile.h"

namespace {

QString versionText(const CRKMachOVersion& v)
{
    return QStringLiteral("%1.%2.%3").arg(v.major).arg(v.minor).arg(v.bugfix);
}

// What a file says about itself, either by our readers or by the oracle.
struct Description {
    QStringList archs;              // slice order
    QMap<QString, QString> uuids;   // arch -> 32 lower-case hex digits
    QString minimum, sdk;           // last LC_VERSION_MIN_MACOSX/IPHONEOS wins
    bool complete = true;           // every load-command walk ended cleanly
};

Description describe(const QByteArray& bytes)
{
    Description d;
    CRKMachOEnumerateSlices(bytes.constData(), size_t(bytes.size()), [&](const CRKMachOSlice& s) {
        CRKMachOSlice slice = s;
        d.archs << QString::fromLatin1(CRKMachOSliceArchitectureName(slice));
        const bool ok = CRKMachOSliceEnumerateLoadCommands(&slice, [&](const CRKMachOLoadCommand& c) {
            if (const uint8_t* uuid = CRKMachOUUIDCommandBytes(c)) {
                char hex[33];
                KTHHexStringFromBytes(uuid, 16, hex);
                d.uuids[d.archs.last()] = QString::fromLatin1(hex);
            }
            if (c.type == kCRKMachOLoadCommandVersionMinMacOSX
                || c.type == kCRKMachOLoadCommandVersionMinIPhoneOS) {
                CRKMachOVersion min, sdk;
                if (CRKMachOVersionMinCommandMinimum(c, &min) && CRKMachOVersionMinCommandSDK(c, &sdk)) {
                    d.minimum = versionText(min);
                    d.sdk = versionText(sdk);
                }
            }
        });
        d.complete = d.complete && ok;
    });
    return d;
}

QString fullVersion(QString v)
{
    while (v.count(QLatin1Char('.')) < 2)
        v += QStringLiteral(".0");
    return v;
}

Description oracle(const QString& path)
{
    Description d;
    QFile archs(path + QStringLiteral(".archs"));
    if (archs.open(QIODevice::ReadOnly))
        d.archs = QString::fromLatin1(archs.readAll()).simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QFile dump(path + QStringLiteral(".objdump"));
    if (!dump.open(QIODevice::ReadOnly))
        return d;
    const QStringList lines = QString::fromLatin1(dump.readAll()).split(QLatin1Char('\n'));
    static const QRegularExpression archLine(QStringLiteral("\\(architecture (\\S+)\\):$"));
    QString arch = d.archs.value(0);
    bool inVersionMin = false;
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        const auto m = archLine.match(line);
        if (m.hasMatch())
            arch = m.captured(1);
        else if (line.startsWith(QLatin1String("uuid ")))
            d.uuids[arch] = line.mid(5).remove(QLatin1Char('-')).toLower();
        else if (line.startsWith(QLatin1String("cmd ")))
            inVersionMin = line == QLatin1String("cmd LC_VERSION_MIN_MACOSX")
                           || line == QLatin1String("cmd LC_VERSION_MIN_IPHONEOS");
        else if (inVersionMin && line.startsWith(QLatin1String("version ")))
            d.minimum = fullVersion(line.mid(8).trimmed());
        else if (inVersionMin && line.startsWith(QLatin1String("sdk ")))
            d.sdk = fullVersion(line.mid(4).trimmed());
    }
    return d;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void put32(QByteArray& b, int at, uint32_t v)
{
    memcpy(b.data() + at, &v, 4);
}

// A thin 64-bit little-endian header with one LC_UUID, written from the
// format's description rather than by a linker.
QByteArray handMadeThin64()
{
    QByteArray b(32 + 24, '\0');
    put32(b, 0, 0xfeedfacf);
    put32(b, 4, 0x01000007);   // x86_64
    put32(b, 8, 3);
    put32(b, 12, 2);           // MH_EXECUTE
    put32(b, 16, 1);           // ncmds
    put32(b, 20, 24);          // sizeofcmds
    put32(b, 32, 0x1b);        // LC_UUID
    put32(b, 36, 24);
    for (int i = 0; i < 16; ++i)
        b[40 + i] = char(0xa0 + i);
    return b;
}

// Every 32-bit header word and every command's cmd/cmdsize, plus the two
// version words of LC_VERSION_MIN_*, byte-swapped: the same file as a
// big-endian tool would have written it.
QByteArray swapThin(QByteArray b)
{
    auto swapAt = [&](int at) {
        uint32_t v;
        memcpy(&v, b.constData() + at, 4);
        v = __builtin_bswap32(v);
        memcpy(b.data() + at, &v, 4);
    };
    uint32_t magic, ncmds;
    memcpy(&magic, b.constData(), 4);
    memcpy(&ncmds, b.constData() + 16, 4);
    const int headerSize = magic == 0xfeedfacf ? 32 : 28;
    for (int at = 0; at < headerSize; at += 4)
        swapAt(at);
    int at = headerSize;
    for (uint32_t i = 0; i < ncmds; ++i) {
        uint32_t cmd, size;
        memcpy(&cmd, b.constData() + at, 4);
        memcpy(&size, b.constData() + at + 4, 4);
        swapAt(at);
        swapAt(at + 4);
        if (cmd == 0x24 || cmd == 0x25) {
            swapAt(at + 8);
            swapAt(at + 12);
        }
        at += int(size);
    }
    return b;
}

int buildIdOfLoadedImage(dl_phdr_info* info, size_t, void* out)
{
    // The main program is the first object listed.
    auto* result = static_cast<QString*>(out);
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_NOTE)
            continue;
        const uint8_t* id = nullptr;
        size_t len = 0;
        if (CRKElfNotesFindGNUBuildId(reinterpret_cast<const void*>(info->dlpi_addr + ph.p_vaddr),
                                      ph.p_memsz, ph.p_align, false, &id, &len)) {
            *result = QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(id), int(len)).toHex());
            break;
        }
    }
    return 1;
}

}  // namespace

class TestKitHostMachO : public QObject {
    Q_OBJECT
private slots:
    void realFilesAgreeWithTheOracle_data();
    void realFilesAgreeWithTheOracle();
    void instanceIdentifierOfTheFatFile();
    void objectFileHasNoUUID();
    void swappedHeaderReadsInFileOrder();
    void handMadeHeaderAndLyingCounts();
    void damagedFilesNeverReadOutside();
    void elfBuildIdAndMachine();
    void hexTextAndVersions();
};

void TestKitHostMachO::realFilesAgreeWithTheOracle_data()
{
    QTest::addColumn<QString>("name");
    for (const char* n : {"x86_64", "arm64", "x86_64-old", "armv7", "armv7s", "armv7k", "arm64_32", "fat"})
        QTest::newRow(n) << QString::fromLatin1(n);
}

void TestKitHostMachO::realFilesAgreeWithTheOracle()
{
    QFETCH(QString, name);
    const QString path = QStringLiteral(MACHO_FIXTURES "/") + name;
    const QByteArray bytes = readFile(path);
    QVERIFY(!bytes.isEmpty());
    const Description ours = describe(bytes);
    const Description theirs = oracle(path);
    QVERIFY(!theirs.archs.isEmpty());
    QCOMPARE(ours.archs, theirs.archs);
    QCOMPARE(ours.uuids, theirs.uuids);
    QCOMPARE(ours.uuids.size(), theirs.archs.size());
    QCOMPARE(ours.minimum, theirs.minimum);
    QCOMPARE(ours.sdk, theirs.sdk);
    QVERIFY(ours.complete);
    if (name == QLatin1String("x86_64-old")) {
        QCOMPARE(ours.minimum, QStringLiteral("10.11.2"));
        QCOMPARE(ours.sdk, QStringLiteral("10.15.6"));
    }
}

void TestKitHostMachO::instanceIdentifierOfTheFatFile()
{
    // Keys sorted by plain comparison, UUID texts concatenated, SHA-1.
    const Description theirs = oracle(QStringLiteral(MACHO_FIXTURES "/fat"));
    QCOMPARE(theirs.uuids.size(), 6);
    QString joined;
    for (const QString& v : theirs.uuids)   // QMap iterates in key order
        joined += v;
    const Description ours = describe(readFile(QStringLiteral(MACHO_FIXTURES "/fat")));
    QString ourJoined;
    for (const QString& v : ours.uuids)
        ourJoined += v;
    QCOMPARE(QCryptographicHash::hash(ourJoined.toUtf8(), QCryptographicHash::Sha1).toHex(),
             QCryptographicHash::hash(joined.toUtf8(), QCryptographicHash::Sha1).toHex());
}

void TestKitHostMachO::objectFileHasNoUUID()
{
    const Description ours = describe(readFile(QStringLiteral(MACHO_FIXTURES "/x86_64.o")));
    QCOMPARE(ours.archs, QStringList{QStringLiteral("x86_64")});
    QVERIFY(ours.uuids.isEmpty());
    QVERIFY(oracle(QStringLiteral(MACHO_FIXTURES "/x86_64.o")).uuids.isEmpty());
    QVERIFY(ours.complete);
}

void TestKitHostMachO::swappedHeaderReadsInFileOrder()
{
    for (const char* n : {"x86_64-old", "armv7"}) {
        const QByteArray original = readFile(QStringLiteral(MACHO_FIXTURES "/") + QLatin1String(n));
        const Description plain = describe(original);
        const Description swapped = describe(swapThin(original));
        QCOMPARE(swapped.archs, plain.archs);
        QCOMPARE(swapped.uuids, plain.uuids);
        QCOMPARE(swapped.minimum, plain.minimum);
        QVERIFY(swapped.complete);
    }
}

void TestKitHostMachO::handMadeHeaderAndLyingCounts()
{
    const QByteArray good = handMadeThin64();
    Description d = describe(good);
    QCOMPARE(d.archs, QStringList{QStringLiteral("x86_64")});
    QCOMPARE(d.uuids.value(QStringLiteral("x86_64")), QStringLiteral("a0a1a2a3a4a5a6a7a8a9aaabacadaeaf"));

    QByteArray zeroSize = good;   // cmdsize 0 would step in place for ever
    put32(zeroSize, 36, 0);
    QVERIFY(!describe(zeroSize).complete);

    QByteArray manyCommands = good;
    put32(manyCommands, 16, 0xffffffff);
    d = describe(manyCommands);
    QVERIFY(!d.complete);
    QCOMPARE(d.uuids.size(), 1);

    QByteArray shortUUID = good;   // an LC_UUID of 16 bytes has no room for the UUID
    put32(shortUUID, 36, 16);
    put32(shortUUID, 20, 16);
    QVERIFY(describe(shortUUID).uuids.isEmpty());

    QByteArray fat(8 + 20, '\0');   // more entries than the file holds
    put32(fat, 0, 0xbebafeca);
    put32(fat, 4, 0xffffff7f);
    QCOMPARE(CRKMachOEnumerateSlices(fat.constData(), size_t(fat.size()), [](const CRKMachOSlice&) {}), 0);

    QByteArray fatOutside = fat;   // one entry pointing past the end
    put32(fatOutside, 4, __builtin_bswap32(1));
    put32(fatOutside, 16, __builtin_bswap32(0x1000));
    put32(fatOutside, 20, __builtin_bswap32(0x10));
    QCOMPARE(CRKMachOEnumerateSlices(fatOutside.constData(), size_t(fatOutside.size()),
                                     [](const CRKMachOSlice&) {}), 0);

    QCOMPARE(QString::fromLatin1(CRKMachOArchitectureName(0x01000007, int32_t(0x80000003))),
             QStringLiteral("x86_64"));
    QCOMPARE(QString::fromLatin1(CRKMachOArchitectureName(99, 1)), QStringLiteral("unknown"));
}

void TestKitHostMachO::damagedFilesNeverReadOutside()
{
    // Each copy is a heap block of exactly its length, so a sanitizer build
    // reports any read past the end; flipped bytes exercise every count.
    for (const char* n : {"fat", "x86_64", "armv7k", "arm64_32"}) {
        const QByteArray original = readFile(QStringLiteral(MACHO_FIXTURES "/") + QLatin1String(n));
        for (int len = 0; len < original.size(); len += (len < 4096 ? 1 : 509)) {
            std::unique_ptr<char[]> copy(new char[size_t(len)]);
            memcpy(copy.get(), original.constData(), size_t(len));
            describe(QByteArray::fromRawData(copy.get(), len));
        }
        QByteArray damaged = original;
        for (int at = 0; at < qMin(2048, int(original.size())); ++at) {
            for (char value : {'\0', '\xff', '\x80'}) {
                const char keep = damaged[at];
                damaged[at] = value;
                describe(damaged);
                damaged[at] = keep;
            }
        }
    }
    CRKMachOSlice nothing;
    QVERIFY(!CRKMachOSliceEnumerateLoadCommands(&nothing, [](const CRKMachOLoadCommand&) {}));
}

void TestKitHostMachO::elfBuildIdAndMachine()
{
    const QByteArray elf = readFile(QStringLiteral(ELF_FIXTURE));
    CRKElfImageInfo info;
    QVERIFY(CRKElfReadImageInfo(elf.constData(), size_t(elf.size()), &info));
    QCOMPARE(QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(info.buildId),
                                            int(info.buildIdLength)).toHex()),
             QStringLiteral(ELF_BUILD_ID));
#if defined(__x86_64__)
    QCOMPARE(QString::fromLatin1(info.architecture), QStringLiteral("x86_64"));
#elif defined(__aarch64__)
    QCOMPARE(QString::fromLatin1(info.architecture), QStringLiteral("arm64"));
#endif

    // Our own executable: the file's notes and the loaded segment agree.
    CRKMappedFile self;
    QVERIFY(CRKMappedFileOpenMainExecutable(&self));
    QVERIFY(CRKElfReadImageInfo(self.bytes, size_t(self.length), &info));
    QCOMPARE(int(info.buildIdLength), 16);
    const QString fromFile = QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(info.buildId), int(info.buildIdLength)).toHex());
    CRKMappedFileClose(&self);
    QCOMPARE(self.fd, -1);
    QString fromMemory;
    dl_iterate_phdr(buildIdOfLoadedImage, &fromMemory);
    QCOMPARE(fromFile, fromMemory);

    for (int len = 0; len < qMin(4096, int(elf.size())); ++len) {
        std::unique_ptr<char[]> copy(new char[size_t(len)]);
        memcpy(copy.get(), elf.constData(), size_t(len));
        CRKElfReadImageInfo(copy.get(), size_t(len), &info);
    }
    CRKMappedFile tiny;
    QVERIFY(!CRKMappedFileOpen(&tiny, "/dev/null"));
    QCOMPARE(tiny.fd, -1);
}

void TestKitHostMachO::hexTextAndVersions()
{
    char buffer[7] = "xxxxxx";
    KTHHexStringFromBytes(nullptr, 3, buffer);
    QCOMPARE(buffer[0], '\0');
    const uint8_t bytes[] = {0x00, 0xab, 0x0f};
    KTHHexStringFromBytes(bytes, 3, buffer);
    QCOMPARE(QByteArray(buffer), QByteArray("00ab0f"));
    KTHHexStringFromBytes(bytes, 3, nullptr);
    QCOMPARE(versionText(CRKMachOVersionFromPacked((10u << 16) | (11u << 8) | 2u)), QStringLiteral("10.11.2"));
}

QTEST_GUILESS_MAIN(TestKitHostMachO)
#include "tst_kithost_macho.moc"
