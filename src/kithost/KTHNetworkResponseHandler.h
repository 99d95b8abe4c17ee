#pragma once

#include "kithost/KTHURLTypes.h"

#include <functional>

inline constexpr char kKTHNetworkErrorDomain[] = "KTHNetworkError";

// How the kit host reads an answer: response classes by status, the
// Retry-After delay, the content-type check and the "KTHNetworkError"
// errors. Stateless; safe from any thread. The crash kit's report upload
// uses it directly too.
namespace KTHNetworkResponseHandler {

enum ResponseType { Success = 0, Failure = 1, ClientError = 2, Retry = 3, Backoff = 4 };

enum ErrorCode {
    ErrorRetry = -1,
    ErrorNoTask = -3,
    ErrorFailure = -4,
    ErrorClient = -5,
    ErrorRetryLimit = -6,
};

QByteArray headerForResponse(const KTHHTTPResponse& response, const QByteArray& key);
QByteArray requestIdForResponse(const KTHHTTPResponse& response);

// Seconds from Retry-After: 300 when absent, negative or not finite; a text
// that is not a number reads 0; never more than 3600, so a hostile header
// cannot push a retry out of reach or overflow the timer.
double retryValueForResponse(const KTHHTTPResponse& response);

ResponseType responseTypeForStatus(int status);
bool contentTypeForResponseMatchesRequest(const KTHHTTPResponse& response, const KTHURLRequest& request);

KTHError errorForCode(int code, const QVariantMap& userInfo = {});
// Null error for Success; -4 for Failure, -5 for ClientError, -1 otherwise,
// with type, status_code, request_id and content_type in userInfo.
KTHError errorForResponse(const KTHHTTPResponse& response, ResponseType type, int status);

void clientResponseType(const KTHHTTPResponse& response, const std::function<void(ResponseType, int)>& handler);

// Calls `block(retry, error)` once. A transport error passes unchanged; a
// response is classified by its status, whatever the transport said.
void handleCompletedResponse(const KTHHTTPResponse& response, const KTHURLRequest& originalRequest,
                             const KTHError& error, const std::function<void(bool, const KTHError&)>& block);

}  // namespace KTHNetworkResponseHandler
