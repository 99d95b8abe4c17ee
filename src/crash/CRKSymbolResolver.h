#pragma once

#include "crash/CRKStackFrame.h"
#include "crash/core/CRKRecords.h"

#include <QHash>
#include <QString>
#include <QVector>
#include <memory>

// Names the addresses of a crash report from the symbol tables of the images
// loaded now. An image is the same as at crash time only when its build-id
// (the recorded "uuid") matches; an image not loaded now, or loaded in
// another version, leaves its frames with their bare address.
//
// The dynamic loader names nothing that is not exported, so names come from
// the image file's own .symtab (else .dynsym): the function symbol whose
// [value, value + size) holds the address.
class CRKSymbolResolver {
public:
    struct Image {
        QString uuid;
        quint64 base = 0;
        quint64 size = 0;
        QString path;
    };

    CRKSymbolResolver();
    ~CRKSymbolResolver();

    // The "load" lines of a binary_images.crkrecord file; false when the file
    // has none.
    bool loadBinaryImagesFromFile(const QString& path);
    const Image* loadedBinaryImageForPC(quint64 address) const;
    // The file of the image loaded now with that build-id; null when none.
    QString loadedPathForUUID(const QString& uuid) const;
    // Names the frame. `exact`: the address is the faulting instruction
    // itself (frame 0); otherwise a return address, looked up one byte back
    // so a call that ends its function is named after the caller.
    bool updateStackFrame(CRKStackFrame& frame, bool exact);
    // Whether the frame at `address` (looked up as `exact` says) is a signal
    // trampoline by its call-frame information: the frame above it was
    // interrupted, so its address is exact, not a return address.
    bool isSignalFrame(quint64 address, bool exact);

    // C++ and block names; null when the name is not mangled or does not
    // demangle.
    static QString demangleSymbol(const QByteArray& name);
    static QString demangleCppSymbol(const QByteArray& name);
    static QString demangleBlockInvokeCppSymbol(const QByteArray& name);

    struct SymbolTable;

private:
    const SymbolTable* tableForPath(const QString& path);

    QVector<Image> images_;
    QHash<QString, QString> loaded_;   // build-id → file
    QHash<QString, std::shared_ptr<SymbolTable>> tables_;
    QHash<QString, CRKBinaryImageNode> nodes_;   // build-id → the image loaded now
};
