#pragma once

#include <QString>
#include <cstdint>

// One frame of a stack: a recorded return address and, once symbolicated,
// the symbol holding it, the distance from the symbol's start and the
// image's file name. A null symbol or library means "not known".
struct CRKStackFrame {
    QString symbol;
    QString library;
    QString fileName;
    uint32_t lineNumber = 0;
    uint64_t offset = 0;
    uint64_t address = 0;

    static CRKStackFrame stackFrame() { return {}; }
    static CRKStackFrame stackFrameWithAddress(uint64_t address)
    {
        CRKStackFrame f;
        f.address = address;
        return f;
    }
    static CRKStackFrame stackFrameWithSymbol(const QString& symbol)
    {
        CRKStackFrame f;
        f.symbol = symbol;
        return f;
    }

    QString description() const
    {
        const QString hex = QString::number(address, 16);
        if (!fileName.isNull())
            return QStringLiteral("{[0x%1] %2 - %3:%4}").arg(hex, fileName, symbol).arg(lineNumber);
        return QStringLiteral("{[0x%1 + %2] %3}").arg(hex).arg(lineNumber).arg(symbol);
    }
};
