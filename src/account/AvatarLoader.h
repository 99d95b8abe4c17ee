#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <functional>

class QNetworkReply;

// Loads one avatar picture without blocking: http and https only, at most
// 2 MiB, at most 4096 × 4096 pixels. A failure answers a null image (the
// caller then keeps the picture it shows). A new load replaces the one in
// flight, whose answer is dropped.
class AvatarLoader : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 kMaxBytes = 2 * 1024 * 1024;
    static constexpr int kMaxSide = 4096;

    explicit AvatarLoader(QObject* parent = nullptr) : QObject(parent) {}
    ~AvatarLoader() override { cancel(); }

    void load(const QUrl& url, std::function<void(const QImage&)> done);
    void cancel();
    // Decodes bytes under the same limits (null image when refused).
    static QImage decode(const QByteArray& bytes);

private:
    QPointer<QNetworkReply> reply_;
};
