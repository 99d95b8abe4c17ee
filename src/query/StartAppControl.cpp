#include "query/StartAppControl.h"
#include "platform/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

struct Entry {
    QString exec;
    bool disabled = false;
};

Entry readEntry(const QString& path) {
    Entry e;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return e;
    bool inMain = false;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine(64 * 1024)).trimmed();
        if (line.startsWith(u'[')) {
            inMain = line == u"[Desktop Entry]";
            continue;
        }
        if (!inMain) continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0) continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if (key == u"Exec") e.exec = value;
        else if (key == u"Hidden" && value == u"true") e.disabled = true;
        else if (key == u"X-GNOME-Autostart-enabled" && value == u"false") e.disabled = true;
    }
    return e;
}

// Two paths name the same program when they resolve to the same file; a
// program that has moved away is compared by its text.
bool samePath(const QString& a, const QString& b) {
    const QString ca = QFileInfo(a).canonicalFilePath();
    const QString cb = QFileInfo(b).canonicalFilePath();
    if (!ca.isEmpty() && !cb.isEmpty()) return ca == cb;
    return QDir::cleanPath(a) == QDir::cleanPath(b);
}

}  // namespace

QString StartAppControl::autostartFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/mirvok.desktop");
}

QString StartAppControl::execLine(const QString& appPath) {
    // Inside double quotes the desktop-entry rules reserve " ` $ and \.
    QString quoted;
    for (QChar c : appPath) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') quoted += u'\\';
        quoted += c;
    }
    QString exec = u'"' + quoted + u'"';
    // A literal % must be doubled in Exec values (field codes use it), and the
    // file format escapes backslashes once more.
    exec.replace(u'%', QStringLiteral("%%"));
    exec.replace(u'\\', QStringLiteral("\\\\"));
    return exec;
}

QString StartAppControl::programOfExecLine(const QString& exec) {
    // Undo the file format's escapes first, then the quoting of the program.
    QString value;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        if (exec[i] == u'\\' && i + 1 < exec.size()) {
            const QChar n = exec[++i];
            value += n == u's' ? QChar(u' ') : n == u'n' ? QChar(u'\n') : n == u't' ? QChar(u'\t') : n;
        } else {
            value += exec[i];
        }
    }
    value.replace(QStringLiteral("%%"), QStringLiteral("%"));
    QString program;
    bool inQuotes = false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (inQuotes) {
            if (c == u'\\' && i + 1 < value.size()) program += value[++i];
            else if (c == u'"') inQuotes = false;
            else program += c;
        } else if (c == u'"') {
            inQuotes = true;
        } else if (c.isSpace()) {
            if (!program.isEmpty()) break;
        } else {
            program += c;
        }
    }
    return program;
}

bool StartAppControl::willStartAtLogin(const QString& appPath) {
    if (appPath.isEmpty() || !QFileInfo::exists(autostartFile())) return false;
    const Entry e = readEntry(autostartFile());
    if (e.disabled || e.exec.isEmpty()) return false;
    return samePath(programOfExecLine(e.exec), appPath);
}

bool StartAppControl::setStartAtLogin(const QString& appPath, bool enabled) {
    const bool present = willStartAtLogin(appPath);
    if (enabled && !present) {
        return writeEntry(appPath);
    }
    if (!enabled && present) return QFile::remove(autostartFile());
    return true;
}

bool StartAppControl::writeEntry(const QString& appPath) {
    const QString file = autostartFile();
    if (!privatefiles::makeParentDir(file)) return false;
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Text)) return false;
    privatefiles::narrowOpenFile(out);
    // Named and drawn as the launcher entry, so the desktop's list of
    // start-up programs shows the same application.
    const QString entry = QStringLiteral(
                              "[Desktop Entry]\n"
                              "Type=Application\n"
                              "Name=米沃词典\n"
                              "Name[en]=Mirvok\n"
                              "Comment=查词、翻译，划词取词\n"
                              "Comment[en]=Dictionary and translation, with word capture\n"
                              "Icon=com.mirvok.Dict\n"
                              "Exec=%1\n"
                              "Terminal=false\n"
                              "X-GNOME-Autostart-enabled=true\n")
                              .arg(execLine(appPath));
    out.write(entry.toUtf8());
    return out.commit();
}

bool StartAppControl::repairAtStart(const QString& appPath) {
    if (appPath.isEmpty() || !QFileInfo::exists(autostartFile())) return false;
    const Entry e = readEntry(autostartFile());
    if (e.disabled || e.exec.isEmpty()) return false;
    // A program that was moved or uninstalled (a build tree deleted, an
    // older prefix): log in with the one running now instead.
    const QFileInfo program(programOfExecLine(e.exec));
    if (program.isAbsolute() && program.isFile() && program.isExecutable()) return false;
    if (!program.isAbsolute() && !QStandardPaths::findExecutable(program.filePath()).isEmpty()) return false;
    return writeEntry(appPath);
}
