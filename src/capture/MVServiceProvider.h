#pragma once

#include <QObject>
#include <QString>

// The desktop's "look this up" entry: the session-bus method
// com.mirvok.Dict.Query(text, userData) reaches query(). The text arrives as
// the argument, so no clipboard or selection is read or cleared.
class MVServiceProvider : public QObject {
    Q_OBJECT
public:
    explicit MVServiceProvider(QObject* parent = nullptr);

    // userData "q" looks the text up in the main window; "d" and anything
    // else do nothing.
    void query(const QString& text, const QString& userData);
    // Stores the text under query_word, brings the main window forward and
    // looks the text up on the dictionary tab.
    void doQuery(const QString& text);
    // Starts a detached copy of the executable after `seconds` and quits
    // (through the quit guard when the main window runs).
    void relaunchAfterDelay(double seconds);
};

namespace UniversalAccessHelper {
// The desktop's accessibility settings, or our own prompt to switch
// accessibility on where no settings program is found.
void OpenUniversalAccessDlg();
}  // namespace UniversalAccessHelper
