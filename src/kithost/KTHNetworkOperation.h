#pragma once

#include "kithost/KTHURLTypes.h"

#include <QString>
#include <atomic>
#include <memory>

// The kit host's constants sent with every request.
inline constexpr char kKTHClientIdentifier[] = "io.kithost.sdk.mac";
inline constexpr char kKTHDisplayVersion[] = "1.6.1";
inline constexpr char kKTHBuildVersion[] = "37";
inline constexpr char kKTHPlatform[] = "mac";
inline constexpr char kKTHDeveloperToken[] = "5c3e9a17d0b24f86e1a7c94b2d0e6f3a18b5c702";

// An operation whose main() runs on the global thread pool and which ends
// with finish(). It keeps itself alive while it runs (hold it in a
// shared_ptr). cancel() only marks it: a subclass that sees isCancelled()
// when its work completes finishes without telling its delegate, so a
// cancelled operation can never end the one that replaced it.
class KTHAsynchronousOperation : public std::enable_shared_from_this<KTHAsynchronousOperation> {
public:
    virtual ~KTHAsynchronousOperation() = default;

    void start();
    void finish();
    void cancel() { cancelled_ = true; }

    bool isExecuting() const { return executing_; }
    bool isFinished() const { return finished_; }
    bool isCancelled() const { return cancelled_; }

protected:
    virtual void main() = 0;

private:
    std::atomic<bool> executing_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> cancelled_{false};
};

// An operation that talks to a kit service with the API key.
class KTHNetworkOperation : public KTHAsynchronousOperation {
public:
    explicit KTHNetworkOperation(const QString& APIKey) : APIKey_(APIKey) {}

    const QString& APIKey() const { return APIKey_; }

    // The default request with a 10-second time-out; subclasses add headers.
    virtual KTHURLRequest mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(const QUrl& url) const;
    KTHURLRequest mutableRequestWithDefaultHTTPHeadersForURL(const QUrl& url, double timeoutSeconds) const;

    static QString userAgentString();   // "io.kithost.sdk.mac/1.6.1 (37)"
    static QString localeIdentifier();

private:
    QString APIKey_;
};
