#include "tally/CRKAnalyticsGzip.h"

#include "platform/PrivateFiles.h"
#include "tally/CRKEventLogEvent.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

namespace {

constexpr int kBlock = 5120;

bool writeAll(int fd, const unsigned char* p, size_t n)
{
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        p += w;
        n -= size_t(w);
    }
    return true;
}

// Reads up to `limit` bytes of input in blocks (negative: to the end).
int compress(int sourceFd, int destinationFd, qint64 limit)
{
    z_stream stream {};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 4, Z_DEFAULT_STRATEGY) != Z_OK)
        return -1;
    unsigned char in[kBlock];
    unsigned char out[kBlock];
    int last = Z_OK;
    qint64 consumed = 0;
    for (;;) {
        size_t want = kBlock;
        if (limit >= 0)
            want = size_t(std::min<qint64>(kBlock, limit - consumed));
        ssize_t got = 0;
        if (want > 0) {
            do
                got = ::read(sourceFd, in, want);
            while (got < 0 && errno == EINTR);
        }
        if (got < 0) {
            deflateEnd(&stream);
            return -1;
        }
        consumed += got;
        const bool end = got == 0 || (limit >= 0 && consumed >= limit);
        stream.next_in = in;
        stream.avail_in = uInt(got);
        do {
            stream.next_out = out;
            stream.avail_out = kBlock;
            last = deflate(&stream, end ? Z_FINISH : Z_NO_FLUSH);
            if (last == Z_STREAM_ERROR) {
                deflateEnd(&stream);
                return -1;
            }
            if (!writeAll(destinationFd, out, kBlock - stream.avail_out)) {
                deflateEnd(&stream);
                return -1;
            }
        } while (stream.avail_out == 0);
        if (end)
            break;
    }
    deflateEnd(&stream);
    return last == Z_STREAM_END ? 0 : -1;
}

}  // namespace

int CRKAnalyticsGzipCompressFile(int sourceFd, int destinationFd)
{
    return compress(sourceFd, destinationFd, -1);
}

int CRKAnalyticsGzipCompressLogFile(const QString& source, const QString& destination, bool wholeRecordsOnly)
{
    qint64 limit = -1;
    if (wholeRecordsOnly) {
        QFile f(source);
        if (!f.open(QIODevice::ReadOnly))
            return -1;
        limit = CRKEventLogReader::wholeRecordsLength(f.readAll());
    }
    const int in = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return -1;
    const int out = ::open(QFile::encodeName(destination).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                           privatefiles::kFileMode);
    if (out < 0) {
        ::close(in);
        return -1;
    }
    int result = compress(in, out, limit);
    ::close(in);
    if (result == 0 && ::fsync(out) != 0)
        result = -1;
    if (::close(out) != 0)
        result = -1;
    return result;
}
