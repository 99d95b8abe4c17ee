#include "window/pages/PronunciationPlayer.h"

#include <QAudioOutput>
#include <QBuffer>
#include <QMediaFormat>
#include <QMediaPlayer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

PronunciationPlayer::PronunciationPlayer(QObject* parent) : QObject(parent)
{
    network_ = new QNetworkAccessManager(this);
}

PronunciationPlayer::~PronunciationPlayer()
{
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
    }
}

void PronunciationPlayer::stop()
{
    if (player_) {
        player_->stop();
        player_->deleteLater();
        player_ = nullptr;
    }
    if (buffer_) {
        buffer_->deleteLater();
        buffer_ = nullptr;
    }
}

void PronunciationPlayer::playAudio(const QString& address)
{
    stop();
    mp3Data_.clear();
    if (reply_) {
        // Disconnect first so the superseded download never calls back.
        reply_->disconnect(this);
        reply_->abort();
        reply_->deleteLater();
        reply_ = nullptr;
    }
    const QUrl url(address);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return;
    QNetworkReply* reply = network_->get(QNetworkRequest(url));
    reply_ = reply;
    connect(reply, &QNetworkReply::readyRead, this, [this, reply]() {
        if (reply == reply_)
            mp3Data_.append(reply->readAll());
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply]() { onFinished(reply); });
}

void PronunciationPlayer::onFinished(QNetworkReply* reply)
{
    reply->deleteLater();
    if (reply != reply_)
        return;
    reply_ = nullptr;
    if (reply->error() != QNetworkReply::NoError && reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isNull())
        return;  // no sound and no message; the buffer keeps what arrived
    mp3Data_.append(reply->readAll());
    emit downloaded(mp3Data_);
    stop();
    // Without a usable media back end creating a player can bring the
    // process down: play nothing then, as for a sound that cannot be read.
    static const bool canDecode = !QMediaFormat().supportedFileFormats(QMediaFormat::Decode).isEmpty();
    if (!canDecode)
        return;
    buffer_ = new QBuffer(this);
    buffer_->setData(mp3Data_);
    buffer_->open(QIODevice::ReadOnly);
    if (!audio_)
        audio_ = new QAudioOutput(this);
    player_ = new QMediaPlayer(this);
    player_->setAudioOutput(audio_);
    connect(player_, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus status) {
        if (status == QMediaPlayer::EndOfMedia || status == QMediaPlayer::InvalidMedia) {
            stop();
            mp3Data_.clear();
            emit finishedPlaying();
        }
    });
    player_->setSourceDevice(buffer_, QUrl(QStringLiteral("pronunciation.mp3")));
    player_->play();
}
