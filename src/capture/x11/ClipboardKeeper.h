#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

class QMimeData;

// The user's clipboard outlives Mirvok. X keeps no clipboard of its own: the
// owner serves it, and when the owner exits it is gone. After a capture put
// the user's clipboard back, Mirvok is that owner. At exit the clipboard
// goes to the desktop's clipboard manager where one runs (Qt hands it over
// with SAVE_TARGETS as the application object goes), and otherwise to a
// small detached process of ours that serves it until another program
// takes the clipboard.
namespace clipboardkeeper {

using Formats = QList<QPair<QString, QByteArray>>;  // X target name, bytes

// The argument that makes the executable the keeper instead of Mirvok.
inline constexpr char kArgument[] = "--keep-clipboard";

// Main thread, after the event loop ended and before the application object
// goes. Starts the keeper when we own the clipboard and no manager runs,
// and waits (1 s at most) until it has taken the clipboard over. True when
// nothing was to be done or the keeper took it.
bool handOverAtExit();

// The keeper's whole life: reads the formats from standard input, owns the
// clipboard, serves it until another client takes it. Returns the exit
// status. Uses no Qt event loop.
int serveFromStdin();

// The formats of our clipboard as X targets (text under its usual names).
Formats formatsOf(const QMimeData& data);

// The keeper's input: what write() makes, read back; nothing when the bytes
// are not that (cut, longer than kMaxInput, or anything else).
inline constexpr qint64 kMaxInput = 64 * 1024 * 1024 + 4096;
QByteArray write(const Formats& formats);
std::optional<Formats> read(const QByteArray& bytes);

}  // namespace clipboardkeeper
