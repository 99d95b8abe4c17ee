// A real Qt application for the capture tests: a window with a line edit
// and a text edit, reporting on stdout what reached it (keys, clipboard
// changes) and where its words are on screen; or, with --clipboard-owner,
// a windowless owner of the clipboard holding text and a PNG image; or,
// with --primary-owner <text>, of PRIMARY holding that text.
//
// With --print-clipboard it prints what the clipboard offers and exits:
// "format <mime> <bytes>" per format, then "text <text>".
//
// With --pad edit|terminal|edit-empty the window is one custom-drawn pad
// whose accessible has a text role and no text interface, as applications
// that draw their own text expose themselves ("terminal": inside a box with
// the terminal role); Ctrl+C there copies "banana" ("edit-empty": copies
// nothing). Its accessible keeps saying "focused"
// while the window is not active, as some toolkits do. Its spot is
// reported as "word pad <x> <y>".
//
// stdout lines:  ready / word <name> <x> <y> / key <text> / clipboard <text>
// stdin lines:   select <start> <end>   (text edit selection, no PRIMARY)
//                focus                  (activate the window)
//                primary <text>         (own the primary selection)
#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QSocketNotifier>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>
#include <unistd.h>

namespace {
void say(const QString& line) {
    std::fprintf(stdout, "%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

class KeyReporter : public QObject {
protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::KeyPress && o->isWidgetType()) {
            auto* k = static_cast<QKeyEvent*>(e);
            if (!k->isAutoRepeat())
                say(QStringLiteral("key %1 %2").arg(k->key()).arg(int(k->modifiers())));
        }
        return false;
    }
};

class Pad : public QWidget {
public:
    Pad(QAccessible::Role role, bool copies) : role_(role), copies_(copies) {
        setFocusPolicy(Qt::StrongFocus);
        setMinimumSize(400, 200);
    }
    QAccessible::Role role() const { return role_; }

protected:
    void keyPressEvent(QKeyEvent* e) override {
        if (e->matches(QKeySequence::Copy) && copies_) QApplication::clipboard()->setText(QStringLiteral("banana"));
    }

private:
    QAccessible::Role role_;
    bool copies_;
};

class PadAccessible : public QAccessibleWidget {
public:
    explicit PadAccessible(Pad* pad) : QAccessibleWidget(pad, pad->role()) {}
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.focusable = true;
        s.focused = widget()->window()->focusWidget() == widget();
        return s;
    }
};

// A terminal as web and IDE terminals build one: a box with the terminal
// role around a focused text field that takes the keys.
class TerminalBox : public QWidget {};

QAccessibleInterface* padFactory(const QString&, QObject* o) {
    if (auto* pad = dynamic_cast<Pad*>(o)) return new PadAccessible(pad);
    if (auto* box = dynamic_cast<TerminalBox*>(o)) return new QAccessibleWidget(box, QAccessible::Terminal);
    return nullptr;
}

