#pragma once

#include <QHash>
#include <QObject>
#include <QRect>
#include <QString>
#include <memory>

class QDBusMessage;

// Selections in any application that reports them to the accessibility bus
// (GTK, Qt, Firefox, Chromium with accessibility on), whatever the display
// server: listens for object:text-selection-changed and reads the selected
// text, and where it lies on the screen, from the sender's Text interface.
// Everything is an asynchronous D-Bus call on the main thread: a busy or
// stopped application delays its own answer and nothing else. An answer
// overtaken by a newer event is dropped. Main thread only.
class AtspiSelectionWatch : public QObject {
    Q_OBJECT
public:
    explicit AtspiSelectionWatch(QObject* parent = nullptr);
    ~AtspiSelectionWatch() override;

    // Finds the accessibility bus and subscribes (once).
    void start();
    bool isActive() const { return active_; }
    QString note() const { return note_; }

signals:
    // Some application's selection changed; the text follows when read.
    void changed();
    // `extents` are screen pixels; empty when the application did not say.
    void selected(const QString& text, const QRect& extents);
    void stateChanged();

private slots:
    void onEvent(const QDBusMessage& event);

public:
    struct Read;

private:
    void connectBus(const QString& address);
    void readSelection(const std::shared_ptr<Read>& r);
    void fail(const QString& note);

    QString connectionName_;
    bool started_ = false;
    bool active_ = false;
    QString note_;
    quint64 seq_ = 0;
    QHash<QString, qint64> senderPids_;
};
