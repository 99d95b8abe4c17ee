#include "app/AppLibrary.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>

namespace AppLibrary {
namespace {

// Found from the program's own place, never by the loader's search path: a
// LD_LIBRARY_PATH must not put another library in its stead.
void* load() {
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
    if (n <= 0) {
        std::perror("mirvok: /proc/self/exe");
        return nullptr;
    }
    std::string path(exe, std::size_t(n));
    path.erase(path.rfind('/') + 1);
    path += MIRVOK_APP_LIBRARY;
    // Bound lazily, as the program's own symbols were when it held them.
    void* handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (!handle) std::fprintf(stderr, "mirvok: 无法载入程序库：%s\n", dlerror());
    return handle;
}

}  // namespace

void* resolve(const char* name) {
    static void* const handle = load();
    if (!handle) return nullptr;
    void* entry = dlsym(handle, name);
    if (!entry) std::fprintf(stderr, "mirvok: 程序库缺少 %s：%s\n", name, dlerror());
    return entry;
}

}  // namespace AppLibrary
