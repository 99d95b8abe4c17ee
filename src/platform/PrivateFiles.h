#pragma once

#include <QFileDevice>
#include <QString>
#include <QStringList>

// What the application writes is the user's alone (it carries the account's
// id, name, e-mail and tokens): folders it creates are 0700 and files 0600,
// whatever the umask. Raw open(2) calls pass kFileMode; the crash-time core,
// which has no Qt, keeps the same numbers in crash/core/CRKFileModes.h.
namespace privatefiles {

inline constexpr int kFileMode = 0600;
inline constexpr int kDirMode = 0700;
inline constexpr QFileDevice::Permissions kFilePermissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// mkdir -p where every folder it creates is 0700; folders that exist are left
// as they are (the user's own ~/.config among them). True when `path` is a
// folder afterwards.
bool makeDir(const QString& path);

// The folder that holds `filePath`, made as makeDir does.
bool makeParentDir(const QString& filePath);

// Narrows an existing file to its owner; false when it cannot.
bool restrictFile(const QString& path);

// Narrows a file just opened for writing (a QSaveFile's new one among them)
// to its owner, before anything is in it. Where the file system refuses
// modes (vfat, exFAT, some network mounts) the file is written all the same:
// the mount decides who reads it there, and losing the user's data would be
// worse. The refusal is logged once per file name.
void narrowOpenFile(QFileDevice& file);

// Where a file that cannot be read is kept: "<path>.damaged-<yyyymmdd-hhmmss>",
// with "-2", "-3"... when that name, or it plus one of `companionSuffixes`,
// is taken. Never an existing file's name.
QString damagedAsideName(const QString& path, const QStringList& companionSuffixes = {});

}  // namespace privatefiles
