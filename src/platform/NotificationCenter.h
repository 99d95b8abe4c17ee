#pragma once

#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <vector>

struct Notification {
    QString name;
    QObject* object = nullptr;  // the poster, when it names one
    QVariantMap userInfo;
};

// Named notifications between subsystems. Observers run synchronously on the
// poster's thread, in the order they were added; an observer tied to a
// context object is dropped when that object is destroyed.
class NotificationCenter {
public:
    using Handler = std::function<void(const Notification&)>;
    using Token = quint64;

    static NotificationCenter& defaultCenter();

    // sender == nullptr: notifications of that name from any poster.
    Token addObserver(const QString& name, QObject* context, Handler handler, QObject* sender = nullptr);
    void removeObserver(Token token);
    void removeObserver(QObject* context, const QString& name = QString());

    void post(const QString& name, QObject* object = nullptr, const QVariantMap& userInfo = {});
    void post(const Notification& n);

private:
    struct Entry {
        Token token;
        QString name;
        QPointer<QObject> context;
        bool hasContext;
        QObject* sender;
        std::shared_ptr<Handler> handler;
    };
    QMutex mutex_;
    std::vector<Entry> entries_;
    Token next_ = 1;
};
