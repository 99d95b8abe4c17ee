#pragma once

#include "kithost/KTHURLTypes.h"

#include <QString>
#include <QVariant>
#include <functional>

class QIODevice;

// Writes a multipart/form-data body to a stream part by part, counting the
// bytes written (the Content-Length). A write the stream does not take
// whole fails the encoding: nothing more is written and failed() is true,
// so no caller sends a short body with a matching length.
//
// Field and file names stand between double quotes; a '"', CR or LF in
// them is percent-escaped so a name cannot end its header early.
class KTHMultipartMimeStreamEncoder {
public:
    using Block = std::function<void(KTHMultipartMimeStreamEncoder&)>;

    // A null boundary is replaced by a generated one.
    KTHMultipartMimeStreamEncoder(QIODevice* stream, const QString& boundary = QString());

    static QString generateBoundary();
    static QByteArray contentTypeHTTPHeaderValueWithBoundary(const QString& boundary);
    // Encodes into memory and fills the request's Content-Type,
    // Content-Length and body. False (request untouched) when it failed.
    static bool populateRequest(KTHURLRequest& request, const Block& block);

    const QString& boundary() const { return boundary_; }
    quint64 length() const { return length_; }
    bool failed() const { return failed_; }
    QByteArray contentTypeHTTPHeaderValue() const;
    QByteArray contentLengthHTTPHeaderValue() const;
    QByteArray headerData() const;
    QByteArray footerData() const;

    // beginEncoding, the block, endEncoding. True when all was written.
    bool encode(const Block& block);
    void beginEncoding();   // opens the stream when it is not open yet
    void endEncoding();     // writes the footer and closes the stream

    // Nothing for a null/invalid value or an empty field name.
    void addValue(const QVariant& value, const QString& fieldName);
    // Nothing for null data or an empty file or field name. An empty MIME
    // type writes application/octet-stream.
    void addFileData(const QByteArray& data, const QString& fileName, const QString& mimeType,
                     const QString& fieldName);
    // Reads the whole file; an unreadable file adds nothing.
    void addFile(const QString& path, const QString& fileName, const QString& mimeType, const QString& fieldName);

    void writeData(const QByteArray& data);

private:
    static QString quotedName(const QString& name);

    QIODevice* stream_;
    QString boundary_;
    quint64 length_ = 0;
    bool failed_ = false;
};
