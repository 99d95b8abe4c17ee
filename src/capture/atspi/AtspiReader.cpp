#include "capture/atspi/AtspiReader.h"

#include <QElapsedTimer>
#include <QLoggingCategory>

// glib's headers use "signals" as a name; Qt defines it as a keyword.
#pragma push_macro("signals")
#undef signals
#include <atspi/atspi.h>
#pragma pop_macro("signals")

namespace {
Q_LOGGING_CATEGORY(lcAtspi, "mirvok.capture.atspi", QtInfoMsg)

constexpr int kCallTimeoutMs = 250;
constexpr int kReadBudgetMs = 500;
constexpr int kWindow = 20;

template <typename T>
struct Ref {
    T* p = nullptr;
    Ref() = default;
    explicit Ref(T* v) : p(v) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& o) noexcept : p(o.p) { o.p = nullptr; }
    Ref& operator=(Ref&& o) noexcept {
        if (this != &o) {
            reset();
            p = o.p;
            o.p = nullptr;
        }
        return *this;
    }
    ~Ref() { reset(); }
    void reset() {
        if (p) g_object_unref(p);
        p = nullptr;
    }
    explicit operator bool() const { return p != nullptr; }
};
using Acc = Ref<AtspiAccessible>;

// Roles whose element holds text a user reads or edits. The password field
// is left out: its text is never to be copied.
bool isTextRole(AtspiRole role) {
    switch (role) {
    case ATSPI_ROLE_TEXT:
    case ATSPI_ROLE_ENTRY:
    case ATSPI_ROLE_PARAGRAPH:
    case ATSPI_ROLE_HEADING:
    case ATSPI_ROLE_STATIC:
    case ATSPI_ROLE_CAPTION:
    case ATSPI_ROLE_EDITBAR:
    case ATSPI_ROLE_DOCUMENT_FRAME:
    case ATSPI_ROLE_DOCUMENT_TEXT:
    case ATSPI_ROLE_DOCUMENT_WEB:
    case ATSPI_ROLE_DOCUMENT_EMAIL:
        return true;
    default:
        return false;
    }
}

QString takeString(gchar* s) {
    if (!s) return QString();
    QString r = QString::fromUtf8(s);
    g_free(s);
    return r;
}
}  // namespace

struct AtspiReader::Impl {
    QElapsedTimer clock;
    bool failed = false;

    // Each call goes through here: a failed call ends the read.
    bool check(GError* error) {
        if (error) {
            qCDebug(lcAtspi) << "accessibility call failed:" << error->message;
            g_error_free(error);
            failed = true;
        }
        if (clock.elapsed() > kReadBudgetMs) failed = true;
        return !failed;
    }

    // The deepest element at the point inside one frame.
    Acc deepestAt(AtspiAccessible* frame, const QPoint& px) {
        Acc current(ATSPI_ACCESSIBLE(g_object_ref(frame)));
        for (int depth = 0; depth < 32 && !failed; ++depth) {
            AtspiComponent* comp = atspi_accessible_get_component_iface(current.p);
            if (!comp) break;
            GError* err = nullptr;
            AtspiAccessible* child =
                atspi_component_get_accessible_at_point(comp, px.x(), px.y(), ATSPI_COORD_TYPE_SCREEN, &err);
            g_object_unref(comp);
            if (!check(err) || !child) {
                if (child) g_object_unref(child);
                break;
            }
            if (child == current.p) {
                g_object_unref(child);
                break;
            }
            current = Acc(child);
        }
        return current;
    }

    // The element under the point, found through the frame that holds it.
    Acc elementAt(const QPoint& px, qint64 pid) {
        Acc desktop(atspi_get_desktop(0));
        if (!desktop) return {};
        GError* err = nullptr;
        const int apps = atspi_accessible_get_child_count(desktop.p, &err);
        if (!check(err)) return {};
        for (int a = 0; a < apps && !failed; ++a) {
            Acc app(atspi_accessible_get_child_at_index(desktop.p, a, &err));
            if (!check(err) || !app) continue;
            if (pid > 0) {
                const guint appPid = atspi_accessible_get_process_id(app.p, &err);
                if (err) {
                    g_error_free(err);
                    err = nullptr;
                    continue;
                }
                if (qint64(appPid) != pid) continue;
            }
            const int frames = atspi_accessible_get_child_count(app.p, &err);
            if (!check(err)) return {};
            for (int f = 0; f < frames && !failed; ++f) {
                Acc frame(atspi_accessible_get_child_at_index(app.p, f, &err));
                if (!check(err) || !frame) continue;
                // A minimised or hidden window may still cover the point.
                AtspiStateSet* states = atspi_accessible_get_state_set(frame.p);
                const bool showing = states && atspi_state_set_contains(states, ATSPI_STATE_SHOWING);
                if (states) g_object_unref(states);
                if (!showing) continue;
                AtspiComponent* comp = atspi_accessible_get_component_iface(frame.p);
                if (!comp) continue;
                const gboolean inside = atspi_component_contains(comp, px.x(), px.y(), ATSPI_COORD_TYPE_SCREEN, &err);
                g_object_unref(comp);
                if (!check(err)) return {};
                if (inside) return deepestAt(frame.p, px);
            }
        }
        return {};
    }

