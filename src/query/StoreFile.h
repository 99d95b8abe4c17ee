#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

// Our SQLite stores (history.db, wordbook.db) at their first open in a run,
// and what a failed statement on them means to the user.
namespace storefile {

// Table → the columns this version reads and writes.
using Layout = QMap<QString, QStringList>;

enum class State {
    Ready,        // absent (made fresh by its owner) or readable with a known layout
    SetAside,     // unreadable: moved to asidePath; the owner makes a fresh one
    NewerLayout,  // readable, but a later version added columns: never write it
    Unreachable,  // cannot even be looked at (permissions, I/O): left alone
    Busy,         // another program holds it locked: look again later
};

struct Check {
    State state = State::Ready;
    QString asidePath;
    QString error;
};

// Call before the first connection of the run. A file SQLite cannot read
// ("file is not a database", "malformed") is renamed, with its journal, to
// <name>.damaged-<yyyyMMdd-hhmmss> beside it, never over an earlier one; a
// table with a column the layout does not name marks a file of a newer
// version. storeTitle ("单词本", "查询历史") names the store in what the user
// is told, once, through usernotices.
// busyTimeoutMs bounds the wait for a lock another program holds.
Check prepare(const QString& path, const Layout& layout, const QString& storeTitle, int busyTimeoutMs = 5000);

// Why a statement failed, as the user can act on it.
// Busy: another connection held the file past the busy timeout.
enum class Fault { None, DiskFull, NoPermission, Damaged, NewerLayout, Busy, Other };
// From SQLite's (extended) result code and the errno behind it.
Fault faultOf(int sqliteCode, int sysErrno);

}  // namespace storefile
