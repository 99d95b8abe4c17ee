// The image table and its record lines; Mach-O details against llvm-objdump.
#include "crash/core/CRKBinaryImage.h"
#include "crash/core/CRKContext.h"
#include "crash/core/CRKMachOImage.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <dlfcn.h>

namespace {

QList<QJsonObject> imageLines(const QString& dir)
{
    QFile f(dir + "/binary_images.crkrecord");
    f.open(QIODevice::ReadOnly);
    QList<QJsonObject> lines;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (!line.isEmpty())
            lines << QJsonDocument::fromJson(line).object();
    return lines;
}

QJsonObject lineFor(const QList<QJsonObject>& lines, const QString& kind, const QString& pathEnd)
{
    for (const QJsonObject& o : lines)
        if (o.contains(kind) && o[kind].toObject()["path"].toString().endsWith(pathEnd))
            return o[kind].toObject();
    return {};
}

}  // namespace

class TestCrashImages : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void initTestCase()
    {
        CRKContextParameters p;
        const QByteArray folder = dir_.path().toUtf8();
        p.reportPath = folder.constData();
        CRKContextInitialize(&p);
        QVERIFY(CRKContextIsInitialized());
    }

    void loadAndUnload_data()
    {
        QTest::addColumn<QString>("library");
        QTest::addColumn<QString>("uuid");
        QTest::newRow("16-byte build-id") << IMAGE16 << "00112233445566778899aabbccddeeff";
        QTest::newRow("20-byte build-id") << IMAGE20 << "ffeeddccbbaa99887766554433221100";
    }

    // Catches: a library loaded or unloaded after start that the table or
    // the file never hear of; a lookup that matches base + size or an
    // unloaded image.
    void loadAndUnload()
    {
        QFETCH(QString, library);
        QFETCH(QString, uuid);
        const QString name = library.section('/', -1);
        void* handle = dlopen(library.toUtf8(), RTLD_NOW | RTLD_LOCAL);
        QVERIFY(handle);
        const uintptr_t probe = reinterpret_cast<uintptr_t>(dlsym(handle, "image_probe"));
        CRKBinaryImagePollNow();
        const QJsonObject load = lineFor(imageLines(dir_.path()), "load", name);
        QCOMPARE(load["uuid"].toString(), uuid);
        CRKBinaryImageNode node{};
        QVERIFY(CRKBinaryImageSafeFindImageForAddress(probe, &node));
        QCOMPARE(quint64(node.base), quint64(load["base"].toInteger()));
        QCOMPARE(quint64(node.size), quint64(load["size"].toInteger()));
        QVERIFY(node.ehFrameHeader > node.base);
        char found[4096];
        CRKBinaryImageNode byUuid{};
        QVERIFY(CRKBinaryImageFindImageForUUID(uuid.toLatin1(), &byUuid, found, sizeof(found)));
        QCOMPARE(byUuid.base, node.base);
        QVERIFY(QString(found).endsWith(name));
        CRKBinaryImageNode other{};
        QVERIFY(CRKBinaryImageSafeFindImageForAddress(node.base + node.size - 1, &other));
        QVERIFY(!CRKBinaryImageSafeFindImageForAddress(node.base + node.size, &other)
                || other.base != node.base);
        QCOMPARE(dlclose(handle), 0);
        CRKBinaryImagePollNow();
        const QJsonObject unload = lineFor(imageLines(dir_.path()), "unload", name);
        QCOMPARE(unload["uuid"].toString(), uuid);
        QCOMPARE(unload["base"], load["base"]);
        QVERIFY(!CRKBinaryImageSafeFindImageForAddress(probe, &other) || other.base != node.base);
    }

    void machODetails_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("macOS 10.11.2") << "x86_64-old";
        QTest::newRow("iOS 9") << "armv7";
        QTest::newRow("watchOS 2") << "armv7k";
        QTest::newRow("build version only") << "x86_64";
        QTest::newRow("arm64") << "arm64";
    }

    // Catches: versions read from the wrong command or field, a wrong
    // __TEXT size, unwind sections not found.
    void machODetails()
    {
        QFETCH(QString, file);
        const QString path = QString(MACHO_FIXTURES) + "/" + file;
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const uchar* bytes = f.map(0, f.size());
        QFile oracleFile(path + ".objdump");
        QVERIFY(oracleFile.open(QIODevice::ReadOnly));
        const QString oracle = QString::fromLatin1(oracleFile.readAll());

        CRKBinaryImageDetails details;
        CRKMachOEnumerateSlices(bytes, size_t(f.size()), [&](const CRKMachOSlice& s) { details.slice = s; });
        CRKBinaryImageFillDetails(&details);

        QString uuid = QRegularExpression(R"(uuid ([0-9A-F-]+))").match(oracle).captured(1);
        QCOMPARE(QString(details.uuid), uuid.remove('-').toLower());
        const QRegularExpressionMatch version =
            QRegularExpression(R"(LC_VERSION_MIN_\w+\n\s+cmdsize \d+\n\s+version (\S+)\n\s+sdk (\S+))").match(oracle);
        char minimum[36], built[36];
        CRKMachOVersionString(details.minimumSDK, minimum);
        CRKMachOVersionString(details.builtSDK, built);
        auto full = [](QString v) { return v.count('.') == 1 ? v + ".0" : v; };
        QCOMPARE(QString(minimum), version.hasMatch() ? full(version.captured(1)) : "0.0.0");
        QCOMPARE(QString(built), version.hasMatch() ? full(version.captured(2)) : "0.0.0");
        const QRegularExpressionMatch text =
            QRegularExpression(R"(segname __TEXT\n\s+vmaddr 0x[0-9a-f]+\n\s+vmsize 0x([0-9a-f]+))").match(oracle);
        QCOMPARE(details.size, text.captured(1).toULongLong(nullptr, 16));
        const QRegularExpressionMatch unwind =
            QRegularExpression(R"(sectname __unwind_info\n\s+segname __TEXT\n\s+addr 0x([0-9a-f]+))").match(oracle);
        QCOMPARE(details.unwindInfo, unwind.hasMatch() ? unwind.captured(1).toULongLong(nullptr, 16) : 0u);
        QCOMPARE(details.encrypted, false);
    }
};

QTEST_GUILESS_MAIN(TestCrashImages)
#include "tst_crash_images.moc"
