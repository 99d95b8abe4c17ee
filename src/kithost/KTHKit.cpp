#include "kithost/KTHKit.h"

#include <QMutex>
#include <QMutexLocker>
#include <vector>

namespace {
QMutex g_mutex;
std::vector<KTHKitDescriptor>& kits()
{
    static std::vector<KTHKitDescriptor> list;
    return list;
}
}  // namespace

namespace KTHKitRegistry {

void registerKit(const KTHKitDescriptor& kit)
{
    QMutexLocker lock(&g_mutex);
    for (KTHKitDescriptor& k : kits()) {
        if (k.className == kit.className) {
            k = kit;
            return;
        }
    }
    kits().push_back(kit);
}

std::optional<KTHKitDescriptor> kitNamed(const QString& className)
{
    QMutexLocker lock(&g_mutex);
    for (const KTHKitDescriptor& k : kits()) {
        if (k.className == className)
            return k;
    }
    return std::nullopt;
}

void unregisterAllKits()
{
    QMutexLocker lock(&g_mutex);
    kits().clear();
}

}  // namespace KTHKitRegistry
