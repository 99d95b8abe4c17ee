#include "query/StoreFile.h"

#include "platform/PrivateFiles.h"
#include "platform/UserNotices.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <SQLiteCpp/SQLiteCpp.h>
#include <cerrno>
#include <sqlite3.h>

namespace storefile {
namespace {
// Beside the database: its rollback journal and the files of WAL mode. A
// journal left beside a fresh file would be played into it.
const char* const kCompanions[] = {"-journal", "-wal", "-shm"};

bool isDamage(int code)
{
    const int primary = code & 0xff;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT || code == SQLITE_IOERR_SHORT_READ;
}

// What stops this version from using the file: empty when nothing does,
// "damaged: …" when SQLite cannot read it, "newer: …" for unknown columns,
// anything else when it cannot be looked at.
QString inspect(const QString& path, const Layout& layout, int busyTimeoutMs, bool* damaged, bool* newer,
                bool* busy)
{
    try {
        SQLite::Database db(path.toStdString(), SQLite::OPEN_READONLY, busyTimeoutMs);
        SQLite::Statement check(db, "PRAGMA quick_check");
        while (check.executeStep()) {
            const QString line = QString::fromUtf8(check.getColumn(0).getText());
            if (line != QLatin1String("ok")) {
                *damaged = true;
                return line;
            }
        }
        for (auto it = layout.cbegin(); it != layout.cend(); ++it) {
            SQLite::Statement info(db, QStringLiteral("PRAGMA table_info(\"%1\")").arg(it.key()).toStdString());
            while (info.executeStep()) {
                const QString column = QString::fromUtf8(info.getColumn(1).getText());
                if (!it.value().contains(column, Qt::CaseInsensitive)) {
                    *newer = true;
                    return QStringLiteral("%1.%2").arg(it.key(), column);
                }
            }
        }
    } catch (const SQLite::Exception& e) {
        *damaged = isDamage(e.getExtendedErrorCode()) || isDamage(e.getErrorCode());
        *busy = (e.getErrorCode() & 0xff) == SQLITE_BUSY || (e.getErrorCode() & 0xff) == SQLITE_LOCKED;
        return QString::fromUtf8(e.what());
    }
    return {};
}
}  // namespace

Check prepare(const QString& path, const Layout& layout, const QString& storeTitle, int busyTimeoutMs)
{
    Check out;
    if (!QFileInfo::exists(path))
        return out;
    bool damaged = false, newer = false, busy = false;
    out.error = inspect(path, layout, busyTimeoutMs, &damaged, &newer, &busy);
    if (out.error.isEmpty())
        return out;
    if (busy) {
        out.state = State::Busy;
        qInfo().noquote() << "store:" << path << "is held by another program -" << out.error;
        return out;
    }
    if (newer) {
        out.state = State::NewerLayout;
        qWarning().noquote() << "store:" << path << "is of a newer layout (" << out.error << "); not written";
        usernotices::post(QStringLiteral("%1文件“%2”来自更新版本的 Mirvok，本版本不会修改它。请更新 Mirvok。")
                              .arg(storeTitle, QDir::toNativeSeparators(path)));
        return out;
    }
    if (!damaged) {
        out.state = State::Unreachable;
        qWarning().noquote() << "store: cannot check" << path << "-" << out.error;
        return out;
    }
    const QString aside = privatefiles::damagedAsideName(path, {QLatin1String(kCompanions[0])});
    if (!QFile::rename(path, aside)) {
        out.state = State::Unreachable;
        qWarning().noquote() << "store:" << path << "is damaged (" << out.error << ") and cannot be moved aside";
        return out;
    }
    for (const char* suffix : kCompanions) {
        const QString from = path + QLatin1String(suffix);
        if (QFileInfo::exists(from) && !QFile::rename(from, aside + QLatin1String(suffix)))
            qWarning().noquote() << "store: cannot move" << from << "aside";
    }
    out.state = State::SetAside;
    out.asidePath = aside;
    qWarning().noquote() << "store:" << path << "is damaged (" << out.error << "); moved to" << aside;
    usernotices::post(QStringLiteral("%1文件已损坏，无法读取。原文件已保存为“%2”，并已新建%1。")
                          .arg(storeTitle, QDir::toNativeSeparators(aside)));
    return out;
}

Fault faultOf(int sqliteCode, int sysErrno)
{
    const bool full = sysErrno == ENOSPC || sysErrno == EDQUOT || sysErrno == EFBIG;
    const bool denied = sysErrno == EACCES || sysErrno == EPERM || sysErrno == EROFS;
    switch (sqliteCode & 0xff) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW:
        return Fault::None;
    case SQLITE_FULL:
        return Fault::DiskFull;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return Fault::NoPermission;
    case SQLITE_CANTOPEN:
        return full ? Fault::DiskFull : sysErrno == ENOENT ? Fault::Other : Fault::NoPermission;
    case SQLITE_IOERR:
        return full ? Fault::DiskFull : denied ? Fault::NoPermission : Fault::Other;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return Fault::Damaged;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return Fault::Busy;
    default:
        return Fault::Other;
    }
}

}  // namespace storefile
