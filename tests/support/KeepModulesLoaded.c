/* Preloaded into every test process (see tests/CMakeLists.txt). LeakSanitizer
 * looks at the heap after the exit has unloaded modules such as Mesa's GL
 * driver: what such a module still held then has no module name a
 * suppression could match ("<unknown module>") and is reported as a leak.
 * The system's modules therefore stay loaded to the end, so their reports
 * keep their names (and are suppressed by name) while ours still show; the
 * modules of our own build close as usual. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <link.h>
#include <string.h>

static int isSystemModule(void* handle)
{
    struct link_map* map = NULL;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name)
        return 0;
    return strncmp(map->l_name, "/usr/", 5) == 0 || strncmp(map->l_name, "/lib", 4) == 0;
}

int dlclose(void* handle)
{
    static int (*next)(void*);
    if (isSystemModule(handle))
        return 0;
    if (!next)
        next = (int (*)(void*))dlsym(RTLD_NEXT, "dlclose");
    return next(handle);
}
