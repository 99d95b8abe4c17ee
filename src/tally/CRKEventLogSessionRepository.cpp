#include "tally/CRKEventLogSessionRepository.h"

#include "platform/PrivateFiles.h"
#include "tally/CRKEventLogFile.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <unistd.h>

namespace {

bool hasExtension(const QString& path, const QString& ext)
{
    return QFileInfo(path).suffix() == ext;
}

bool isLogOrZip(const QString& path)
{
    return hasExtension(path, QStringLiteral("log")) || hasExtension(path, QStringLiteral("zip"));
}

// Folders only, as full paths.
std::optional<QStringList> directoriesIn(const QString& path, KTHError* error)
{
    const auto items = CRKEventLogSessionRepository::contentsOfDirectory(path, error);
    if (!items)
        return std::nullopt;
    QStringList out;
    for (const QString& item : *items)
        if (QFileInfo(item).isDir())
            out << item;
    return out;
}

void setError(KTHError* error, int code, const QString& what)
{
    if (error)
        *error = CRKPosixError(code, what);
}

}  // namespace

CRKEventLogSessionRepository::CRKEventLogSessionRepository(QString rootDirectory) : root_(std::move(rootDirectory)) {}

QString CRKEventLogSessionRepository::activeEventLogFileNameForPriority(quint64 priority)
{
    return priority <= 2 ? QStringLiteral("%1.log").arg(priority) : QString();
}

quint64 CRKEventLogSessionRepository::priorityForEventLogFileWithName(const QString& name)
{
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString less = dot > 0 ? name.left(dot) : QString();
    for (quint64 p = 0; p <= 2; ++p) {
        const QString n = activeEventLogFileNameForPriority(p);
        if (name == n || less == n)
            return p;
    }
    return kNoPriority;
}

QString CRKEventLogSessionRepository::sessionDirectoryName(const QString& identifier, quint64 timestamp)
{
    return QStringLiteral("%1_%2").arg(timestamp).arg(identifier);
}

QString CRKEventLogSessionRepository::sessionFragmentDirectoryName(const QString& identifier, quint64 timestamp)
{
    return sessionDirectoryName(identifier, timestamp);
}

QString CRKEventLogSessionRepository::prepDirectoryForDirectory(const QString& directory)
{
    QString d = directory;
    while (d.endsWith(QLatin1Char('/')) && d.size() > 1)
        d.chop(1);
    return d + QStringLiteral(".prep");
}

bool CRKEventLogSessionRepository::isPrepDirectory(const QString& directory)
{
    return hasExtension(directory, QStringLiteral("prep"));
}

QString CRKEventLogSessionRepository::parentDirectory(const QString& path)
{
    return QFileInfo(path).path();
}

bool CRKEventLogSessionRepository::deleteItem(const QString& path, KTHError* error)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return true;
    // What the file system will not let us delete is left, not an error:
    // one such item must not stop a sweep or a pruning for good.
    if (::access(QFile::encodeName(info.path()).constData(), W_OK | X_OK) != 0)
        return true;
    const bool ok = info.isDir() && !info.isSymLink() ? QDir(path).removeRecursively() : QFile::remove(path);
    if (!ok)
        setError(error, EACCES, QStringLiteral("remove %1").arg(path));
    return ok;
}

bool CRKEventLogSessionRepository::createDirectory(const QString& path, KTHError* error)
{
    const QFileInfo info(path);
    if (info.isDir())
        return true;
    if ((info.exists() || info.isSymLink()) && !QFile::remove(path)) {
        setError(error, EEXIST, QStringLiteral("remove the file in the way of %1").arg(path));
        return false;
    }
    if (!privatefiles::makeDir(path)) {
        setError(error, EACCES, QStringLiteral("create %1").arg(path));
        return false;
    }
    return true;
}

std::optional<QStringList> CRKEventLogSessionRepository::contentsOfDirectory(const QString& path, KTHError* error)
{
    const QDir dir(path);
    if (!dir.exists()) {
        setError(error, ENOENT, QStringLiteral("list %1").arg(path));
        return std::nullopt;
    }
    QStringList out;
    const auto names = dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
    for (const QString& name : names)
        out << dir.filePath(name);
    return out;
}

std::optional<QString> CRKEventLogSessionRepository::statesDirectory(KTHError* error) const
{
    const QString dir = root_ + QLatin1Char('/') + versionDirectoryName();
    if (!createDirectory(dir, error))
        return std::nullopt;
    return dir;
}

