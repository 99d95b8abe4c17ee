#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>

class MainViewController;
class WebPageHost;

// The script object `framewnd` of the lookup page. Page script can call its
// public slots and nothing else, so it holds exactly the seven entries the
// pages use and forwards each to the page controller, and only while the
// view shows one of our own pages.
class ScriptBridge : public QObject {
    Q_OBJECT
public:
    ScriptBridge(MainViewController* page, WebPageHost* host, QObject* parent = nullptr);

public slots:
    void doQuery(const QString& word);
    void goURL(const QString& address);
    void goTab(const QString& tabName, const QVariant& word, const QVariant& index);
    void doLog(const QString& key, const QString& value, const QVariant& extras);
    void addToWordBook(const QString& word, const QString& definition, const QString& phone);
    void removeFromWordBook(const QString& word);
    void playAudio(const QString& url);

protected:
    // The channel also publishes QObject's own deleteLater; a page calling
    // it must not take the bridge away. The owner deletes it directly.
    bool event(QEvent* e) override;

private:
    bool allowed() const;

    QPointer<MainViewController> page_;
    QPointer<WebPageHost> host_;
};
