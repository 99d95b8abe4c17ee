#include "window/ImageLibrary.h"

#include "platform/Resources.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>

namespace ImageLibrary {

QString pathFor(const QString& name) {
    for (const char* ext : {".svg", ".png"}) {
        const QString p = Resources::path(QStringLiteral("images/") + name + QLatin1String(ext));
        if (QFileInfo::exists(p)) return p;
    }
    return QString();
}

QPixmap pixmap(const QString& name, const QSize& logicalSize, qreal dpr) {
    if (dpr <= 0) dpr = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    const QString p = pathFor(name);
    if (p.isEmpty() || logicalSize.isEmpty()) return QPixmap();
    if (p.endsWith(QLatin1String(".svg"))) {
        QSvgRenderer renderer(p);
        if (!renderer.isValid()) return QPixmap();
        QPixmap pm(logicalSize * dpr);
        pm.fill(Qt::transparent);
        QPainter painter(&pm);
        renderer.render(&painter);
        painter.end();
        pm.setDevicePixelRatio(dpr);
        return pm;
    }
    QPixmap pm(p);
    pm = pm.scaled(logicalSize * dpr, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    pm.setDevicePixelRatio(dpr);
    return pm;
}

QIcon icon(const QString& name) {
    const QString p = pathFor(name);
    return p.isEmpty() ? QIcon() : QIcon(p);
}

}  // namespace ImageLibrary
