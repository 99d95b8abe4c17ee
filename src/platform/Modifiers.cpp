#include "platform/Modifiers.h"

#include <QGuiApplication>

Qt::KeyboardModifiers currentKeyboardModifiers() {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return Qt::NoModifier;
    return QGuiApplication::queryKeyboardModifiers();
}
