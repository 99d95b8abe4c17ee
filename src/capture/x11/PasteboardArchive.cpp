#include "capture/x11/PasteboardArchive.h"

#include <QAbstractNativeEventFilter>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>
#include <QTimer>
#include <QWindow>
#include <functional>
#include <vector>

#include <xcb/xcb.h>

namespace {

// Qt claims the clipboard with the time of the last X event it saw. While
// the user works in other windows that can be long ago, older than the
// owner we replace, and the server then silently refuses the claim. A
// property change on a window of ours brings a fresh time into Qt before
// the claim is made.
class ClaimAfterFreshTime : public QAbstractNativeEventFilter {
public:
    static ClaimAfterFreshTime& shared() {
        static ClaimAfterFreshTime* f = new ClaimAfterFreshTime();
        return *f;
    }

    void run(std::function<void()> task) {
        auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
        if (!x11 || !x11->connection()) {
            task();
            return;
        }
        tasks_.push_back(std::move(task));
        if (!window_) {
            window_ = new QWindow();
            window_->create();
            qApp->installNativeEventFilter(this);
        }
        xcb_connection_t* c = x11->connection();
        const char name[] = "_MIRVOK_CLAIM_TIME";
        xcb_intern_atom_reply_t* reply =
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof(name) - 1, name), nullptr);
        if (!reply) {
            flush();
            return;
        }
        atom_ = reply->atom;
        free(reply);
        xcb_change_property(c, XCB_PROP_MODE_APPEND, xcb_window_t(window_->winId()), atom_, XCB_ATOM_STRING, 8, 0,
                            nullptr);
        xcb_flush(c);
        // Should the notice never come, claim anyway rather than keep the
        // user's clipboard waiting.
        QTimer::singleShot(250, qApp, [this] { flush(); });
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t" || !window_) return false;
        auto* ev = static_cast<xcb_generic_event_t*>(message);
        if ((ev->response_type & 0x7f) != XCB_PROPERTY_NOTIFY) return false;
        auto* pn = reinterpret_cast<xcb_property_notify_event_t*>(ev);
        // Qt takes the time from this event once the filter lets it pass.
        if (pn->window == xcb_window_t(window_->winId()) && pn->atom == atom_)
            QTimer::singleShot(0, qApp, [this] { flush(); });
        return false;
    }

private:
    void flush() {
        auto tasks = std::move(tasks_);
        tasks_.clear();
        for (auto& t : tasks) t();
    }

    QPointer<QWindow> window_;
    xcb_atom_t atom_ = 0;
    std::vector<std::function<void()>> tasks_;
};

}  // namespace

QMimeData* PasteboardArchive::toMimeData() const {
    auto* md = new QMimeData;
    QString utf8Text;
    QString latinText;
    for (const auto& [name, bytes] : formats) {
        if (name == QLatin1String("UTF8_STRING") || name == QLatin1String("text/plain;charset=utf-8")) {
            utf8Text = QString::fromUtf8(bytes);
        } else if (name == QLatin1String("STRING")) {
            latinText = QString::fromLatin1(bytes);
        } else if (name.contains(u'/') && name != QLatin1String("text/plain")) {
            md->setData(name, bytes);
        }
    }
    if (!utf8Text.isNull())
        md->setText(utf8Text);
    else if (!latinText.isNull())
        md->setText(latinText);
    return md;
}

void PasteboardArchive::restore() const {
    const PasteboardArchive copy = *this;
    ClaimAfterFreshTime::shared().run([copy] {
        QClipboard* cb = QGuiApplication::clipboard();
        if (!cb) return;
        if (copy.formats.isEmpty())
            cb->clear(QClipboard::Clipboard);
        else
            cb->setMimeData(copy.toMimeData(), QClipboard::Clipboard);
    });
}
