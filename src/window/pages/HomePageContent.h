#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;
class WebPageHost;

// Fills the home page: first from the values cached in the user defaults
// (or built-in ones), then, once both service requests have answered, with
// fresh content that is cached for the next start. Also shows or hides the
// operation banner.
class HomePageContent : public QObject {
    Q_OBJECT
public:
    explicit HomePageContent(WebPageHost* host, QObject* parent = nullptr);

    // After the home page has loaded.
    void updateContent();
    void doUpdateOperationInfo();

    static QString builtInDailyLine();
    static QString builtInSummary();
    static QString builtInThumbnail();
    // The daily-line JSON text; values are escaped, so any text round-trips.
    static QString dailyLineJson(const QString& type, const QString& sen, const QString& trans);
    // The script call of the page function for three texts.
    static QString updateContentScript(const QString& line, const QString& wiki, const QString& thumb);
    static QString operationScript(const QString& text, const QString& link);
    // Readers of the service's answers: the article's summary and thumbnail
    // address (empty when absent), and the daily line (null when none).
    static void readArticle(const QByteArray& body, QString* wiki, QString* thumb);
    static QString readDailyLine(const QByteArray& body);

signals:
    // The page function was called (tests count the calls).
    void contentShown(const QString& line, const QString& wiki, const QString& thumb);

private:
    struct Fetch;
    void show(const QString& line, const QString& wiki, const QString& thumb);
    void finishWiki(const std::shared_ptr<Fetch>& fetch, QNetworkReply* reply);
    void finishLine(const std::shared_ptr<Fetch>& fetch, QNetworkReply* reply);
    void maybeRefresh(const std::shared_ptr<Fetch>& fetch);

    QPointer<WebPageHost> host_;
    QNetworkAccessManager* network_ = nullptr;
};
