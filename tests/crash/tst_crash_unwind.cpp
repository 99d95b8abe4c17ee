// DWARF call-frame rules against readelf, the independent oracle.
#include "crash/core/CRKBinaryImage.h"
#include "crash/core/CRKContext.h"
#include "crash/core/CRKDwarf.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <link.h>

namespace {

struct Loaded {
    QString path;
    quintptr bias = 0;
};

int findImage(dl_phdr_info* info, size_t, void* data)
{
    Loaded* wanted = static_cast<Loaded*>(data);
    const QString name = QString::fromLocal8Bit(info->dlpi_name);
    if ((wanted->path.isEmpty() && name.isEmpty()) || (!wanted->path.isEmpty() && name.endsWith(wanted->path))) {
        wanted->bias = info->dlpi_addr;
        if (!name.isEmpty())
            wanted->path = name;
        return 1;
    }
    return 0;
}

const char* const kRegisterNames[] = {"rax", "rdx", "rcx", "rbx", "rsi", "rdi", "rbp", "rsp", "r8",
                                      "r9",  "r10", "r11", "r12", "r13", "r14", "r15", "ra"};

// Our rule in readelf's notation.
QString describe(const CRKDwarfRule& rule)
{
    switch (rule.kind) {
    case kCRKDwarfSameValue: return "u";
    case kCRKDwarfUndefined: return "u";
    case kCRKDwarfOffset: return rule.value < 0 ? QString("c%1").arg(rule.value) : QString("c+%1").arg(rule.value);
    case kCRKDwarfValOffset: return QString("v%1%2").arg(rule.value < 0 ? "" : "+").arg(rule.value);
    case kCRKDwarfRegister: return kRegisterNames[rule.value < 17 ? rule.value : 0];
    case kCRKDwarfExpression: return "exp";
    case kCRKDwarfValExpression: return "vexp";
    }
    return "?";
}

QString describeCfa(const CRKDwarfRules& rules)
{
    if (rules.cfaRegister == 17)
        return "exp";
    return QString("%1%2%3")
        .arg(kRegisterNames[rules.cfaRegister < 17 ? rules.cfaRegister : 0])
        .arg(rules.cfaOffset < 0 ? "" : "+")
        .arg(rules.cfaOffset);
}

}  // namespace

class TestCrashUnwind : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void initTestCase()
    {
        CRKContextParameters p;
        const QByteArray folder = dir_.path().toUtf8();
        p.reportPath = folder.constData();
        CRKContextInitialize(&p);
    }

    void rowsMatchReadelf_data()
    {
        QTest::addColumn<QString>("image");
        QTest::newRow("test binary") << QString();
        QTest::newRow("libc") << "libc.so.6";
        QTest::newRow("QtCore") << "libQt6Core.so.6";
    }

    // Catches: DWARF instructions we skip or misread (remember/restore
    // state, the _sf forms, restore, expressions): at every row start of
    // every FDE the CFA and the saved registers must read as readelf says.
    void rowsMatchReadelf()
    {
        QFETCH(QString, image);
        Loaded loaded{image};
        dl_iterate_phdr(findImage, &loaded);
        const QString file = image.isEmpty() ? QCoreApplication::applicationFilePath() : loaded.path;
        QProcess readelf;
        readelf.start("readelf", {"--debug-dump=frames-interp", file});
        QVERIFY(readelf.waitForFinished(60000));
        const QList<QByteArray> lines = readelf.readAllStandardOutput().split('\n');
        static const QRegularExpression fdeLine(R"(FDE cie=\S+ pc=([0-9a-f]+)\.\.([0-9a-f]+))");
        QStringList columns;
        bool inEhFrame = false, inFde = false;
        int rows = 0, mismatches = 0;
        for (const QByteArray& raw : lines) {
            const QString line = QString::fromLatin1(raw);
            if (line.startsWith("Contents of the "))
                inEhFrame = line.contains(".eh_frame section");
            if (!inEhFrame)
                continue;
            if (fdeLine.match(line).hasMatch()) {
                inFde = true;
                continue;
            }
            if (line.contains(" CIE") || line.trimmed().isEmpty()) {
                inFde = false;
                continue;
            }
            const QStringList parts = line.simplified().split(' ');
            if (inFde && parts.value(0) == "LOC") {
                columns = parts;
                continue;
            }
            if (!inFde || parts.size() != columns.size())
                continue;
            bool ok = false;
            const quintptr loc = parts[0].toULongLong(&ok, 16);
            if (!ok)
                continue;
            CRKBinaryImageNode node;
            QVERIFY(CRKBinaryImageSafeFindImageForAddress(loaded.bias + loc, &node));
            CRKDwarfRules rules;
            const bool found = CRKDwarfFindRules(node, loaded.bias + loc, &rules, nullptr, nullptr);
            ++rows;
            QStringList ours{parts[0], found ? describeCfa(rules) : "none"};
            for (int c = 2; c < columns.size(); ++c) {
                int reg = -1;
                for (int r = 0; r < 17; ++r)
                    reg = columns[c] == kRegisterNames[r] ? r : reg;
                ours << (reg >= 0 && found ? describe(rules.registers[reg]) : parts[c]);
            }
            if (ours != parts) {
                if (++mismatches <= 5)
                    qWarning() << "readelf" << parts << "ours" << ours;
            }
        }
        QVERIFY(rows > 20);
        QCOMPARE(mismatches, 0);
    }
};

QTEST_GUILESS_MAIN(TestCrashUnwind)
#include "tst_crash_unwind.moc"
