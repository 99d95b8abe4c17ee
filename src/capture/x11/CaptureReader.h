#pragma once

#include "capture/CaptureRoadTypes.h"
#include "capture/atspi/AtspiReader.h"
#include "capture/x11/PasteboardArchive.h"

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

class QThread;

// The one capture thread. Everything that asks another process for text
// (the X selections, the accessibility bus, the simulated copy) runs there,
// so the interface never waits on an application that is busy or stopped;
// answers come back to the main thread by queued call. A request that a
// newer one of the same kind has overtaken is dropped, unanswered.
//
// Points are X screen pixels. Main-thread interface.
class CaptureReader : public QObject {
    Q_OBJECT
public:
    using Source = capture::SelectionSource;
    using Selected = capture::SelectedText;
    using Request = capture::SelectionRequest;

    static CaptureReader& shared();
    ~CaptureReader() override;

    void selectedText(const Request& request, QObject* context, std::function<void(const Selected&)> done);
    void textAround(const QPoint& px, QObject* context, std::function<void(const AtspiReader::Around&)> done);

    // Stops the thread (waits for the read under way); later requests are
    // dropped. Called at exit.
    void shutdown();

    // Tests: runs on the capture thread as each read begins, so a test can
    // hold one read under way while it makes the next request. Set it while
    // no read is under way.
    static void setReadStartedHook(std::function<void()> hook);

private:
    CaptureReader();
    struct Worker;
    void post(std::function<void()> job);

    QThread* thread_ = nullptr;
    QObject* inThread_ = nullptr;
    std::shared_ptr<Worker> worker_;
    std::atomic<quint64> selectionSeq_{0};
    std::atomic<quint64> hoverSeq_{0};
    bool stopped_ = false;
};