    // Qt answers the deepest child (a text edit's viewport, which has no
    // text): the nearest ancestor with text is what the user points at.
    // Along the way: whether a terminal holds the point, and whether the
    // nearest element with a text role has the focus.
    Acc nearestText(Acc element, bool* terminal, bool* focusedText = nullptr) {
        bool sawTextRole = false;
        for (int depth = 0; element && depth < 8 && !failed; ++depth) {
            GError* err = nullptr;
            const AtspiRole role = atspi_accessible_get_role(element.p, &err);
            if (!check(err)) return {};
            if (role == ATSPI_ROLE_TERMINAL) *terminal = true;
            if (focusedText && !sawTextRole && isTextRole(role)) {
                sawTextRole = true;
                AtspiStateSet* states = atspi_accessible_get_state_set(element.p);
                *focusedText = states && atspi_state_set_contains(states, ATSPI_STATE_FOCUSED);
                if (states) g_object_unref(states);
            }
            if (AtspiText* t = atspi_accessible_get_text_iface(element.p)) {
                g_object_unref(t);
                return element;
            }
            if (role == ATSPI_ROLE_FRAME || role == ATSPI_ROLE_WINDOW || role == ATSPI_ROLE_APPLICATION) return {};
            AtspiAccessible* parent = atspi_accessible_get_parent(element.p, &err);
            if (!check(err)) {
                if (parent) g_object_unref(parent);
                return {};
            }
            element = Acc(parent);
        }
        return {};
    }
};

AtspiReader::AtspiReader() : d_(new Impl) {
    const int status = atspi_init();
    valid_ = status == 0 || status == 1;
    if (!valid_) {
        qCWarning(lcAtspi) << "accessibility bus unavailable:" << status;
        return;
    }
    // Replies to our calls are read on this thread's loop, not the main one.
    atspi_set_main_context(g_main_context_get_thread_default());
    atspi_set_timeout(kCallTimeoutMs, kCallTimeoutMs);
}

AtspiReader::~AtspiReader() { delete d_; }

AtspiReader::Selection AtspiReader::selectionAt(const QPoint& px, qint64 pid) {
    Selection out;
    if (!valid_) return out;
    d_->failed = false;
    d_->clock.start();
    Acc element = d_->elementAt(px, pid);
    Acc text = d_->nearestText(std::move(element), &out.terminal, &out.focusedText);
    out.failed = d_->failed;
    if (!text || d_->failed) return out;
    out.foundText = true;
    AtspiText* iface = atspi_accessible_get_text_iface(text.p);
    if (!iface) return out;
    GError* err = nullptr;
    const int n = atspi_text_get_n_selections(iface, &err);
    if (d_->check(err) && n > 0) {
        AtspiRange* range = atspi_text_get_selection(iface, 0, &err);
        if (d_->check(err) && range && range->end_offset > range->start_offset) {
            out.text = takeString(atspi_text_get_text(iface, range->start_offset, range->end_offset, &err));
            d_->check(err);
        }
        if (range) g_free(range);
    }
    g_object_unref(iface);
    out.failed = d_->failed;
    return out;
}

AtspiReader::Around AtspiReader::windowFromTexts(const QString& before, const QString& window) {
    Around out;
    QString text = window;
    int offset = int(before.size());
    // An edge that splits a surrogate pair leaves half a character.
    if (!text.isEmpty() && text.front().isLowSurrogate()) {
        text.remove(0, 1);
        offset = qMax(0, offset - 1);
    }
    if (!text.isEmpty() && text.back().isHighSurrogate()) text.chop(1);
    out.ok = !text.isEmpty();
    out.text = text;
    out.offset = qMin(offset, int(text.size()));
    return out;
}

AtspiReader::Around AtspiReader::textAround(const QPoint& px, qint64 pid) {
    Around out;
    if (!valid_) return out;
    d_->failed = false;
    d_->clock.start();
    bool terminal = false;
    Acc element = d_->elementAt(px, pid);
    Acc text = d_->nearestText(std::move(element), &terminal);
    if (!text || d_->failed) {
        out.failed = d_->failed;
        return out;
    }
    AtspiText* iface = atspi_accessible_get_text_iface(text.p);
    if (!iface) return out;
    GError* err = nullptr;
    const int at = atspi_text_get_offset_at_point(iface, px.x(), px.y(), ATSPI_COORD_TYPE_SCREEN, &err);
    const bool okAt = d_->check(err) && at >= 0;
    const int count = okAt ? atspi_text_get_character_count(iface, &err) : 0;
    if (okAt && d_->check(err) && at < count) {
        const int start = at >= kWindow ? at - kWindow : 0;
        const int end = qMin(start + 2 * kWindow + 1, count);
        const QString before = takeString(atspi_text_get_text(iface, start, at, &err));
        if (d_->check(err)) {
            const QString window = takeString(atspi_text_get_text(iface, start, end, &err));
            if (d_->check(err)) out = windowFromTexts(before, window);
        }
    }
    g_object_unref(iface);
    out.failed = d_->failed;
    return out;
}
