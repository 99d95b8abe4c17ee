#include "query/DictUtils.h"

#include "platform/Modifiers.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"

#include <QDate>
#include <QLoggingCategory>
#include <QObject>
#include <QPointer>
#include <QRegularExpression>
#include <cmath>

namespace {
Q_LOGGING_CATEGORY(lcUtils, "mirvok.utils", QtInfoMsg)
QPointer<QObject> g_appDelegate;
}  // namespace

QObject* DictUtils::appDelegate() { return g_appDelegate.data(); }

void DictUtils::setAppDelegate(QObject* delegate) { g_appDelegate = delegate; }

QString DictUtils::getToday() { return QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")); }

QString DictUtils::truncateScreenWords(const QString& text) {
    if (text.isNull()) return text;
    static const QRegularExpression numbered(QStringLiteral("^[0-9]+\\.\\s+\\w+.*$"),
                                             QRegularExpression::UseUnicodePropertiesOption);
    if (!numbered.match(text).hasMatch()) return text;
    const QStringList parts = text.split(u' ');
    if (parts.size() < 2) return text;
    qCDebug(lcUtils).noquote() << "trimmed str=" + parts.at(1);
    return parts.at(1);
}

bool screenTransModifierSatisfied(qint64 setting, Qt::KeyboardModifiers held) {
    switch (setting) {
    case 1: return held.testFlag(Qt::ControlModifier);  // Command
    case 2: return held.testFlag(Qt::MetaModifier);     // Control
    case 3: return held.testFlag(Qt::AltModifier);      // Option
    case 4: return held.testFlag(Qt::ShiftModifier);
    default: return true;
    }
}

bool isScreenTransModifierDown() {
    const qint64 setting = UserDefaults::standard().integerValue(ScreenTransModifier);
    if (setting < 1 || setting > 4) return true;  // nothing to ask the keyboard
    return screenTransModifierSatisfied(setting, currentKeyboardModifiers());
}

float pointDistance(const QPointF& a, const QPointF& b) {
    const float dx = float(a.x()) - float(b.x());
    const float dy = float(a.y()) - float(b.y());
    return std::sqrt(dx * dx + dy * dy);
}
