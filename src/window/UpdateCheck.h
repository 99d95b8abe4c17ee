#pragma once

#include <QObject>
#include <QString>
#include <functional>

class RequestData;

// Reads the update feed of the product web site at start and on request:
// stores the home page's banner text and link, compares the running build
// with the feed's, and offers the download page for a newer build that the
// user has not chosen to skip. A manual check also confirms "up to date".
class UpdateCheck : public QObject {
    Q_OBJECT
public:
    struct Feed {
        qint64 build = 0;
        QString des;
        QString operationText;
        QString operationLink;
    };
    // The first <updater> of the document; false for text that is not a
    // well-formed feed with one.
    static bool parseFeed(const QByteArray& xml, Feed* out);
    // Integer value of a build text: leading digits, 0 when there are none.
    static qint64 buildNumber(const QString& text);
    static QString feedUrl();

    // What the check shows; the main window installs real alerts.
    struct Ui {
        // Newer build: text of the feed; `go` opens the download page, `ignore` skips it.
        std::function<void(const QString& des, std::function<void()> go, std::function<void()> ignore)> offerUpdate;
        std::function<void()> upToDate;
        std::function<void()> operationInfoChanged;
        std::function<void(const QString& url)> openUrl;
    };

    explicit UpdateCheck(QObject* parent = nullptr);
    ~UpdateCheck() override;
    void setUi(Ui ui) { ui_ = std::move(ui); }

    // automatic: the start-up check (never says "up to date").
    void checkUpdate(bool automatic);
    void updateHelper(const QVariant& answer);
    void goDownloadDMG();
    void ignoreUpdate();

    bool isAutoCheckUpdate() const { return isAutoCheckUpdate_; }
    qint64 remoteBuildNumber() const { return remoteBuildNumber_; }

signals:
    void finished();

private:
    RequestData* request_ = nullptr;
    Ui ui_;
    bool isAutoCheckUpdate_ = false;
    qint64 remoteBuildNumber_ = 0;
};
