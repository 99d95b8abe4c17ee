#pragma once

#include <sys/types.h>

// Modes of what the crash kit creates: the reports and sdk.log carry the
// user's id, name and e-mail, so they are the user's alone whatever the
// umask (which can only narrow a mode passed to open(2) or mkdir(2)). The Qt
// side uses the same numbers through platform/PrivateFiles.h.
// Plain constants: safe anywhere, signal handlers included.
inline constexpr mode_t CRKPrivateFileMode = 0600;
inline constexpr mode_t CRKPrivateDirectoryMode = 0700;
