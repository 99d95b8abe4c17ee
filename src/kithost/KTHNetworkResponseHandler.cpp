#include "kithost/KTHNetworkResponseHandler.h"

#include <cmath>

namespace KTHNetworkResponseHandler {

QByteArray headerForResponse(const KTHHTTPResponse& response, const QByteArray& key)
{
    if (!response.isHTTP)
        return QByteArray();
    return response.header(key);
}

QByteArray requestIdForResponse(const KTHHTTPResponse& response)
{
    return headerForResponse(response, "X-Request-Id");
}

double retryValueForResponse(const KTHHTTPResponse& response)
{
    constexpr double kAbsent = 300;
    constexpr double kCeiling = 3600;
    const QByteArray raw = headerForResponse(response, "Retry-After");
    if (raw.isNull())
        return kAbsent;
    // Like a lenient doubleValue: the leading number, 0 when there is none.
    const QByteArray text = raw.trimmed();
    int end = 0;
    while (end < text.size() && (QByteArrayView("+-.0123456789eE").contains(text[end])))
        ++end;
    double value = 0;
    for (int n = end; n > 0; --n) {
        bool ok = false;
        value = text.left(n).toDouble(&ok);
        if (ok)
            break;
        value = 0;
    }
    if (end == 0) {
        // "inf" and "nan" are what std::strtod would read: count them as absent.
        const QByteArray lower = text.toLower();
        if (lower.startsWith("inf") || lower.startsWith("nan") || lower.startsWith("+inf")
            || lower.startsWith("-inf"))
            return kAbsent;
    }
    if (!std::isfinite(value) || value < 0)
        return kAbsent;
    return std::min(value, kCeiling);
}

ResponseType responseTypeForStatus(int status)
{
    switch (status) {
    case 200: case 201: case 202: case 204: case 304:
        return Success;
    case 400: case 401: case 403: case 404: case 406: case 410: case 411: case 413: case 419:
    case 422: case 431:
        return ClientError;
    case 408:
        return Retry;
    case 420: case 429:
        return Backoff;
    default:
        break;
    }
    if (status >= 500 && status <= 599)
        return Retry;
    return Failure;
}

bool contentTypeForResponseMatchesRequest(const KTHHTTPResponse& response, const KTHURLRequest& request)
{
    const QByteArray accept = request.header("Accept");
    if (accept.isNull())
        return true;
    const QByteArray contentType = headerForResponse(response, "Content-Type");
    if (contentType.isNull())
        return false;
    const int split = contentType.indexOf("; charset=");
    const QByteArray type = split < 0 ? contentType : contentType.left(split);
    if (type.compare(accept, Qt::CaseInsensitive) != 0)
        return false;
    const QByteArray charset = request.header("Accept-Charset");
    if (!charset.isNull() && split >= 0) {
        QByteArray rest = contentType.mid(split + 10);
        const int more = rest.indexOf("; charset=");
        if (more >= 0)
            rest.truncate(more);
        return rest.compare(charset, Qt::CaseInsensitive) == 0;
    }
    return true;
}

KTHError errorForCode(int code, const QVariantMap& userInfo)
{
    KTHError e;
    e.domain = QString::fromLatin1(kKTHNetworkErrorDomain);
    e.code = code;
    e.userInfo = userInfo;
    e.description = QStringLiteral("%1 error %2").arg(e.domain).arg(code);
    return e;
}

KTHError errorForResponse(const KTHHTTPResponse& response, ResponseType type, int status)
{
    if (type == Success)
        return KTHError();
    const int code = type == Failure ? ErrorFailure : type == ClientError ? ErrorClient : ErrorRetry;
    QVariantMap info;
    info[QStringLiteral("type")] = int(type);
    info[QStringLiteral("status_code")] = status;
    info[QStringLiteral("request_id")] = QString::fromUtf8(requestIdForResponse(response));
    info[QStringLiteral("content_type")] = QString::fromUtf8(headerForResponse(response, "Content-Type"));
    KTHError e = errorForCode(code, info);
    e.description = QStringLiteral("%1 error %2 (HTTP status %3)").arg(e.domain).arg(code).arg(status);
    return e;
}

void clientResponseType(const KTHHTTPResponse& response, const std::function<void(ResponseType, int)>& handler)
{
    const int status = response.isHTTP ? response.statusCode : 0;
    handler(response.isHTTP ? responseTypeForStatus(status) : Failure, status);
}

void handleCompletedResponse(const KTHHTTPResponse& response, const KTHURLRequest& originalRequest,
                             const KTHError& error, const std::function<void(bool, const KTHError&)>& block)
{
    if (error) {
        block(false, error);
        return;
    }
    clientResponseType(response, [&](ResponseType type, int status) {
        switch (type) {
        case Success:
            if (contentTypeForResponseMatchesRequest(response, originalRequest))
                block(false, KTHError());
            else
                block(false, errorForResponse(response, Failure, status));
            break;
        case Failure:
        case ClientError:
            block(false, errorForResponse(response, type, status));
            break;
        case Retry:
        case Backoff:
            block(true, errorForResponse(response, type, status));
            break;
        }
    });
}

}  // namespace KTHNetworkResponseHandler
