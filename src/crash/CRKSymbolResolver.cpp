#include "crash/CRKSymbolResolver.h"

#include "crash/CRKRecordReader.h"
#include "crash/core/CRKBinaryImage.h"
#include "crash/core/CRKDwarf.h"
#include "kithost/KTHLog.h"
#include "kithost/binary/ElfNote.h"
#include "kithost/binary/MappedFile.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstring>
#include <cxxabi.h>
#include <elf.h>
#include <link.h>

namespace {

QString hexId(const uint8_t* id, size_t length)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(id), int(std::min<size_t>(length, 16))).toHex());
}

int collectLoaded(dl_phdr_info* info, size_t, void* data)
{
    auto* out = static_cast<QHash<QString, QString>*>(data);
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_NOTE)
            continue;
        const uint8_t* id = nullptr;
        size_t length = 0;
        if (CRKElfNotesFindGNUBuildId(reinterpret_cast<const void*>(info->dlpi_addr + ph.p_vaddr), ph.p_memsz,
                                      ph.p_align, false, &id, &length)
            && id) {
            QString path = QFile::decodeName(info->dlpi_name ? info->dlpi_name : "");
            if (path.isEmpty())
                path = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
            if (!path.isEmpty() && !out->contains(hexId(id, length)))
                out->insert(hexId(id, length), path);
            break;
        }
    }
    return 0;
}

}  // namespace

// Function symbols of one ELF file, sorted by address, in the file's own
// virtual addresses; `firstLoad` is its lowest PT_LOAD address, which the
// recorded image base corresponds to.
struct CRKSymbolResolver::SymbolTable {
    struct Symbol {
        quint64 value;
        quint64 size;
        QByteArray name;
    };
    quint64 firstLoad = 0;
    QVector<Symbol> symbols;

    const Symbol* find(quint64 address) const
    {
        auto it = std::upper_bound(symbols.begin(), symbols.end(), address,
                                   [](quint64 a, const Symbol& s) { return a < s.value; });
        // Symbols may nest (aliases of one range): walk back to one that holds it.
        for (int steps = 0; it != symbols.begin() && steps < 8; ++steps) {
            --it;
            if (address >= it->value && address - it->value < it->size)
                return &*it;
        }
        return nullptr;
    }

    // Every offset and count is checked against the file's length: the file
    // on disk is not ours and may be anything.
    static std::shared_ptr<SymbolTable> read(const QString& path)
    {
        CRKMappedFile file;
        if (!CRKMappedFileOpen(&file, QFile::encodeName(path).constData()))
            return nullptr;
        auto table = std::make_shared<SymbolTable>();
        const uint8_t* bytes = file.bytes;
        const quint64 length = file.length;
        auto fits = [&](quint64 offset, quint64 size) { return offset <= length && size <= length - offset; };
        Elf64_Ehdr eh;
        if (length >= sizeof(eh)) {
            memcpy(&eh, bytes, sizeof(eh));
        }
        const bool ok = length >= sizeof(eh) && memcmp(eh.e_ident, ELFMAG, SELFMAG) == 0
                        && eh.e_ident[EI_CLASS] == ELFCLASS64 && eh.e_ident[EI_DATA] == ELFDATA2LSB;
        if (ok) {
            quint64 low = ~0ULL;
            for (quint64 i = 0; i < eh.e_phnum && eh.e_phentsize >= sizeof(Elf64_Phdr); ++i) {
                const quint64 at = eh.e_phoff + i * eh.e_phentsize;
                if (!fits(at, sizeof(Elf64_Phdr)))
                    break;
                Elf64_Phdr ph;
                memcpy(&ph, bytes + at, sizeof(ph));
                if (ph.p_type == PT_LOAD && ph.p_vaddr < low)
                    low = ph.p_vaddr;
            }
            table->firstLoad = low == ~0ULL ? 0 : low;
            auto sectionAt = [&](quint64 index, Elf64_Shdr* out) {
                if (index >= eh.e_shnum || eh.e_shentsize < sizeof(Elf64_Shdr))
                    return false;
                const quint64 at = eh.e_shoff + index * eh.e_shentsize;
                if (!fits(at, sizeof(Elf64_Shdr)))
                    return false;
                memcpy(out, bytes + at, sizeof(*out));
                return true;
            };
            for (const Elf64_Word wanted : {Elf64_Word(SHT_SYMTAB), Elf64_Word(SHT_DYNSYM)}) {
                for (quint64 i = 0; i < eh.e_shnum; ++i) {
                    Elf64_Shdr sh, strings;
                    if (!sectionAt(i, &sh) || sh.sh_type != wanted || !fits(sh.sh_offset, sh.sh_size)
                        || !sectionAt(sh.sh_link, &strings) || !fits(strings.sh_offset, strings.sh_size))
                        continue;
                    const quint64 count = sh.sh_size / sizeof(Elf64_Sym);
                    for (quint64 k = 0; k < count; ++k) {
                        Elf64_Sym sym;
                        memcpy(&sym, bytes + sh.sh_offset + k * sizeof(Elf64_Sym), sizeof(sym));
                        if (ELF64_ST_TYPE(sym.st_info) != STT_FUNC || sym.st_shndx == SHN_UNDEF || sym.st_size == 0
                            || sym.st_name >= strings.sh_size)
                            continue;
                        const char* name = reinterpret_cast<const char*>(bytes + strings.sh_offset + sym.st_name);
                        const size_t max = strings.sh_size - sym.st_name;
                        table->symbols.append({sym.st_value, sym.st_size, QByteArray(name, int(strnlen(name, max)))});
                    }
                }
                if (!table->symbols.isEmpty())
                    break;
            }
        }
        CRKMappedFileClose(&file);
        std::sort(table->symbols.begin(), table->symbols.end(),
                  [](const Symbol& a, const Symbol& b) { return a.value < b.value; });
        return table;
    }
};

