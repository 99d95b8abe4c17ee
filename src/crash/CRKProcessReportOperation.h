#pragma once

#include "crash/CRKStackFrame.h"

#include <QString>
#include <QVector>
#include <memory>

class CRKInternalReport;
class CRKSymbolResolver;

using CRKThreadArray = QVector<QVector<CRKStackFrame>>;

// Symbolicates the crash files of one report folder: for each of
// "exception", "mach_exception" and "signal" .crkrecord it names the frames
// of every thread and writes "<file>.symbolicated" beside it:
// {"threads":[[{"symbol":…,"offset":…,"library":…},…],…]}. Runs
// synchronously on the caller's thread.
class CRKProcessReportOperation {
public:
    CRKProcessReportOperation(std::shared_ptr<CRKInternalReport> report, std::shared_ptr<CRKSymbolResolver> resolver);
    void main();

    // The first line's "threads" as frames; nullopt-like empty + false when
    // the file has none.
    static bool threadArrayFromFile(const QString& path, CRKThreadArray* out);
    static bool symbolicateFile(const QString& path, CRKSymbolResolver& resolver);
    static void symbolicate(CRKThreadArray& threads, CRKSymbolResolver& resolver);
    static void demangle(CRKThreadArray& threads);
    static QByteArray serialize(const CRKThreadArray& threads);
    static bool writeSymbolicated(const CRKThreadArray& threads, const QString& outputPath);

private:
    std::shared_ptr<CRKInternalReport> report_;
    std::shared_ptr<CRKSymbolResolver> resolver_;
};
