#include "support/FakeWordBookService.h"

FakeWordBookService::FakeWordBookService()
{
    last_.body = answer(1);
    http_.on(QStringLiteral("POST"), QStringLiteral("/wordbook/api"), [this](const RecordedRequest&) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!script_.empty()) {
            last_ = script_.front();
            script_.pop_front();
        }
        return last_;
    });
}

QUrl FakeWordBookService::url() const
{
    return QUrl(http_.baseUrl() +
                QStringLiteral("/wordbook/api?keyfrom=mac.main&id=ID&model=M&deviceid=D&mid=1&requestNum=2000"));
}

void FakeWordBookService::queueAnswer(const QByteArray& xml, int status, int delayMs)
{
    ScriptedResponse r;
    r.status = status;
    r.body = xml;
    r.contentType = "text/xml; charset=utf-8";
    r.delayMs = delayMs;
    std::lock_guard<std::mutex> lock(mutex_);
    script_.push_back(r);
}

QString FakeWordBookService::documentOf(const RecordedRequest& request)
{
    for (const auto& [k, v] : request.formFields())
        if (k == QLatin1String("data"))
            return v;
    return {};
}

QByteArray FakeWordBookService::answer(int errcode, const QString& ts, const QString& remTs, const QString& actions,
                                       bool withOperation)
{
    QString doc = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?><response>");
    if (withOperation)
        doc += QStringLiteral("<operation>sync</operation>");
    doc += QStringLiteral("<errcode>%1</errcode>").arg(errcode);
    if (!ts.isNull())
        doc += QStringLiteral("<maxServerTimestamp>%1</maxServerTimestamp>").arg(ts);
    if (!remTs.isNull())
        doc += QStringLiteral("<maxRemServerTimestamp>%1</maxRemServerTimestamp>").arg(remTs);
    if (!actions.isNull())
        doc += QStringLiteral("<actionlist>") + actions + QStringLiteral("</actionlist>");
    doc += QStringLiteral("</response>");
    return doc.toUtf8();
}

QString FakeWordBookService::action(const QString& type, const QString& word, const QString& trans,
                                    const QString& phonetic, qint64 addtime, const QString& progress,
                                    const QString& tags)
{
    QString a = QStringLiteral("<action type=\"%1\"><word><![CDATA[%2]]></word>").arg(type, word);
    a += QStringLiteral("<serverTimestamp>7</serverTimestamp>");
    if (!phonetic.isNull())
        a += QStringLiteral("<phonetic><![CDATA[%1]]></phonetic>").arg(phonetic);
    if (!trans.isNull())
        a += QStringLiteral("<trans><![CDATA[%1]]></trans>").arg(trans);
    if (!tags.isNull())
        a += QStringLiteral("<tags><![CDATA[%1]]></tags>").arg(tags);
    if (addtime >= 0)
        a += QStringLiteral("<addtime>%1</addtime>").arg(addtime);
    if (!progress.isNull())
        a += QStringLiteral("<progress>%1</progress><remServerTimestamp>9</remServerTimestamp>"
                            "<remModifyTime>60</remModifyTime>")
                 .arg(progress);
    return a + QStringLiteral("</action>");
}
