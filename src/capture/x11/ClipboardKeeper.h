#pragma once

#include <QByteArray>
#include <QByteArrayList>
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
// goes. Starts the keeper (keeperProgram, by default this executable) when
// we own the clipboard and no manager runs, hands it the formats through a
// socket (never a file: a copied password must not touch the disk), and
// waits until it has taken the clipboard over, for a time that grows with
// the size (handOverMs). True when nothing was to be done or the keeper
// took it.
bool handOverAtExit();
bool handOverAtExit(const QString& keeperProgram);
int handOverMs(qint64 bytes);

// The keeper's whole life: reads the formats from standard input, owns the
// clipboard, serves it until another client takes it (a format larger than
// one X request goes incrementally, as ICCCM's INCR), and finishes the
// transfers under way. Returns the exit status. Uses no Qt event loop.
int serveFromStdin();

// The formats of our clipboard as X targets (text under its usual names,
// one shared copy of the bytes for all of them).
Formats formatsOf(const QMimeData& data);

// The keeper's input. Bytes shared by several targets (the text's names)
// go once. pieces() is it in parts that refer to the formats' own bytes,
// for sending without a copy; write() is the parts joined. read() and
// readFrom() give it back, with shared bytes shared again; nothing when
// the input is not what write() makes (cut, its data larger than
// kMaxInput in all, or anything else). readFrom reads until end of file.
inline constexpr qint64 kMaxInput = qint64(1) << 30;
QByteArrayList pieces(const Formats& formats);
QByteArray write(const Formats& formats);
std::optional<Formats> read(const QByteArray& bytes);
std::optional<Formats> readFrom(int fd);

}  // namespace clipboardkeeper
