#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

// What every fuzz target shares: the input as the readers receive it, and a
// private folder for readers that only take files.
namespace fuzz {

// Answers reach the readers as text decoded from UTF-8, bad sequences
// replaced, exactly as the controllers decode them.
inline QString text(const std::uint8_t* data, std::size_t size) {
    return QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
}

inline QByteArray bytes(const std::uint8_t* data, std::size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// Drops Qt's warnings about malformed input (thousands per second would
// drown the fuzzer's own output); fatal messages still print and abort.
void quietQt();

// A folder of this process alone, removed at a normal exit. Prefers
// /dev/shm, so rewriting a file for every input costs no disk I/O.
QString scratchFolder();

// Replaces `name` in the scratch folder with the given bytes; returns its path.
QString writeScratchFile(const QString& name, const char* data, std::size_t size);

}  // namespace fuzz
