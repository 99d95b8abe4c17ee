#include "support/FakeKitService.h"

#include <mutex>

FakeKitService::FakeKitService(const QString& bundleIdentifier)
    : bundle_(bundleIdentifier),
      answers_(std::make_shared<QList<ScriptedResponse>>()),
      next_(std::make_shared<std::atomic<int>>(0))
{
    savedSettings_ = qgetenv("SettingsEndpoint");
    savedConfigure_ = qgetenv("ConfigureEndpoint");
    qputenv("SettingsEndpoint", baseUrl().toUtf8());
    qputenv("ConfigureEndpoint", baseUrl().toUtf8());
    setSettingsAnswers({settingsJson(R"({"app":{"status":"activated"}})")});
    setCreateAnswer(ScriptedResponse(201, "{}", "application/json"));
    setUpdateAnswer(ScriptedResponse(200, "{}", "application/json"));
}

FakeKitService::~FakeKitService()
{
    auto restore = [](const char* name, const QByteArray& value) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    };
    restore("SettingsEndpoint", savedSettings_);
    restore("ConfigureEndpoint", savedConfigure_);
}

QString FakeKitService::settingsPath() const
{
    return QStringLiteral("/spi/v2/platforms/mac/apps/%1/settings").arg(bundle_);
}

QString FakeKitService::createPath() const { return QStringLiteral("/spi/v1/platforms/mac/apps"); }

QString FakeKitService::updatePath() const { return QStringLiteral("/spi/v1/platforms/mac/apps/%1").arg(bundle_); }

ScriptedResponse FakeKitService::settingsJson(const QByteArray& json)
{
    return ScriptedResponse(200, json, "application/json");
}

void FakeKitService::setSettingsAnswers(const QList<ScriptedResponse>& answers)
{
    auto list = std::make_shared<QList<ScriptedResponse>>(answers);
    auto next = std::make_shared<std::atomic<int>>(0);
    answers_ = list;
    next_ = next;
    http_.on(QStringLiteral("GET"), settingsPath(), [list, next](const RecordedRequest&) {
        const int i = next->fetch_add(1);
        return list->isEmpty() ? ScriptedResponse(404) : list->at(qMin(i, int(list->size()) - 1));
    });
}

void FakeKitService::setCreateAnswer(const ScriptedResponse& answer)
{
    http_.on(QStringLiteral("POST"), createPath(), answer);
}

void FakeKitService::setUpdateAnswer(const ScriptedResponse& answer)
{
    http_.on(QStringLiteral("PUT"), updatePath(), answer);
}
