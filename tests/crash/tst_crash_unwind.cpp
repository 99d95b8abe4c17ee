// DWARF call-frame rules against readelf, the independent oracle.
#include "crash/core/CRKBinaryImage.h"
#include "crash/core/CRKCompactUnwind.h"
#include "crash/core/CRKMachOImage.h"
#include "crash/core/CRKUnwind.h"
#include "crash/core/CRKContext.h"
#include "crash/core/CRKDwarf.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <link.h>
#include <ucontext.h>
#include <vector>

#include "crash/core/CRKThreadState.h"

// A function whose first instruction faults, right after one whose last row
// of rules is nothing like it: looked up one byte back, the interrupted
// frame would take its neighbour's rules.
asm(R"(
    .text
    .type crk_test_neighbour, @function
crk_test_neighbour:
    .cfi_startproc
    sub $64, %rsp
    .cfi_adjust_cfa_offset 64
    nop
    .cfi_endproc
    .size crk_test_neighbour, .-crk_test_neighbour
    .globl crk_test_fault_at_entry
    .type crk_test_fault_at_entry, @function
crk_test_fault_at_entry:
    .cfi_startproc
    ud2
    ret
    .cfi_endproc
    .size crk_test_fault_at_entry, .-crk_test_fault_at_entry
)");
extern "C" void crk_test_fault_at_entry();

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

struct MachOFile {
    QFile file;
    const uint8_t* bytes = nullptr;
    CRKMachOSlice slice;
    CRKMachOSectionInfo text, unwind, ehFrame;
    bool hasEhFrame = false;

    bool open(const QString& path, int32_t cputype)
    {
        file.setFileName(path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        bytes = file.map(0, file.size());
        bool found = false;
        CRKMachOEnumerateSlices(bytes, size_t(file.size()), [&](const CRKMachOSlice& s) {
            CRKMachOSlice walked = s;
            CRKMachOSliceEnumerateLoadCommands(&walked, [](const CRKMachOLoadCommand&) {});
            if (walked.cputype == cputype && !found) {
                slice = walked;
                found = true;
            }
        });
        if (!found || !CRKBinaryImageSectionInfo(slice, "__TEXT", "__text", &text)
            || !CRKBinaryImageSectionInfo(slice, "__TEXT", "__unwind_info", &unwind))
            return false;
        hasEhFrame = CRKBinaryImageSectionInfo(slice, "__TEXT", "__eh_frame", &ehFrame);
        return true;
    }
    const uint8_t* at(uint32_t fileOffset) const { return slice.header + fileOffset; }
};

constexpr int32_t kX86_64 = 0x01000007;
constexpr int32_t kArm64 = 0x0100000c;
constexpr uint64_t kLoadAddress = 0x100000000;

// (function offset, encoding) of every second-level entry llvm-objdump lists.
QList<QPair<quint64, quint32>> objdumpEntries(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    static const QRegularExpression entry(R"(\[\d+\]: function offset=0x([0-9a-f]+), encoding\[\d+\]=0x([0-9a-f]+))");
    QList<QPair<quint64, quint32>> entries;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QRegularExpressionMatch m = entry.match(QString::fromLatin1(line));
        if (m.hasMatch())
            entries.append({m.captured(1).toULongLong(nullptr, 16), m.captured(2).toUInt(nullptr, 16)});
    }
    return entries;
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

