#include "crash/CRKProcessReportOperation.h"

#include "crash/CRKInternalReport.h"
#include "crash/CRKRecordReader.h"
#include "crash/CRKSymbolResolver.h"
#include "platform/PrivateFiles.h"
#include "kithost/KTHLog.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

CRKProcessReportOperation::CRKProcessReportOperation(std::shared_ptr<CRKInternalReport> report,
                                                     std::shared_ptr<CRKSymbolResolver> resolver)
    : report_(std::move(report)), resolver_(std::move(resolver))
{
}

void CRKProcessReportOperation::main()
{
    if (!report_ || !resolver_ || !resolver_->loadBinaryImagesFromFile(report_->binaryImagePath()))
        return;
    report_->enumerateSymbolicatableFilesInContent(
        [this](const QString& path) { symbolicateFile(path, *resolver_); });
}

bool CRKProcessReportOperation::threadArrayFromFile(const QString& path, CRKThreadArray* out)
{
    out->clear();
    for (const QJsonObject& line : CRKFileReadSections(path)) {
        const QJsonValue threads = line.value(QStringLiteral("threads"));
        if (threads.isUndefined())
            continue;
        for (const QJsonValue& thread : threads.toArray()) {
            QVector<CRKStackFrame> frames;
            for (const QJsonValue& pc : thread.toObject().value(QStringLiteral("stacktrace")).toArray())
                frames.append(CRKStackFrame::stackFrameWithAddress(CRKRecordUnsigned(pc)));
            out->append(frames);
        }
        return true;
    }
    return false;
}

bool CRKProcessReportOperation::symbolicateFile(const QString& path, CRKSymbolResolver& resolver)
{
    CRKThreadArray threads;
    if (!threadArrayFromFile(path, &threads))
        return false;
    symbolicate(threads, resolver);
    demangle(threads);
    writeSymbolicated(threads, path + QStringLiteral(".symbolicated"));
    return true;
}

void CRKProcessReportOperation::symbolicate(CRKThreadArray& threads, CRKSymbolResolver& resolver)
{
    // The first frame of a stack is the instruction the thread stood on (for
    // a stack overflow, usually a function's very first one); the others
    // are return addresses, which point just past their call, except the
    // one a signal interrupted (above a signal trampoline).
    for (auto& thread : threads) {
        bool exact = true;
        for (int i = 0; i < thread.size(); ++i) {
            const quint64 address = thread[i].address;
            resolver.updateStackFrame(thread[i], exact);
            exact = resolver.isSignalFrame(address, exact);
        }
    }
}

void CRKProcessReportOperation::demangle(CRKThreadArray& threads)
{
    for (auto& thread : threads)
        for (CRKStackFrame& frame : thread) {
            const QString name = CRKSymbolResolver::demangleSymbol(frame.symbol.toUtf8());
            if (!name.isNull())
                frame.symbol = name;
        }
}

QByteArray CRKProcessReportOperation::serialize(const CRKThreadArray& threads)
{
    auto string = [](const QString& s) -> QByteArray {
        if (s.isNull())
            return "null";
        // A one-element array gives JSON's escaping; strip the brackets.
        const QByteArray a = QJsonDocument(QJsonArray{s}).toJson(QJsonDocument::Compact);
        return a.mid(1, a.size() - 2);
    };
    QByteArray out = "{\"threads\":[";
    for (int t = 0; t < threads.size(); ++t) {
        if (t)
            out += ',';
        out += '[';
        for (int f = 0; f < threads[t].size(); ++f) {
            const CRKStackFrame& frame = threads[t][f];
            if (f)
                out += ',';
            out += "{\"symbol\":" + string(frame.symbol) + ",\"offset\":" + QByteArray::number(frame.offset)
                   + ",\"library\":" + string(frame.library) + '}';
        }
        out += ']';
    }
    out += "]}\n";
    return out;
}

bool CRKProcessReportOperation::writeSymbolicated(const CRKThreadArray& threads, const QString& outputPath)
{
    QFile file(outputPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        KTHLog::write(QStringLiteral("[CrashKit:Crash:Symbolication] Failed to create output file"));
        return false;
    }
    privatefiles::narrowOpenFile(file);
    const QByteArray bytes = serialize(threads);
    return file.write(bytes) == bytes.size();
}
