#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// What a kit class is to the host. Kits are registered by class name; "a
// class X exists" means a kit named X is registered.
//
// A KTHKit kit gives its bundle identifier and versions and may have an
// initializeIfNeeded hook. A legacy kit does not adopt KTHKit; it has a
// shared instance whose start/bundleIdentifier/version it may or may not
// answer (an absent function means "does not respond").
struct KTHKitDescriptor {
    QString className;
    bool adoptsKTHKit = true;
    QString bundleIdentifier;
    QString kitDisplayVersion;
    QString kitBuildVersion;
    std::function<void()> initializeIfNeeded;
    // What a kit must have running from a launch's first moment (the crash
    // kit: its handlers), before the host's start; initializeIfNeeded then
    // does the rest. Optional.
    std::function<void()> initializeEarly;

    // Legacy kits only.
    bool hasSharedInstance = false;
    std::function<void()> start;
    std::function<QString()> instanceBundleIdentifier;
    std::function<QString()> instanceVersion;
};

namespace KTHKitRegistry {

void registerKit(const KTHKitDescriptor& kit);   // replaces one of the same name
std::optional<KTHKitDescriptor> kitNamed(const QString& className);
void unregisterAllKits();   // tests

}  // namespace KTHKitRegistry
