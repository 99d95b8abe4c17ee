#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

// The application's named images (resources/images/<name>.svg, or .png),
// rendered at the screen's device pixel ratio so they stay crisp.
namespace ImageLibrary {
QString pathFor(const QString& name);
QPixmap pixmap(const QString& name, const QSize& logicalSize, qreal devicePixelRatio = 0);
QIcon icon(const QString& name);
}  // namespace ImageLibrary
