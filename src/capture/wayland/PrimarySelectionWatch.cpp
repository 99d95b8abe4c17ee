#include "capture/wayland/PrimarySelectionWatch.h"

#include "capture/wayland/PrimarySelectionLines.h"

#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>
#include <functional>
#include <memory>
#include <utility>

namespace {
Q_LOGGING_CATEGORY(lcPrimary, "mirvok.capture.primary")

constexpr qint64 kMaxBytes = 64 * 1024;
constexpr int kFirstDelayMs = 500;
constexpr int kLongestDelayMs = 30000;
constexpr qint64 kSteadyMs = 60000;

void stop(QProcess* p) {
    if (!p) return;
    p->disconnect();
    p->kill();
    p->waitForFinished(1000);
}
}  // namespace

PrimarySelectionWatch::PrimarySelectionWatch(QObject* parent) : QObject(parent) {
    restart_.setSingleShot(true);
    connect(&restart_, &QTimer::timeout, this, &PrimarySelectionWatch::launch);
}

PrimarySelectionWatch::~PrimarySelectionWatch() {
    restart_.stop();
    stop(reader_);
    stop(watch_);
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
    if (started_) return;
    started_ = true;
    if (program().isEmpty()) return setState(false, QStringLiteral("未安装 wl-clipboard"));
    readCurrent();
}

void PrimarySelectionWatch::readCurrent() {
    // What is selected now was selected before we started: its report from
    // the watch is no new selection.
    read([this](const std::optional<QString>& text) {
        known_ = text.value_or(QString());
        launch();
    });
}

void PrimarySelectionWatch::read(std::function<void(const std::optional<QString>&)> then) {
    // Read whole, within the lookup limit: nullopt for a longer text, empty
    // for no selection (or none readable). A read still running was asked
    // for a report since replaced: it is let go unwaited.
    if (reader_) {
        reader_->disconnect();
        reader_->kill();
        reader_->deleteLater();
    }
    reader_ = new QProcess(this);
    auto tooLong = std::make_shared<bool>(false);
    connect(reader_, &QProcess::readyReadStandardOutput, this, [this, tooLong] {
        if (reader_->bytesAvailable() <= kMaxBytes) return;
        *tooLong = true;
        reader_->kill();
    });
    auto done = [this, tooLong, then = std::move(then)] {
        const bool ok = reader_->exitStatus() == QProcess::NormalExit && reader_->exitCode() == 0;
        const std::optional<QString> text = *tooLong ? std::nullopt
                                                     : std::optional(ok ? QString::fromUtf8(reader_->readAllStandardOutput())
                                                                        : QString());
        reader_->deleteLater();
        reader_ = nullptr;
        then(text);
    };
    connect(reader_, &QProcess::finished, this, done);
    connect(reader_, &QProcess::errorOccurred, this, [done](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) done();
    });
    reader_->start(program(), {QStringLiteral("--primary"), QStringLiteral("--type"), QStringLiteral("text"),
                               QStringLiteral("--no-newline")});
}

void PrimarySelectionWatch::launch() {
    watch_ = new QProcess(this);
    pending_.clear();
    droppingLine_ = false;
    firstInRun_ = true;
    watch_->setProcessChannelMode(QProcess::SeparateChannels);
    // wl-paste hands each new selection to the command's input, which must
    // be read whole (a command that leaves it unread makes the owner lose
    // the selection). One base64 line per change: a selection holding line
    // feeds cannot split a report.
    connect(watch_, &QProcess::readyReadStandardOutput, this, [this] {
        pending_ += watch_->readAllStandardOutput();
        for (const std::optional<QString>& text : primaryselection::takeLines(pending_, droppingLine_, kMaxBytes))
            report(text);
    });
    connect(watch_, &QProcess::started, this, [this] {
        lived_.start();
        setState(true, QString());
    });
    connect(watch_, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        QStringList lines = QString::fromLocal8Bit(watch_->readAllStandardError()).trimmed().split(u'\n');
        QString why = lines.last().trimmed();
        if (why.isEmpty())
            why = status == QProcess::CrashExit ? QStringLiteral("被信号结束") : QStringLiteral("退出码 %1").arg(code);
        ended(why);
    });
    connect(watch_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) ended(QStringLiteral("无法启动 wl-paste"));
    });
    watch_->start(program(), {QStringLiteral("--primary"), QStringLiteral("--type"), QStringLiteral("text"),
                              QStringLiteral("--watch"), QStringLiteral("sh"), QStringLiteral("-c"),
                              QStringLiteral("base64 -w0; echo")});
}

void PrimarySelectionWatch::ended(const QString& why) {
    watch_->deleteLater();
    watch_ = nullptr;
    // A watch that served a while has a fault of its own behind it, not the
    // last one's: it is tried again soon.
    if (lived_.isValid() && lived_.elapsed() >= kSteadyMs) delayMs_ = kFirstDelayMs;
    lived_.invalidate();
    qCInfo(lcPrimary).noquote() << "primary selection watch ended:" << why << "- again in" << delayMs_ << "ms";
    setState(false, QStringLiteral("wl-paste 已退出：%1（%2 秒后重试）").arg(why, QString::number(delayMs_ / 1000.0)));
    restart_.start(delayMs_);
    delayMs_ = qMin(delayMs_ * 2, kLongestDelayMs);
}

void PrimarySelectionWatch::report(const std::optional<QString>& text) {
    if (!active_) setState(true, QString());
    ++reports_;
    const bool first = std::exchange(firstInRun_, false);
    if (first) qCInfo(lcPrimary) << "primary selection watch: first report since its start";
    if (first && (!text || *text == known_)) {
        qCInfo(lcPrimary) << "primary selection: selected before the watch started, not looked up";
        return;
    }
    // wl-paste reads each selection only once the command for the one
    // before has ended: the owner of one replaced meanwhile has gone and its
    // text reads empty, reported after the selection that replaced it (seen
    // with every quick change while the machine is busy). An empty report is
    // taken only once the selection, read again, is empty too.
    if (text && text->isEmpty()) {
        read([this, report = reports_](const std::optional<QString>& now) {
            if (report == reports_ && now && now->isEmpty()) accept(QString());
        });
        return;
    }
    accept(text);
}

void PrimarySelectionWatch::accept(const std::optional<QString>& text) {
    known_ = text.value_or(QString());
    emit changed();
    if (text) emit selected(*text);
}
