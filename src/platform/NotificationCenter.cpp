#include "platform/NotificationCenter.h"

#include <QMutexLocker>
#include <algorithm>

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

NotificationCenter::Token NotificationCenter::addObserver(const QString& name, QObject* context, Handler handler,
                                                          QObject* sender) {
    QMutexLocker lock(&mutex_);
    const Token t = next_++;
    entries_.push_back(Entry{t, name, QPointer<QObject>(context), context != nullptr, sender,
                             std::make_shared<Handler>(std::move(handler))});
    return t;
}

void NotificationCenter::removeObserver(Token token) {
    QMutexLocker lock(&mutex_);
    std::erase_if(entries_, [&](const Entry& e) { return e.token == token; });
}

void NotificationCenter::removeObserver(QObject* context, const QString& name) {
    QMutexLocker lock(&mutex_);
    std::erase_if(entries_, [&](const Entry& e) {
        return e.hasContext && e.context.data() == context && (name.isEmpty() || e.name == name);
    });
}

void NotificationCenter::post(const QString& name, QObject* object, const QVariantMap& userInfo) {
    post(Notification{name, object, userInfo});
}

void NotificationCenter::post(const Notification& n) {
    std::vector<std::pair<Token, std::shared_ptr<Handler>>> targets;
    {
        QMutexLocker lock(&mutex_);
        // Observers whose context died are dropped here rather than through a
        // destroyed() connection, which would fire on whatever thread deletes it.
        std::erase_if(entries_, [](const Entry& e) { return e.hasContext && e.context.isNull(); });
        for (const Entry& e : entries_) {
            if (e.name == n.name && (!e.sender || e.sender == n.object)) targets.emplace_back(e.token, e.handler);
        }
    }
    // Not a structured binding: clang 14 refuses to capture one in a lambda.
    for (const auto& target : targets) {
        const Token token = target.first;
        {
            // An observer removed by an earlier handler of this same post is skipped.
            QMutexLocker lock(&mutex_);
            if (std::none_of(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.token == token; }))
                continue;
        }
        (*target.second)(n);
    }
}