std::optional<QString> CRKEventLogSessionRepository::stateDirectoryForStateName(const QString& state,
                                                                                KTHError* error) const
{
    const auto states = statesDirectory(error);
    if (!states)
        return std::nullopt;
    const QString dir = *states + QLatin1Char('/') + state;
    if (!createDirectory(dir, error))
        return std::nullopt;
    return dir;
}

std::optional<QStringList> CRKEventLogSessionRepository::sessionDirectoriesForStateName(const QString& state,
                                                                                       KTHError* error) const
{
    const auto dir = stateDirectoryForStateName(state, error);
    if (!dir)
        return std::nullopt;
    return directoriesIn(*dir, error);
}

std::optional<QString> CRKEventLogSessionRepository::sessionDirectoryFor(const QString& state, const QString& sessionId,
                                                                         quint64 sessionTs, KTHError* error) const
{
    const auto dir = stateDirectoryForStateName(state, error);
    if (!dir)
        return std::nullopt;
    const QString session = *dir + QLatin1Char('/') + sessionDirectoryName(sessionId, sessionTs);
    if (!createDirectory(session, error))
        return std::nullopt;
    return session;
}

std::optional<QStringList>
CRKEventLogSessionRepository::sessionFragmentDirectoriesForSessionDirectory(const QString& session,
                                                                             KTHError* error) const
{
    return directoriesIn(session, error);
}

std::optional<QStringList> CRKEventLogSessionRepository::sessionFragmentDirectoriesForStateName(const QString& state,
                                                                                               KTHError* error) const
{
    const auto sessions = sessionDirectoriesForStateName(state, error);
    if (!sessions)
        return std::nullopt;
    QStringList out;
    for (const QString& session : *sessions) {
        const auto fragments = sessionFragmentDirectoriesForSessionDirectory(session, error);
        if (!fragments)
            return std::nullopt;
        out << *fragments;
    }
    return out;
}

std::optional<QString> CRKEventLogSessionRepository::sessionFragmentDirectoryFor(const QString& state,
                                                                                 const QString& sessionId,
                                                                                 quint64 sessionTs,
                                                                                 const QString& fragmentId,
                                                                                 quint64 fragmentTs,
                                                                                 KTHError* error) const
{
    const auto session = sessionDirectoryFor(state, sessionId, sessionTs, error);
    if (!session)
        return std::nullopt;
    const QString fragment = *session + QLatin1Char('/') + sessionFragmentDirectoryName(fragmentId, fragmentTs);
    if (!createDirectory(fragment, error))
        return std::nullopt;
    return fragment;
}

std::optional<QString> CRKEventLogSessionRepository::eventLogFileFor(const QString& state, const QString& sessionId,
                                                                     quint64 sessionTs, const QString& fragmentId,
                                                                     quint64 fragmentTs, quint64 priority,
                                                                     KTHError* error) const
{
    const QString name = activeEventLogFileNameForPriority(priority);
    if (name.isNull()) {
        setError(error, EINVAL, QStringLiteral("no log file for priority %1").arg(priority));
        return std::nullopt;
    }
    const auto fragment = sessionFragmentDirectoryFor(state, sessionId, sessionTs, fragmentId, fragmentTs, error);
    if (!fragment)
        return std::nullopt;
    return *fragment + QLatin1Char('/') + name;
}

std::optional<QString> CRKEventLogSessionRepository::prepSessionFragmentDirectoryFor(const QString& state,
                                                                                     const QString& fragment,
                                                                                     KTHError* error) const
{
    const QFileInfo info(fragment);
    const QString sessionName = QFileInfo(info.path()).fileName();
    if (sessionName.isEmpty() || info.fileName().isEmpty()) {
        setError(error, EINVAL, QStringLiteral("not a fragment folder: %1").arg(fragment));
        return std::nullopt;
    }
    const auto dir = stateDirectoryForStateName(state, error);
    if (!dir)
        return std::nullopt;
    const QString prep = *dir + QLatin1Char('/') + sessionName + QLatin1Char('/') + info.fileName()
                         + QStringLiteral(".prep");
    if (!createDirectory(prep, error))
        return std::nullopt;
    return prep;
}

std::optional<QString>
CRKEventLogSessionRepository::removePrepStatusFromSessionFragmentDirectory(const QString& prep, KTHError* error) const
{
    if (!isPrepDirectory(prep)) {
        setError(error, EINVAL, QStringLiteral("not a prep folder: %1").arg(prep));
        return std::nullopt;
    }
    const QString final = prep.left(prep.size() - 5);
    if (!deleteItem(final, error))
        return std::nullopt;
    if (!QDir().rename(prep, final)) {
        setError(error, EIO, QStringLiteral("rename %1").arg(prep));
        return std::nullopt;
    }
    return final;
}

