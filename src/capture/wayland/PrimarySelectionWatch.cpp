#include "capture/wayland/PrimarySelectionWatch.h"

#include "capture/wayland/PrimarySelectionLines.h"

#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>

namespace {
Q_LOGGING_CATEGORY(lcPrimary, "mirvok.capture.primary")

constexpr qint64 kMaxBytes = 64 * 1024;
}  // namespace

PrimarySelectionWatch::PrimarySelectionWatch(QObject* parent) : QObject(parent) {}

PrimarySelectionWatch::~PrimarySelectionWatch() {
    if (watch_) {
        watch_->disconnect(this);
        watch_->kill();
        watch_->waitForFinished(1000);
    }
}

QString PrimarySelectionWatch::program() {
    return QStandardPaths::findExecutable(QStringLiteral("wl-paste"));
}

void PrimarySelectionWatch::setState(bool active, const QString& note) {
    active_ = active;
    note_ = note;
    emit stateChanged();
}

void PrimarySelectionWatch::start() {
    if (watch_) return;
    const QString exe = program();
    if (exe.isEmpty()) return setState(false, QStringLiteral("未安装 wl-clipboard"));
    watch_ = new QProcess(this);
    watch_->setProcessChannelMode(QProcess::SeparateChannels);
    // wl-paste hands each new selection to the command's input, which must
    // be read whole (a command that leaves it unread makes the owner lose
    // the selection). One base64 line per change: a selection holding line
    // feeds cannot split a report.
    connect(watch_, &QProcess::readyReadStandardOutput, this, [this] {
        pending_ += watch_->readAllStandardOutput();
        for (const std::optional<QString>& text : primaryselection::takeLines(pending_, kMaxBytes)) {
            if (!active_) setState(true, QString());
            emit changed();
            if (text) emit selected(*text);
        }
    });
    connect(watch_, &QProcess::started, this, [this] { setState(true, QString()); });
    connect(watch_, &QProcess::finished, this, [this] {
        const QString why = QString::fromLocal8Bit(watch_->readAllStandardError()).trimmed();
        qCInfo(lcPrimary).noquote() << "primary selection watch ended:" << why;
        setState(false, QStringLiteral("混成器不提供 data-control 协议"));
    });
    connect(watch_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) setState(false, QStringLiteral("无法启动 wl-paste"));
    });
    watch_->start(exe, {QStringLiteral("--primary"), QStringLiteral("--type"), QStringLiteral("text"),
                        QStringLiteral("--watch"), QStringLiteral("sh"), QStringLiteral("-c"),
                        QStringLiteral("base64 -w0; echo")});
}
