#pragma once

#include <QByteArray>
#include <QObject>
#include <QNetworkReply>
#include <QPointer>
#include <QUrl>

class QAudioOutput;
class QBuffer;
class QMediaPlayer;
class QNetworkAccessManager;
class QNetworkReply;

// Downloads a pronunciation and plays it. A new sound supersedes the one
// still downloading, so two downloads never mix into one buffer.
class PronunciationPlayer : public QObject {
    Q_OBJECT
public:
    explicit PronunciationPlayer(QObject* parent = nullptr);
    ~PronunciationPlayer() override;

    // Only http and https sources are fetched; anything else is ignored.
    void playAudio(const QString& address);
    void stop();
    const QByteArray& mp3Data() const { return mp3Data_; }
    bool isDownloading() const { return reply_ != nullptr; }

signals:
    // The sound has downloaded and is handed to the player (tests watch it).
    void downloaded(const QByteArray& data);
    void finishedPlaying();

private:
    void onFinished(QNetworkReply* reply);

    QNetworkAccessManager* network_ = nullptr;
    QPointer<QNetworkReply> reply_;
    QByteArray mp3Data_;
    QMediaPlayer* player_ = nullptr;
    QAudioOutput* audio_ = nullptr;
    QBuffer* buffer_ = nullptr;
};
