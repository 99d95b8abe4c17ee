#pragma once

#include <QPointF>
#include <QString>
#include <Qt>

class QObject;

class DictUtils {
public:
    // The main window controller; registered by it at start-up so that lower
    // layers can reach it without including it. nullptr until then.
    static QObject* appDelegate();
    static void setAppDelegate(QObject* delegate);

    // Today's date in the local time zone, "yyyy-MM-dd".
    static QString getToday();

    // A captured numbered-list line ("12. apple pie") gives its first word
    // after the number ("apple"); anything else comes back unchanged, and a
    // null text stays null.
    static QString truncateScreenWords(const QString& text);
};

// Whether the modifier that hover capture requires (user default
// ScreenTransModifier: 1 Command, 2 Control, 3 Option, 4 Shift; 0 or anything
// else: none required) is held right now.
bool isScreenTransModifierDown();
// The same rule over given values, with the stored Mac-style modifier mapped
// to this keyboard (Command → Ctrl, Option → Alt, Control → Super).
bool screenTransModifierSatisfied(qint64 setting, Qt::KeyboardModifiers held);

// Euclidean distance, in single precision as capture has always compared it.
float pointDistance(const QPointF& a, const QPointF& b);
