#pragma once

#include <QString>

// Locates the application's read-only resources (templates, pages, images,
// the offline dictionary): $MIRVOK_RESOURCES if set, else <exe>/../share/mirvok,
// else the source tree's resources folder this build was made from.
namespace Resources {
QString directory();
QString path(const QString& relative);
// Whole file as UTF-8 text; empty when missing.
QString readText(const QString& relative);
}  // namespace Resources