    void compactLookups_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("cputype");
        QTest::addColumn<QString>("oracle");
        const QString dir = UNWIND_FIXTURES;
        QTest::newRow("x86_64") << dir + "/unwind-x86_64" << kX86_64 << dir + "/unwind-x86_64.unwind";
        QTest::newRow("arm64") << dir + "/unwind-arm64" << kArm64 << dir + "/unwind-arm64.unwind";
        QTest::newRow("fat x86_64") << dir + "/unwind-fat" << kX86_64 << dir + "/unwind-x86_64.unwind";
        QTest::newRow("fat arm64") << dir + "/unwind-fat" << kArm64 << dir + "/unwind-arm64.unwind";
        QTest::newRow("dwarf entries") << dir + "/unwind-dwarf" << kX86_64 << dir + "/unwind-dwarf.unwind";
    }

    // Catches: a first- or second-level lookup that picks the neighbouring
    // entry, a wrong common/page encoding index, a wrong function range.
    void compactLookups()
    {
        QFETCH(QString, file);
        QFETCH(int, cputype);
        QFETCH(QString, oracle);
        MachOFile macho;
        QVERIFY(macho.open(file, cputype));
        const auto entries = objdumpEntries(oracle);
        QVERIFY(entries.size() >= 3);
        CRKCompactUnwindContext context;
        QVERIFY(CRKCompactUnwindInit(&context, macho.at(macho.unwind.fileOffset), macho.unwind.size,
                                     macho.hasEhFrame ? macho.at(macho.ehFrame.fileOffset) : nullptr,
                                     macho.ehFrame.size, kLoadAddress));
        const quint64 textEnd = macho.text.address + macho.text.size;
        // lld-14 puts the closing first-level entry at the last function's
        // start instead of the end of the text: that function lies outside
        // the index for every reader of the format, llvm-objdump lists it.
        static const QRegularExpression sentinelLine(R"(function offset=0x([0-9a-f]+), 2nd level page offset=0x00000000)");
        QFile oracleFile(oracle);
        oracleFile.open(QIODevice::ReadOnly);
        const quint64 sentinel =
            kLoadAddress + sentinelLine.match(QString::fromLatin1(oracleFile.readAll())).captured(1).toULongLong(nullptr, 16);
        for (int i = 0; i < entries.size(); ++i) {
            const quint64 start = kLoadAddress + entries[i].first;
            const quint64 end = i + 1 < entries.size() ? kLoadAddress + entries[i + 1].first : qMin(textEnd, sentinel);
            if (start >= sentinel) {
                CRKCompactUnwindResult outside{};
                QVERIFY(!CRKCompactUnwindLookup(&context, start, &outside));
                continue;
            }
            for (quint64 pc : {start, end - 1}) {
                CRKCompactUnwindResult result{};
                QVERIFY2(CRKCompactUnwindLookup(&context, pc, &result), qPrintable(QString::number(pc, 16)));
                QCOMPARE(result.encoding, entries[i].second);
                QCOMPARE(result.functionStart, start);
            }
        }
        CRKCompactUnwindResult none{};
        QVERIFY(!CRKCompactUnwindLookup(&context, textEnd, &none));
        // Each DWARF-mode entry names the FDE of its own function.
        int dwarf = 0;
        for (const auto& [offset, encoding] : entries) {
            if (cputype != kX86_64 || (encoding & kCRKCompactModeMask) != kCRKCompactX86Dwarf)
                continue;
            ++dwarf;
            const uint8_t* eh = macho.at(macho.ehFrame.fileOffset);
            const CRKDwarfBounds bounds{quintptr(eh), quintptr(eh) + macho.ehFrame.size};
            // The FDE's pc-relative addresses resolve against where the bytes lie.
            const quintptr mappedPc = quintptr(eh) + (kLoadAddress + offset - macho.ehFrame.address);
            CRKDwarfRules rules;
            uintptr_t fdeStart = 0;
            QVERIFY(CRKDwarfRulesForFDE(eh + (encoding & 0xffffff), bounds, mappedPc, &rules, &fdeStart, nullptr));
            QCOMPARE(fdeStart, mappedPc);
        }
        if (oracle.endsWith("dwarf.unwind"))
            QVERIFY(dwarf >= 2);
    }

    // Catches: reads outside damaged unwind tables (run under the address
    // sanitizer to see them): real tables with bytes flipped at random.
    void damagedTables()
    {
        MachOFile macho;
        QVERIFY(macho.open(QString(UNWIND_FIXTURES) + "/unwind-dwarf", kX86_64));
        QByteArray unwind(reinterpret_cast<const char*>(macho.at(macho.unwind.fileOffset)), int(macho.unwind.size));
        QByteArray eh(reinterpret_cast<const char*>(macho.at(macho.ehFrame.fileOffset)), int(macho.ehFrame.size));
        const QByteArray unwindClean = unwind, ehClean = eh;
        quint32 seed = 12345;
        auto next = [&] { return seed = seed * 1103515245u + 12345u; };
        for (int round = 0; round < 3000; ++round) {
            unwind = unwindClean;
            eh = ehClean;
            for (int flips = 1 + int(next() % 4); flips > 0; --flips) {
                QByteArray& target = next() % 2 ? unwind : eh;
                target[int(next() % quint32(target.size()))] = char(next() >> 16);
            }
            // Copies of exactly the section's size, so any overread is outside.
            std::vector<uint8_t> u(unwind.begin(), unwind.end()), e(eh.begin(), eh.end());
            CRKCompactUnwindContext context;
            if (!CRKCompactUnwindInit(&context, u.data(), u.size(), e.data(), e.size(), kLoadAddress))
                continue;
            for (quint64 pc = kLoadAddress + 0x320; pc < kLoadAddress + 0x3a0; pc += 3) {
                CRKCompactUnwindResult result{};
                if (!CRKCompactUnwindLookup(&context, pc, &result))
                    continue;
                quint64 stack[64] = {};
                CRKThreadContext t{};
                t.rsp = t.rbp = quintptr(&stack[8]);
                t.rip = quintptr(e.data()) + (pc - macho.ehFrame.address);
                CRKCompactUnwindComputeRegisters(&context, result, kX86_64, &t);
            }
        }
    }

    // Catches: a frame-pointer chain that points back at itself giving 512
    // copies of one frame; a null PC ending the walk with nothing written.
    void walkEndings()
    {
        const quint64 code = quintptr(&CRKUnwindNextFrame) + 1;  // inside a loaded image
        quint64 stack[8] = {};
        stack[2] = quintptr(&stack[2]);  // saved FP = itself
        stack[3] = code;
        CRKThreadContext t{};
        t.rip = 0x1000;  // in no image: DWARF cannot help
        t.rsp = quintptr(&stack[0]);
        t.rbp = quintptr(&stack[2]);
        CRKUnwindCursor cursor;
        QVERIFY(CRKUnwindInit(&cursor, &t));
        int frames = 0;
        quint64 lastSp = 0;
        while (CRKUnwindNextFrame(&cursor) && frames < 600) {
            if (frames++ > 0)
                QVERIFY(CRKUnwindGetSP(&cursor) > lastSp);
            lastSp = CRKUnwindGetSP(&cursor);
        }
        QVERIFY2(frames < 512, qPrintable(QString::number(frames)));

        quint64 callStack[4] = {code, 0, 0, 0};
        t = {};
        t.rip = 0;
        t.rsp = quintptr(&callStack[0]);
        QVERIFY(CRKUnwindInit(&cursor, &t));
        QVERIFY(CRKUnwindNextFrame(&cursor));
        QCOMPARE(CRKUnwindGetPC(&cursor), 0u);
        QVERIFY(CRKUnwindNextFrame(&cursor));
        QCOMPARE(CRKUnwindGetPC(&cursor), code);
    }

    // Catches: frameless and frame steps that read the return address or
    // the saved registers from the wrong slots, and arm64's mode 4 being
    // taken for DWARF.
    void compactRegisterModes()
    {
        CRKCompactUnwindContext context{};
        quint64 stack[16] = {};
        const quintptr sp = quintptr(stack);
        // Frameless, 48 bytes, rbx then r12 saved below the return address.
        stack[3] = 0x1111;
        stack[4] = 0x2222;
        stack[5] = 0x7000abcd;
        CRKThreadContext t{};
        t.rsp = sp;
        CRKCompactUnwindResult r{0x02000000 | (6u << 16) | (2u << 10) | 0, 0, 0};
        QVERIFY(CRKCompactUnwindComputeRegisters(&context, r, kX86_64, &t));
        QCOMPARE(t.rip, 0x7000abcdu);
        QCOMPARE(t.rsp, sp + 48);
        QCOMPARE(t.rbx, 0x1111u);
        QCOMPARE(t.r12, 0x2222u);
        // Indirect: the stack size is the immediate of the function's
        // "sub $64, %rsp" at offset 3, plus 8.
        const uint8_t function[8] = {0x55, 0x48, 0x81, 0x40, 0, 0, 0, 0xec};
        stack[8] = 0x7000beef;
        t = {};
        t.rsp = sp;
        r = {0x03032000, quint64(quintptr(function)), 0};
        QVERIFY(CRKCompactUnwindComputeRegisters(&context, r, kX86_64, &t));
        QCOMPARE(t.rip, 0x7000beefu);
        QCOMPARE(t.rsp, sp + 72);
        // Frame: rbp chain, r14 saved one slot below the frame pointer.
        quint64 frame[4] = {0x5555, 0xaaaa, 0, 0};
        t = {};
        t.rsp = sp;
        t.rbp = quintptr(&frame[1]);
        frame[1] = quintptr(&frame[3]);
        frame[2] = 0x7000f00d;
        r = {0x01000000 | (1u << 16) | 4u, 0, 0};
        QVERIFY(CRKCompactUnwindComputeRegisters(&context, r, kX86_64, &t));
        QCOMPARE(t.rip, 0x7000f00du);
        QCOMPARE(t.r14, 0x5555u);
        QCOMPARE(t.rbp, quintptr(&frame[3]));
        // arm64 encodings are not decoded.
        QVERIFY(!CRKCompactUnwindComputeRegisters(&context, {0x04000000, 0, 0}, kArm64, &t));
        // Six saved registers: permutation 0 is rbx, r12, r13, r14, r15, rbp.
        int regs[6];
        QVERIFY(CRKCompactUnwindDecodePermutation(6, 0, regs));
        QCOMPARE(QList<int>(regs, regs + 6), (QList<int>{1, 2, 3, 4, 5, 6}));
        QVERIFY(CRKCompactUnwindDecodePermutation(3, 20 * 5 + 4 * 1 + 0, regs));
        QCOMPARE(QList<int>(regs, regs + 3), (QList<int>{6, 2, 1}));
    }

    // Catches: a val_offset rule that drops its offset (the register is
    // the CFA plus the offset, nothing read).
    void valOffsetRule()
    {
        quint64 stack[4] = {0, 0x1234, 0, 0};
        CRKDwarfRules rules{};
        rules.cfaRegister = 7;
        rules.cfaOffset = 16;
        rules.registers[3] = {kCRKDwarfValOffset, -24};
        rules.registers[16] = {kCRKDwarfOffset, -8};
        CRKThreadContext t{};
        t.rsp = quintptr(&stack[0]);
        bool undefined = false;
        QVERIFY(CRKDwarfApplyRules(rules, CRKDwarfBounds{0, 0}, &t, &undefined));
        QCOMPARE(t.rsp, quintptr(&stack[2]));
        QCOMPARE(t.rip, 0x1234u);
        QCOMPARE(t.rbx, quintptr(&stack[2]) - 24);
    }

    // Catches: the frame a signal interrupted looked up one byte back, as
    // if its PC were a return address: at a function's first instruction
    // that is the neighbour's rules, and the walk loses the caller.
    void frameAboveSignalTrampoline()
    {
        static std::vector<quint64> walked;
        static quint64 interrupted = 0, returnAddress = 0;
        struct sigaction action{}, previous{};
        action.sa_flags = SA_SIGINFO;
        action.sa_sigaction = [](int, siginfo_t*, void* raw) {
            auto* uc = static_cast<ucontext_t*>(raw);
            interrupted = quint64(uc->uc_mcontext.gregs[REG_RIP]);
            returnAddress = *reinterpret_cast<quint64*>(uc->uc_mcontext.gregs[REG_RSP]);
            ucontext_t here;
            getcontext(&here);
            CRKThreadContext t;
            CRKThreadContextFromUContext(&here, &t);
            CRKUnwindCursor cursor;
            CRKUnwindInit(&cursor, &t);
            while (walked.size() < 16 && CRKUnwindNextFrame(&cursor))
                walked.push_back(CRKUnwindGetPC(&cursor));
            uc->uc_mcontext.gregs[REG_RIP] += 2;  // past the ud2
        };
        sigaction(SIGILL, &action, &previous);
        crk_test_fault_at_entry();
        sigaction(SIGILL, &previous, nullptr);
        QCOMPARE(interrupted, quint64(quintptr(&crk_test_fault_at_entry)));
        const auto at = std::find(walked.begin(), walked.end(), interrupted);
        QVERIFY(at != walked.end() && at + 1 != walked.end());
        QCOMPARE(*(at + 1), returnAddress);
    }

    // Catches: an offset whose factor times the data alignment does not fit
    // in 64 bits (signed overflow; found by fuzzing) taken as a rule.
    void scaledOffsetBeyond64Bits()
    {
        // CIE: version 1, "zR", code alignment 1, data alignment -8, return
        // address 16, 8-byte absolute FDE addresses; CFA = rsp + 8, rip at CFA - 8.
        const std::vector<uint8_t> cie = {0x14, 0, 0, 0, 0, 0, 0, 0, 1, 'z', 'R', 0, 1, 0x78, 16, 1, 0x00,
                                          0x0c, 7, 8, 0x90, 1, 0, 0};
        // FDE for [0x1000, 0x1100): DW_CFA_offset rbx, factor as ULEB128.
        auto table = [&](std::vector<uint8_t> factor) {
            std::vector<uint8_t> fde = {uint8_t(cie.size() + 4), 0, 0, 0, 0x00, 0x10, 0, 0, 0, 0, 0, 0,
                                        0x00, 0x01, 0, 0, 0, 0, 0, 0, 0, 0x83};
            fde.insert(fde.end(), factor.begin(), factor.end());
            while (fde.size() % 4)
                fde.push_back(0);
            std::vector<uint8_t> out = cie;
            out.insert(out.end(), {uint8_t(fde.size()), 0, 0, 0});
            out.insert(out.end(), fde.begin(), fde.end());
            return out;
        };
        CRKDwarfRules rules;
        std::vector<uint8_t> t = table({2});
        CRKDwarfBounds bounds{quintptr(t.data()), quintptr(t.data() + t.size())};
        QVERIFY(CRKDwarfRulesForFDE(t.data() + cie.size(), bounds, 0x1000, &rules, nullptr, nullptr));
        QCOMPARE(rules.registers[3].kind, uint32_t(kCRKDwarfOffset));
        QCOMPARE(rules.registers[3].value, int64_t(-16));
        t = table({0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x40});  // 2^62
        bounds = {quintptr(t.data()), quintptr(t.data() + t.size())};
        QVERIFY(!CRKDwarfRulesForFDE(t.data() + cie.size(), bounds, 0x1000, &rules, nullptr, nullptr));
    }
};

QTEST_GUILESS_MAIN(TestCrashUnwind)
#include "tst_crash_unwind.moc"