bool CRKEventLogSessionRepository::purgePrepSessionFragmentDirectoriesForStateName(const QString& state,
                                                                                   KTHError* error) const
{
    const auto fragments = sessionFragmentDirectoriesForStateName(state, error);
    if (!fragments)
        return false;
    for (const QString& fragment : *fragments)
        if (isPrepDirectory(fragment) && !deleteItem(fragment, error))
            return false;
    return true;
}

bool CRKEventLogSessionRepository::removeSessionFragmentDirectory(const QString& fragment, KTHError* error) const
{
    if (!deleteItem(fragment, error))
        return false;
    removeEmptyParents(parentDirectory(fragment), 2);
    return true;
}

void CRKEventLogSessionRepository::removeEmptyParents(const QString& directory, int levels)
{
    // rmdir removes only an empty folder: no listing, so removing many
    // fragments of one big session stays linear.
    QString dir = directory;
    for (int level = 0; level < levels; ++level) {
        if (::rmdir(QFile::encodeName(dir).constData()) != 0)
            return;
        dir = parentDirectory(dir);
    }
}

std::optional<QStringList> CRKEventLogSessionRepository::logFilesForSessionFragmentDirectory(const QString& fragment,
                                                                                            KTHError* error) const
{
    const auto items = contentsOfDirectory(fragment, error);
    if (!items)
        return std::nullopt;
    QStringList out;
    for (const QString& item : *items)
        if (isLogOrZip(item))
            out << item;
    return out;
}

std::optional<QStringList> CRKEventLogSessionRepository::logFilesForAllStates(KTHError* error) const
{
    QStringList out;
    for (const char* state : {kCRKActiveStateName, kCRKPackagedStateName}) {
        const auto fragments = sessionFragmentDirectoriesForStateName(QString::fromLatin1(state), error);
        if (!fragments)
            return std::nullopt;
        for (const QString& fragment : *fragments) {
            const auto files = logFilesForSessionFragmentDirectory(fragment, error);
            if (!files)
                return std::nullopt;
            out << *files;
        }
    }
    return out;
}

bool CRKEventLogSessionRepository::removeLogFile(const QString& file, KTHError* error) const
{
    if (!deleteItem(file, error))
        return false;
    // The fragment, its session and its state folder, each when now empty.
    removeEmptyParents(parentDirectory(file), 3);
    return true;
}

bool CRKEventLogSessionRepository::cleanUpDirectory(const QString& dir, bool* shouldDelete, KTHError* error,
                                                    const std::function<bool(const QString&, bool*, KTHError*)>& block) const
{
    if (!QFileInfo(dir).isDir()) {
        *shouldDelete = true;
        return true;
    }
    *shouldDelete = true;
    const auto children = contentsOfDirectory(dir, error);
    if (!children)
        return false;
    for (const QString& child : *children) {
        bool childDelete = false;
        if (!block(child, &childDelete, error))
            return false;
        if (childDelete) {
            if (!deleteItem(child, error))
                return false;
        } else {
            *shouldDelete = false;
        }
    }
    return true;
}

bool CRKEventLogSessionRepository::cleanUpEventLogRepositoryIgnoringSessionFragmentDirectories(const QStringList& keep,
                                                                                              KTHError* error) const
{
    const auto states = statesDirectory(error);
    if (!states)
        return false;
    QStringList kept;
    for (const QString& k : keep)
        kept << QDir::cleanPath(k);

    auto fragmentBlock = [](const QString& item, bool* del, KTHError*) {
        *del = QFileInfo(item).isDir() || !isLogOrZip(item);
        return true;
    };
    auto sessionBlock = [&](const QString& fragment, bool* del, KTHError* err) {
        if (kept.contains(QDir::cleanPath(fragment))) {
            *del = false;
            return true;
        }
        return cleanUpDirectory(fragment, del, err, fragmentBlock);
    };
    auto stateBlock = [&](const QString& session, bool* del, KTHError* err) {
        return cleanUpDirectory(session, del, err, sessionBlock);
    };
    auto versionBlock = [&](const QString& state, bool* del, KTHError* err) {
        const QString name = QFileInfo(state).fileName();
        if (name != QLatin1String(kCRKActiveStateName) && name != QLatin1String(kCRKPackagedStateName)) {
            *del = true;
            return true;
        }
        return cleanUpDirectory(state, del, err, stateBlock);
    };
    bool unused = false;
    return cleanUpDirectory(*states, &unused, error, versionBlock);
}
