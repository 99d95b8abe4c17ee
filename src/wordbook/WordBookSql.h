#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

namespace SQLite {
class Database;
class Statement;
}  // namespace SQLite

// Statement helpers for the word book's store. Every value is text; a null
// QString binds as SQL NULL and a NULL column reads as a null QString.
// Failures are logged and answered with false / an empty result.
namespace wbsql {

using Row = QStringList;

// The last failure on this thread (SQLite's extended result code and the
// errno behind it), kept until clearFailure: a caller that only got false
// can still tell a full disk from a damaged file.
struct Failure {
    int code = 0;
    int sysErrno = 0;
};
Failure lastFailure();
void clearFailure();
void noteFailure(int code, int sysErrno);

// quiet: an expected failure (such as re-adding an existing column).
bool exec(SQLite::Database& db, const QString& sql, const QStringList& binds = {}, bool quiet = false);
std::vector<Row> rows(SQLite::Database& db, const QString& sql, const QStringList& binds = {},
                      bool* ok = nullptr);
// Hands each row to `take` as it is read, until `take` answers false: a
// large book's rows are never all held at once. False when the query failed.
bool eachRow(SQLite::Database& db, const QString& sql, const QStringList& binds,
             const std::function<bool(const Row&)>& take);
bool exists(SQLite::Database& db, const QString& sql, const QStringList& binds = {});
int changes(SQLite::Database& db);

// One statement compiled once and run again and again: a large import
// spent most of its time compiling the same few statements for every row.
// Failures are reported as exec reports them.
class Prepared {
public:
    Prepared(SQLite::Database& db, QString sql);
    ~Prepared();
    Prepared(const Prepared&) = delete;
    Prepared& operator=(const Prepared&) = delete;
    bool run(const QStringList& binds);

private:
    SQLite::Database& db_;
    QString sql_;
    std::unique_ptr<SQLite::Statement> st_;
};

// A write transaction taken at once, so that a second writer waits in the
// busy handler instead of failing on a lock upgrade.
bool begin(SQLite::Database& db);
// Rolls the transaction back itself when the commit fails.
bool commit(SQLite::Database& db);
void rollback(SQLite::Database& db);
// A write transaction of this process is open on another thread than the
// caller's: a lock met now is most likely ours (a large import holds the
// file for seconds), not another program's.
bool writeOpenElsewhere();

}  // namespace wbsql
