#pragma once

#include "support/FakeHttpService.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The kit services (settings, application create and update) on one fake
// HTTP service. While it lives, the SettingsEndpoint and ConfigureEndpoint
// environment variables point at it. Settings answers are scripted in
// sequence: each GET takes the next one, the last one repeats.
class FakeKitService {
public:
    explicit FakeKitService(const QString& bundleIdentifier = QStringLiteral("com.mirvok.dict"));
    ~FakeKitService();

    FakeHttpService& http() { return http_; }
    QString baseUrl() const { return http_.baseUrl(); }

    QString settingsPath() const;   // /spi/v2/platforms/mac/apps/<bundle>/settings
    QString createPath() const;     // /spi/v1/platforms/mac/apps
    QString updatePath() const;     // /spi/v1/platforms/mac/apps/<bundle>

    // JSON bodies (application/json) answered in turn.
    void setSettingsAnswers(const QList<ScriptedResponse>& answers);
    static ScriptedResponse settingsJson(const QByteArray& json);
    void setCreateAnswer(const ScriptedResponse& answer);
    void setUpdateAnswer(const ScriptedResponse& answer);

    std::vector<RecordedRequest> settingsRequests() const { return http_.requestsTo(settingsPath()); }
    std::vector<RecordedRequest> createRequests() const { return http_.requestsTo(createPath()); }
    std::vector<RecordedRequest> updateRequests() const { return http_.requestsTo(updatePath()); }

private:
    FakeHttpService http_;
    QString bundle_;
    QByteArray savedSettings_, savedConfigure_;
    std::shared_ptr<QList<ScriptedResponse>> answers_;
    std::shared_ptr<std::atomic<int>> next_;
};
