#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The application icon sent with the registration: PNG bytes, their SHA-1
// and the size in points.
struct KTHIcon {
    bool prerendered = true;
    QByteArray data;
    QString dataHash;
    double width = 0;
    double height = 0;

    // Computes the hash; nullopt for data that is not a PNG with a readable
    // IHDR (its width and height give the size).
    static std::optional<KTHIcon> fromPNG(const QByteArray& png);

    double surfaceArea() const { return width * height; }
    bool isWithinMaxSurfaceArea() const { return surfaceArea() <= 1048576; }
    bool largerThanSize(double w, double h) const { return surfaceArea() > w * h; }
};

// The icon named by the Info.plist's CFBundleIconFile in the resources;
// nullopt when there is none (a later call tries again).
namespace KTHAppIconUtility {
std::optional<KTHIcon> applicationIcon();
}
