#include "kithost/KTHMultipartMimeStreamEncoder.h"

#include "kithost/KTHIdentifiers.h"
#include "kithost/KTHLog.h"

#include <QBuffer>
#include <QFile>

KTHMultipartMimeStreamEncoder::KTHMultipartMimeStreamEncoder(QIODevice* stream, const QString& boundary)
    : stream_(stream), boundary_(boundary.isNull() ? generateBoundary() : boundary)
{
}

QString KTHMultipartMimeStreamEncoder::generateBoundary()
{
    return KTHNewUUIDString();
}

QByteArray KTHMultipartMimeStreamEncoder::contentTypeHTTPHeaderValueWithBoundary(const QString& boundary)
{
    return "multipart/form-data; boundary=" + boundary.toUtf8();
}

QByteArray KTHMultipartMimeStreamEncoder::contentTypeHTTPHeaderValue() const
{
    return contentTypeHTTPHeaderValueWithBoundary(boundary_);
}

QByteArray KTHMultipartMimeStreamEncoder::contentLengthHTTPHeaderValue() const
{
    return QByteArray::number(length_);
}

QByteArray KTHMultipartMimeStreamEncoder::headerData() const
{
    return "MIME-Version: 1.0\r\n";
}

QByteArray KTHMultipartMimeStreamEncoder::footerData() const
{
    return "--" + boundary_.toUtf8() + "--\r\n";
}

bool KTHMultipartMimeStreamEncoder::populateRequest(KTHURLRequest& request, const Block& block)
{
    QByteArray body;
    QBuffer buffer(&body);
    KTHMultipartMimeStreamEncoder encoder(&buffer);
    if (!encoder.encode(block))
        return false;
    request.setHeader("Content-Type", encoder.contentTypeHTTPHeaderValue());
    request.setHeader("Content-Length", encoder.contentLengthHTTPHeaderValue());
    request.body = body;
    request.bodyFile.clear();
    return true;
}

bool KTHMultipartMimeStreamEncoder::encode(const Block& block)
{
    beginEncoding();
    if (block)
        block(*this);
    endEncoding();
    return !failed_;
}

void KTHMultipartMimeStreamEncoder::beginEncoding()
{
    length_ = 0;
    failed_ = false;
    if (!stream_ || (!stream_->isOpen() && !stream_->open(QIODevice::WriteOnly | QIODevice::Truncate))) {
        failed_ = true;
        KTHLog::write(QStringLiteral("[KitHost] Failed to write data to stream"));
        return;
    }
    writeData(headerData());
}

void KTHMultipartMimeStreamEncoder::endEncoding()
{
    writeData(footerData());
    if (stream_ && stream_->isOpen())
        stream_->close();
}

QString KTHMultipartMimeStreamEncoder::quotedName(const QString& name)
{
    QString out = name;
    out.replace(QLatin1Char('"'), QLatin1String("%22"));
    out.replace(QLatin1Char('\r'), QLatin1String("%0D"));
    out.replace(QLatin1Char('\n'), QLatin1String("%0A"));
    return out;
}

void KTHMultipartMimeStreamEncoder::addValue(const QVariant& value, const QString& fieldName)
{
    if (!value.isValid() || value.isNull() || fieldName.isEmpty())
        return;
    const QString text = value.typeId() == QMetaType::Bool ? QString::number(value.toBool() ? 1 : 0)
                                                          : value.toString();
    const QString head = QStringLiteral("--%1\r\nContent-Disposition: form-data; name=\"%2\"\r\n"
                                        "Content-Type: text/plain\r\n\r\n")
                             .arg(boundary_, quotedName(fieldName));
    writeData(head.toUtf8());
    writeData(text.toUtf8() + "\r\n");
}

void KTHMultipartMimeStreamEncoder::addFileData(const QByteArray& data, const QString& fileName,
                                                const QString& mimeType, const QString& fieldName)
{
    if (data.isNull() || fileName.isEmpty() || fieldName.isEmpty())
        return;
    QString head = QStringLiteral("--%1\r\nContent-Disposition: form-data; name=\"%2\"; filename=\"%3\"\r\n")
                       .arg(boundary_, quotedName(fieldName), quotedName(fileName));
    if (!mimeType.isEmpty())
        head += QStringLiteral("Content-Type: %1\r\nContent-Transfer-Encoding: binary\r\n\r\n").arg(mimeType);
    else
        head += QStringLiteral("Content-Type: application/octet-stream\r\n\r\n");
    writeData(head.toUtf8());
    writeData(data);
    writeData("\r\n");
}

void KTHMultipartMimeStreamEncoder::addFile(const QString& path, const QString& fileName, const QString& mimeType,
                                            const QString& fieldName)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return;
    QByteArray data = f.readAll();
    if (f.error() != QFileDevice::NoError)
        return;
    if (data.isNull())
        data = QByteArray("");
    addFileData(data, fileName, mimeType, fieldName);
}

void KTHMultipartMimeStreamEncoder::writeData(const QByteArray& data)
{
    if (failed_ || data.isEmpty())
        return;
    const qint64 written = stream_ ? stream_->write(data) : -1;
    if (written != data.size()) {
        KTHLog::write(QStringLiteral("[KitHost] Failed to write data to stream"));
        failed_ = true;
        return;
    }
    length_ += quint64(written);
}
