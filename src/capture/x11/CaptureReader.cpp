#include "capture/x11/CaptureReader.h"

#include "capture/x11/QZRPasteboardProxy.h"
#include "capture/x11/X11SelectionReader.h"
#include "platform/MainThread.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QThread>


namespace {
// Debug (the selected words themselves) only when asked for with
// QT_LOGGING_RULES="mirvok.capture.debug=true".
Q_LOGGING_CATEGORY(lcCapture, "mirvok.capture", QtWarningMsg)

constexpr int kSelectionTimeoutMs = 300;
constexpr int kLoggedChars = 40;

std::function<void()>& readStartedHook() {
    static std::function<void()> hook;
    return hook;
}

const char* roadName(CaptureReader::Source s) {
    switch (s) {
    case CaptureReader::Source::Primary: return "primary";
    case CaptureReader::Source::Accessibility: return "accessibility";
    case CaptureReader::Source::Copy: return "copy";
    case CaptureReader::Source::None: break;
    }
    return "none";
}

// What one road gave. The log keeps the length and the road; the words
// themselves (which may be anything the user selected, passwords too) only
// at debug level, and cut short.
CaptureReader::Selected taken(const QString& text, CaptureReader::Source road) {
    qCInfo(lcCapture, "selection of %lld characters by %s", qlonglong(text.size()), roadName(road));
    qCDebug(lcCapture).noquote() << "selection starts:" << text.left(kLoggedChars);
    if (text.isEmpty()) return {};
    return {text, road};
}
}  // namespace

// Lives on the capture thread; made lazily there, so that libatspi and Xlib
// are only ever touched from that thread.
struct CaptureReader::Worker {
    std::unique_ptr<X11SelectionReader> x11;
    std::unique_ptr<AtspiReader> atspi;

    void ensure() {
        if (!x11) x11 = std::make_unique<X11SelectionReader>();
        if (!atspi) atspi = std::make_unique<AtspiReader>();
    }

    Selected readSelection(const Request& r, PasteboardArchive* restore, bool* restoreNeeded);
};

CaptureReader& CaptureReader::shared() {
    static CaptureReader* reader = new CaptureReader();
    return *reader;
}

CaptureReader::CaptureReader() : worker_(std::make_shared<Worker>()) {
    thread_ = new QThread();
    thread_->setObjectName(QStringLiteral("capture"));
    inThread_ = new QObject();
    inThread_->moveToThread(thread_);
    std::shared_ptr<Worker> w = worker_;
    // The readers go with the thread that made them.
    connect(thread_, &QThread::finished, inThread_, [w] {
        w->atspi.reset();
        w->x11.reset();
    }, Qt::DirectConnection);
    thread_->start();
    if (auto* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &CaptureReader::shutdown);
}

CaptureReader::~CaptureReader() { shutdown(); }

void CaptureReader::shutdown() {
    if (stopped_) return;
    stopped_ = true;
    thread_->quit();
    thread_->wait();
    delete inThread_;
    inThread_ = nullptr;
    delete thread_;
    thread_ = nullptr;
}

void CaptureReader::setReadStartedHook(std::function<void()> hook) { readStartedHook() = std::move(hook); }

void CaptureReader::post(std::function<void()> job) {
    if (stopped_) return;
    QMetaObject::invokeMethod(inThread_, std::move(job), Qt::QueuedConnection);
}

CaptureReader::Selected CaptureReader::Worker::readSelection(const Request& r,
                                                             PasteboardArchive* restore, bool* restoreNeeded) {
    ensure();
    X11SelectionReader& x = *x11;
    if (x.isValid() && x.hasOwner(X11SelectionReader::Primary)) {
        const quint32 since = x.ownedSince(X11SelectionReader::Primary, kSelectionTimeoutMs);
        const bool fresh = r.gestureServerTime == 0 || qint32(since - r.gestureServerTime) >= 0;
        if (fresh) {
            // A PRIMARY this gesture made answers for the selection even
            // when blank: nothing was selected, and nothing else is asked.
            const QString text = x.readText(X11SelectionReader::Primary, kSelectionTimeoutMs);
            return taken(text.trimmed().isEmpty() ? QString() : text, Source::Primary);
        }
    }
    const qint64 pid = x.isValid() ? x.pid(x.pointerTopLevel()) : 0;
    const AtspiReader::Selection sel = atspi->selectionAt(r.px, pid);
    if (sel.failed) return {};
    // The element answers for its selection, even an empty one: a copy
    // would only fetch the same nothing.
    if (sel.foundText) return taken(sel.text, Source::Accessibility);
    QZRPasteboardProxy::Copy copy = QZRPasteboardProxy::selectedText(x, r.overOwnWindow, {sel.focusedText, sel.terminal});
    *restore = std::move(copy.saved);
    *restoreNeeded = copy.restoreNeeded;
    return taken(copy.text, Source::Copy);
}

void CaptureReader::selectedText(const Request& request, QObject* context,
                                 std::function<void(const Selected&)> done) {
    const quint64 seq = ++selectionSeq_;
    QPointer<QObject> ctx(context);
    std::shared_ptr<Worker> w = worker_;
    post([this, w, seq, request, ctx, done = std::move(done)] {
        if (seq != selectionSeq_.load()) return;
        if (readStartedHook()) readStartedHook()();
        auto restore = std::make_shared<PasteboardArchive>();
        bool restoreNeeded = false;
        const Selected s = w->readSelection(request, restore.get(), &restoreNeeded);
        runOnMain([this, seq, s, ctx, done, restore, restoreNeeded] {
            // The user's clipboard comes back whatever became of the request.
            if (restoreNeeded) restore->restore();
            if (!ctx || seq != selectionSeq_.load()) return;
            done(s);
        });
    });
}

void CaptureReader::textAround(const QPoint& px, QObject* context,
                               std::function<void(const AtspiReader::Around&)> done) {
    const quint64 seq = ++hoverSeq_;
    QPointer<QObject> ctx(context);
    std::shared_ptr<Worker> w = worker_;
    post([this, w, seq, px, ctx, done = std::move(done)] {
        if (seq != hoverSeq_.load()) return;
        if (readStartedHook()) readStartedHook()();
        w->ensure();
        const qint64 pid = w->x11->isValid() ? w->x11->pid(w->x11->pointerTopLevel()) : 0;
        const AtspiReader::Around a = w->atspi->textAround(px, pid);
        runOnMain([this, seq, a, ctx, done] {
            if (!ctx || seq != hoverSeq_.load()) return;
            done(a);
        });
    });
}