QByteArray pngBytes() {
    QImage img(4, 4, QImage::Format_ARGB32);
    img.fill(QColor(10, 200, 30));
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    return bytes;
}
}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.contains(QStringLiteral("--print-clipboard"))) {
        const QMimeData* md = QApplication::clipboard()->mimeData(QClipboard::Clipboard);
        for (const QString& f : md ? md->formats() : QStringList())
            say(QStringLiteral("format %1 %2").arg(f).arg(md->data(f).size()));
        say(QStringLiteral("text ") + QApplication::clipboard()->text(QClipboard::Clipboard));
        return 0;
    }
    if (args.contains(QStringLiteral("--print-primary"))) {
        say(QApplication::clipboard()->text(QClipboard::Selection));
        return 0;
    }
    const qsizetype primaryArg = args.indexOf(QStringLiteral("--primary-owner"));
    if (primaryArg >= 0) {
        QApplication::clipboard()->setText(args.value(primaryArg + 1), QClipboard::Selection);
        say(QStringLiteral("ready"));
        return app.exec();
    }
    if (args.contains(QStringLiteral("--clipboard-owner"))) {
        auto* md = new QMimeData;
        md->setText(QStringLiteral("saved clipboard text"));
        md->setData(QStringLiteral("image/png"), pngBytes());
        QApplication::clipboard()->setMimeData(md, QClipboard::Clipboard);
        say(QStringLiteral("ready"));
        return app.exec();
    }

    const qsizetype padArg = args.indexOf(QStringLiteral("--pad"));
    if (padArg >= 0) {
        const QString kind = args.value(padArg + 1);
        QAccessible::installFactory(padFactory);
        QWidget window;
        auto* box = new TerminalBox;
        auto* pad = new Pad(QAccessible::EditableText, kind != QLatin1String("edit-empty"));
        auto* outer = new QVBoxLayout(&window);
        if (kind == QLatin1String("terminal")) {
            auto* inner = new QVBoxLayout(box);
            inner->addWidget(pad);
            outer->addWidget(box);
        } else {
            outer->addWidget(pad);
        }
        QWidget* top = &window;
        top->setWindowTitle(QStringLiteral("CaptureTarget"));
        top->move(700, 420);
        KeyReporter keys;
        app.installEventFilter(&keys);
        top->show();
        top->activateWindow();
        pad->setFocus();
        QTimer::singleShot(300, pad, [&] {
            const QPoint c = pad->mapToGlobal(pad->rect().center());
            say(QStringLiteral("word pad %1 %2").arg(c.x()).arg(c.y()));
            say(QStringLiteral("ready"));
        });
        QSocketNotifier in(STDIN_FILENO, QSocketNotifier::Read);
        QObject::connect(&in, &QSocketNotifier::activated, [&] {
            char buf[256];
            if (::read(STDIN_FILENO, buf, sizeof buf) <= 0) {
                in.setEnabled(false);
                return;
            }
            top->activateWindow();
            pad->setFocus();
            say(QStringLiteral("focused"));
        });
        return app.exec();
    }

    QWidget w;
    w.setWindowTitle(QStringLiteral("CaptureTarget"));
    auto* layout = new QVBoxLayout(&w);
    auto* line = new QLineEdit(QStringLiteral("alpha bravo charlie"));
    line->setObjectName(QStringLiteral("line"));
    auto* edit = new QTextEdit;
    edit->setObjectName(QStringLiteral("edit"));
    // An emoji (two UTF-16 units) and a full-width question mark before
    // the words the hover test points at.
    edit->setPlainText(QString::fromUtf8("one \xF0\x9F\x98\x80 two\xEF\xBC\x9F apple banana\n"
                                         "12. cherry pie\n"
                                         "Xaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"));
    QFont f = edit->font();
    f.setPointSize(14);
    edit->setFont(f);
    line->setFont(f);
    layout->addWidget(line);
    layout->addWidget(edit);
    w.resize(520, 260);
    w.move(60, 60);
    KeyReporter keys;
    app.installEventFilter(&keys);
    QObject::connect(QApplication::clipboard(), &QClipboard::dataChanged, [] {
        say(QStringLiteral("clipboard ") + QApplication::clipboard()->text(QClipboard::Clipboard));
    });
    w.show();
    w.activateWindow();
    edit->setFocus();

    auto report = [&] {
        const QString text = edit->toPlainText();
        for (const QString& word : {QStringLiteral("apple"), QStringLiteral("banana"), QStringLiteral("two"),
                                    QStringLiteral("cherry"), QStringLiteral("Xaaaa")}) {
            QTextCursor c(edit->document());
            c.setPosition(int(text.indexOf(word)) + 2);
            const QRect r = edit->cursorRect(c);
            const QPoint g = edit->viewport()->mapToGlobal(r.center());
            say(QStringLiteral("word %1 %2 %3").arg(word).arg(g.x()).arg(g.y()));
        }
        const QPoint lg = line->mapToGlobal(QPoint(line->fontMetrics().horizontalAdvance(QStringLiteral("alpha b")) + 4,
                                                   line->height() / 2));
        say(QStringLiteral("word bravo %1 %2").arg(lg.x()).arg(lg.y()));
        say(QStringLiteral("ready"));
    };
    QTimer::singleShot(300, &w, report);

    QSocketNotifier in(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&in, &QSocketNotifier::activated, [&] {
        char buf[256];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf - 1);
        if (n <= 0) {
            in.setEnabled(false);
            return;
        }
        for (const QString& cmd : QString::fromUtf8(buf, int(n)).split(u'\n', Qt::SkipEmptyParts)) {
            const QStringList p = cmd.split(u' ');
            if (p.value(0) == QLatin1String("select") && p.size() == 3) {
                QTextCursor c(edit->document());
                c.setPosition(p[1].toInt());
                c.setPosition(p[2].toInt(), QTextCursor::KeepAnchor);
                edit->setTextCursor(c);
                say(QStringLiteral("selected"));
            } else if (p.value(0) == QLatin1String("primary") && p.size() >= 2) {
                QApplication::clipboard()->setText(cmd.mid(8), QClipboard::Selection);
                say(QStringLiteral("selected"));
            } else if (p.value(0) == QLatin1String("focus")) {
                w.activateWindow();
                edit->setFocus();
                say(QStringLiteral("focused"));
            }
        }
    });
    return app.exec();
}
