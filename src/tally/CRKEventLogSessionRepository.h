#pragma once

#include "kithost/KTHURLTypes.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <limits>
#include <optional>

inline constexpr char kCRKActiveStateName[] = "ACTIVE";
inline constexpr char kCRKPackagedStateName[] = "PACKAGED";

// The folder tree of the analytics store under its root:
//   v1/<state>/<session ts>_<session id>/<fragment ts>_<fragment id>/<n>.log
// with state ACTIVE (being written, or waiting to be packaged) or PACKAGED
// (gzip files "<n>.log.zip" waiting for upload; "<fragment>.prep" while
// being packaged). Only folders count as sessions and fragments; hidden
// items are never listed. Methods touching the disk report failures as
// nullopt/false with `error` set, and log nothing. No locks: the analytics
// controller runs all folder work on its maintenance queue.
class CRKEventLogSessionRepository {
public:
    static constexpr quint64 kNoPriority = std::numeric_limits<quint64>::max();

    explicit CRKEventLogSessionRepository(QString rootDirectory);
    const QString& rootDirectory() const { return root_; }

    static QString activeEventLogFileNameForPriority(quint64 priority);   // null for others
    static quint64 priorityForEventLogFileWithName(const QString& name);
    static QString sessionDirectoryName(const QString& identifier, quint64 timestamp);
    static QString sessionFragmentDirectoryName(const QString& identifier, quint64 timestamp);
    static QString prepDirectoryForDirectory(const QString& directory);
    static bool isPrepDirectory(const QString& directory);
    static QString parentDirectory(const QString& path);
    static QString versionDirectoryName() { return QStringLiteral("v1"); }

    std::optional<QString> statesDirectory(KTHError* error = nullptr) const;
    std::optional<QString> stateDirectoryForStateName(const QString& state, KTHError* error = nullptr) const;
    std::optional<QStringList> sessionDirectoriesForStateName(const QString& state, KTHError* error = nullptr) const;
    std::optional<QString> sessionDirectoryFor(const QString& state, const QString& sessionId, quint64 sessionTs,
                                               KTHError* error = nullptr) const;
    std::optional<QStringList> sessionFragmentDirectoriesForSessionDirectory(const QString& session,
                                                                            KTHError* error = nullptr) const;
    // Every fragment of every session of the state.
    std::optional<QStringList> sessionFragmentDirectoriesForStateName(const QString& state,
                                                                     KTHError* error = nullptr) const;
    std::optional<QString> sessionFragmentDirectoryFor(const QString& state, const QString& sessionId,
                                                       quint64 sessionTs, const QString& fragmentId,
                                                       quint64 fragmentTs, KTHError* error = nullptr) const;
    // The fragment folder (created) plus the priority's file name.
    std::optional<QString> eventLogFileFor(const QString& state, const QString& sessionId, quint64 sessionTs,
                                           const QString& fragmentId, quint64 fragmentTs, quint64 priority,
                                           KTHError* error = nullptr) const;
    // state / the fragment's session folder name / fragment name + ".prep", created.
    std::optional<QString> prepSessionFragmentDirectoryFor(const QString& state, const QString& fragment,
                                                           KTHError* error = nullptr) const;
    std::optional<QString> removePrepStatusFromSessionFragmentDirectory(const QString& prep,
                                                                        KTHError* error = nullptr) const;
    bool purgePrepSessionFragmentDirectoriesForStateName(const QString& state, KTHError* error = nullptr) const;
    // Removes the fragment, then its session and state folders when empty.
    bool removeSessionFragmentDirectory(const QString& fragment, KTHError* error = nullptr) const;
    std::optional<QStringList> logFilesForSessionFragmentDirectory(const QString& fragment,
                                                                  KTHError* error = nullptr) const;
    std::optional<QStringList> logFilesForAllStates(KTHError* error = nullptr) const;
    bool removeLogFile(const QString& file, KTHError* error = nullptr) const;

    // Removes empty fragments and sessions, stray files and unknown folders;
    // keeps every log and gzip file and the fragments in `keep`.
    bool cleanUpEventLogRepositoryIgnoringSessionFragmentDirectories(const QStringList& keep,
                                                                      KTHError* error = nullptr) const;

    // Removes a file or a whole folder; an item in a folder we may not
    // change is left and counts as success.
    static bool deleteItem(const QString& path, KTHError* error = nullptr);
    static bool createDirectory(const QString& path, KTHError* error = nullptr);
    static std::optional<QStringList> contentsOfDirectory(const QString& path, KTHError* error = nullptr);

private:
    static void removeEmptyParents(const QString& directory, int levels);
    bool cleanUpDirectory(const QString& dir, bool* shouldDelete, KTHError* error,
                          const std::function<bool(const QString&, bool*, KTHError*)>& block) const;

    QString root_;
};
