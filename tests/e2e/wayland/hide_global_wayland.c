/* Preloaded into a Wayland client: the compositor's globals named in
 * KELVARA_HIDE_GLOBALS (interface names, separated by spaces) never reach the
 * client's registry listener, as on a compositor that does not offer them (no
 * screencopy on KDE, no layer-shell on GNOME); those named in
 * KELVARA_MISNAME_GLOBALS reach it under a name the compositor never gave, so
 * that binding one is a protocol error. Everything else passes through
 * unchanged. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <string.h>

#include <wayland-client.h>

enum { kMaxRegistries = 16 };
/* Added to the name of a global in KELVARA_MISNAME_GLOBALS: binding it then
 * names a global the compositor never offered, a protocol error. */
enum { kMisname = 100000 };

struct Wrapped {
    struct wl_proxy* registry;
    const struct wl_registry_listener* listener;
};

static struct Wrapped wrapped[kMaxRegistries];

/* Whether the list in the environment variable `variable` names `interface`. */
static int hidden(const char* variable, const char* interface) {
    const char* list = getenv(variable);
    size_t length = strlen(interface);
    while (list && *list) {
        while (*list == ' ')
            list++;
        size_t word = strcspn(list, " ");
        if (word == length && strncmp(list, interface, length) == 0)
            return 1;
        list += word;
    }
    return 0;
}

static const struct wl_registry_listener* original(struct wl_registry* registry) {
    for (int i = 0; i < kMaxRegistries; i++) {
        if (wrapped[i].registry == (struct wl_proxy*)registry)
            return wrapped[i].listener;
    }
    return NULL;
}

static void onGlobal(void* data, struct wl_registry* registry, uint32_t name, const char* interface,
                     uint32_t version) {
    const struct wl_registry_listener* listener = original(registry);
    if (listener && listener->global && !hidden("KELVARA_HIDE_GLOBALS", interface))
        listener->global(data, registry, hidden("KELVARA_MISNAME_GLOBALS", interface) ? name + kMisname : name,
                         interface, version);
}

static void onGlobalRemove(void* data, struct wl_registry* registry, uint32_t name) {
    const struct wl_registry_listener* listener = original(registry);
    if (listener && listener->global_remove)
        listener->global_remove(data, registry, name);
}

static const struct wl_registry_listener kFilter = {onGlobal, onGlobalRemove};

int wl_proxy_add_listener(struct wl_proxy* proxy, void (**implementation)(void), void* data) {
    typedef int (*AddListener)(struct wl_proxy*, void (**)(void), void*);
    static AddListener next;
    if (!next)
        next = (AddListener)dlsym(RTLD_NEXT, "wl_proxy_add_listener");
    if (strcmp(wl_proxy_get_class(proxy), "wl_registry") == 0) {
        /* A registry made where a destroyed one was takes its place. */
        for (int i = 0; i < kMaxRegistries; i++) {
            if (!wrapped[i].registry || wrapped[i].registry == proxy) {
                wrapped[i].registry = proxy;
                wrapped[i].listener = (const struct wl_registry_listener*)implementation;
                return next(proxy, (void (**)(void)) & kFilter, data);
            }
        }
    }
    return next(proxy, implementation, data);
}
