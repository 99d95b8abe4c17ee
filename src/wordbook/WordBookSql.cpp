#include "wordbook/WordBookSql.h"

#include <QDebug>
#include <atomic>
#include <SQLiteCpp/SQLiteCpp.h>
#include <sqlite3.h>

namespace wbsql {
namespace {
thread_local Failure t_failure;
// Write transactions open: on this thread, and in the process.
thread_local int t_writing = 0;
std::atomic<int> g_writing{0};

void transactionEnded()
{
    // A rollback after a commit that failed (and rolled back) counts once.
    if (t_writing > 0) {
        --t_writing;
        --g_writing;
    }
}

void bindAll(SQLite::Statement& st, const QStringList& binds)
{
    for (int i = 0; i < binds.size(); ++i) {
        if (binds[i].isNull())
            st.bind(i + 1);
        else
            st.bind(i + 1, binds[i].toStdString());
    }
}

void report(SQLite::Database& db, const QString& sql, const std::exception& e)
{
    const auto* sqlite = dynamic_cast<const SQLite::Exception*>(&e);
    noteFailure(sqlite ? sqlite->getExtendedErrorCode() : SQLITE_ERROR, sqlite3_system_errno(db.getHandle()));
    qWarning().noquote() << "wordbook: statement failed:" << sql.left(120) << "-" << e.what();
}
}  // namespace

bool exec(SQLite::Database& db, const QString& sql, const QStringList& binds, bool quiet)
{
    try {
        SQLite::Statement st(db, sql.toStdString());
        bindAll(st, binds);
        st.exec();
        return true;
    } catch (const std::exception& e) {
        // Quiet ones (an existing column, a rollback after a failure) must
        // not hide the failure that matters.
        if (!quiet)
            report(db, sql, e);
        return false;
    }
}

Prepared::Prepared(SQLite::Database& db, QString sql) : db_(db), sql_(std::move(sql)) {}

Prepared::~Prepared() = default;

bool Prepared::run(const QStringList& binds)
{
    try {
        if (!st_)
            st_ = std::make_unique<SQLite::Statement>(db_, sql_.toStdString());
        st_->reset();
        st_->clearBindings();
        bindAll(*st_, binds);
        st_->exec();
        return true;
    } catch (const std::exception& e) {
        report(db_, sql_, e);
        return false;
    }
}

bool eachRow(SQLite::Database& db, const QString& sql, const QStringList& binds,
             const std::function<bool(const Row&)>& take)
{
    try {
        SQLite::Statement st(db, sql.toStdString());
        bindAll(st, binds);
        const int n = st.getColumnCount();
        Row r;
        while (st.executeStep()) {
            r.clear();
            r.reserve(n);
            for (int i = 0; i < n; ++i) {
                SQLite::Column c = st.getColumn(i);
                r.append(c.isNull() ? QString() : QString::fromUtf8(c.getText()));
            }
            if (!take(r))
                break;
        }
        return true;
    } catch (const std::exception& e) {
        report(db, sql, e);
        return false;
    }
}

std::vector<Row> rows(SQLite::Database& db, const QString& sql, const QStringList& binds, bool* ok)
{
    std::vector<Row> out;
    const bool read = eachRow(db, sql, binds, [&](const Row& r) {
        out.push_back(r);
        return true;
    });
    if (ok)
        *ok = read;
    return out;
}

bool exists(SQLite::Database& db, const QString& sql, const QStringList& binds)
{
    try {
        SQLite::Statement st(db, sql.toStdString());
        bindAll(st, binds);
        return st.executeStep();
    } catch (const std::exception& e) {
        report(db, sql, e);
        return false;
    }
}

Failure lastFailure()
{
    return t_failure;
}

void clearFailure()
{
    t_failure = {};
}

void noteFailure(int code, int sysErrno)
{
    t_failure = {code, sysErrno};
}

int changes(SQLite::Database& db)
{
    return db.getChanges();
}

bool begin(SQLite::Database& db)
{
    if (!exec(db, QStringLiteral("BEGIN IMMEDIATE")))
        return false;
    ++t_writing;
    ++g_writing;
    return true;
}

bool commit(SQLite::Database& db)
{
    if (exec(db, QStringLiteral("COMMIT"))) {
        transactionEnded();
        return true;
    }
    // A COMMIT that fails (a lock held past the busy timeout) leaves the
    // transaction open: end it here so no caller can forget to.
    rollback(db);
    return false;
}

void rollback(SQLite::Database& db)
{
    exec(db, QStringLiteral("ROLLBACK"), {}, true);
    transactionEnded();
}

bool writeOpenElsewhere()
{
    return g_writing.load() > t_writing;
}

}  // namespace wbsql