CRKSymbolResolver::CRKSymbolResolver() { dl_iterate_phdr(collectLoaded, &loaded_); }
CRKSymbolResolver::~CRKSymbolResolver() = default;

bool CRKSymbolResolver::loadBinaryImagesFromFile(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QList<QJsonObject> lines = CRKFileReadSections(path);
    if (lines.isEmpty()) {
        KTHLog::write(QStringLiteral("[CrashKit:Crash:SymbolResolver] failed to read binary image file %1").arg(path));
        return false;
    }
    for (const QJsonObject& line : lines) {
        const QJsonObject load = line.value(QStringLiteral("load")).toObject();
        if (load.isEmpty() || !load.value(QStringLiteral("base")).isDouble()
            || !load.value(QStringLiteral("size")).isDouble())
            continue;
        images_.append({load.value(QStringLiteral("uuid")).toString(), CRKRecordUnsigned(load.value(QStringLiteral("base"))),
                        CRKRecordUnsigned(load.value(QStringLiteral("size"))), load.value(QStringLiteral("path")).toString()});
    }
    std::stable_sort(images_.begin(), images_.end(), [](const Image& a, const Image& b) { return a.base < b.base; });
    return true;
}

const CRKSymbolResolver::Image* CRKSymbolResolver::loadedBinaryImageForPC(quint64 address) const
{
    for (const Image& image : images_)
        if (image.base <= address && address - image.base < image.size)
            return &image;
    return nullptr;
}

QString CRKSymbolResolver::loadedPathForUUID(const QString& uuid) const
{
    return uuid.isEmpty() ? QString() : loaded_.value(uuid.toLower());
}

const CRKSymbolResolver::SymbolTable* CRKSymbolResolver::tableForPath(const QString& path)
{
    auto it = tables_.find(path);
    if (it == tables_.end())
        it = tables_.insert(path, SymbolTable::read(path));
    return it.value().get();
}

bool CRKSymbolResolver::updateStackFrame(CRKStackFrame& frame, bool exact)
{
    if (frame.address == 0)
        return false;
    const Image* image = loadedBinaryImageForPC(frame.address);
    if (!image)
        return false;
    const QString file = loadedPathForUUID(image->uuid);
    if (file.isEmpty())
        return false;
    const SymbolTable* table = tableForPath(file);
    if (!table)
        return false;
    const quint64 vaddr = table->firstLoad + (frame.address - image->base);
    const SymbolTable::Symbol* symbol = table->find(exact ? vaddr : vaddr - 1);
    frame.library = QFileInfo(image->path).fileName();
    if (!symbol)
        return true;
    frame.symbol = QString::fromUtf8(symbol->name);
    frame.offset = vaddr - symbol->value;
    return true;
}

bool CRKSymbolResolver::isSignalFrame(quint64 address, bool exact)
{
    const Image* image = loadedBinaryImageForPC(address);
    if (!image || image->uuid.isEmpty() || (!exact && address == image->base))
        return false;
    const QString uuid = image->uuid.toLower();
    auto it = nodes_.find(uuid);
    if (it == nodes_.end()) {
        CRKBinaryImageNode node{};
        if (!CRKBinaryImageFindImageForUUID(uuid.toLatin1().constData(), &node, nullptr, 0))
            node = CRKBinaryImageNode{};
        it = nodes_.insert(uuid, node);
    }
    if (it->base == 0)
        return false;
    CRKDwarfRules rules;
    const uintptr_t here = it->base + (address - image->base) - (exact ? 0 : 1);
    return CRKDwarfFindRules(*it, here, &rules, nullptr, nullptr) && rules.signalFrame;
}

QString CRKSymbolResolver::demangleSymbol(const QByteArray& name)
{
    if (name.isEmpty())
        return QString();
    if (name.startsWith("_Z"))
        return demangleCppSymbol(name);
    if (name.startsWith("__Z"))
        return demangleBlockInvokeCppSymbol(name);
    return QString();
}

QString CRKSymbolResolver::demangleCppSymbol(const QByteArray& name)
{
    int status = 0;
    char* out = abi::__cxa_demangle(name.constData(), nullptr, nullptr, &status);
    if (!out || status != 0) {
        free(out);
        return QString();
    }
    const QString text = QString::fromUtf8(out);
    free(out);
    return text;
}

QString CRKSymbolResolver::demangleBlockInvokeCppSymbol(const QByteArray& name)
{
    const int at = name.lastIndexOf("_block_invoke");
    if (at < 5)
        return QString();
    const QString inner = demangleSymbol(name.mid(1, at - 1));
    if (inner.isNull())
        return QString();
    return inner + QString::fromUtf8(name.mid(at));
}
