/* kelvara_wl_inhibit
 * Holds an idle inhibitor as a video player does: a small window (an
 * xdg_toplevel with a grey buffer) with a zwp_idle_inhibitor_v1 on its
 * surface, until a signal ends the program. Prints "inhibiting" once the
 * inhibitor is made and the compositor has seen it. Exit code 1 when the
 * compositor lacks what it needs. */
#define _GNU_SOURCE
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <wayland-client.h>

#include "idle-inhibit-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

enum { kSize = 64 };

struct Client {
    struct wl_compositor* compositor;
    struct wl_shm* shm;
    struct xdg_wm_base* wmBase;
    struct zwp_idle_inhibit_manager_v1* inhibitManager;
    int configured;
};

static void onGlobal(void* data, struct wl_registry* registry, uint32_t name, const char* interface,
                     uint32_t version) {
    struct Client* c = data;
    (void)version;
    if (strcmp(interface, wl_compositor_interface.name) == 0)
        c->compositor = wl_registry_bind(registry, name, &wl_compositor_interface, 1);
    else if (strcmp(interface, wl_shm_interface.name) == 0)
        c->shm = wl_registry_bind(registry, name, &wl_shm_interface, 1);
    else if (strcmp(interface, xdg_wm_base_interface.name) == 0)
        c->wmBase = wl_registry_bind(registry, name, &xdg_wm_base_interface, 1);
    else if (strcmp(interface, zwp_idle_inhibit_manager_v1_interface.name) == 0)
        c->inhibitManager = wl_registry_bind(registry, name, &zwp_idle_inhibit_manager_v1_interface, 1);
}

static void onGlobalRemove(void* data, struct wl_registry* registry, uint32_t name) {
    (void)data;
    (void)registry;
    (void)name;
}

static const struct wl_registry_listener kRegistryListener = {onGlobal, onGlobalRemove};

static void onPing(void* data, struct xdg_wm_base* base, uint32_t serial) {
    (void)data;
    xdg_wm_base_pong(base, serial);
}

static const struct xdg_wm_base_listener kWmBaseListener = {onPing};

static void onSurfaceConfigure(void* data, struct xdg_surface* surface, uint32_t serial) {
    ((struct Client*)data)->configured = 1;
    xdg_surface_ack_configure(surface, serial);
}

static const struct xdg_surface_listener kSurfaceListener = {onSurfaceConfigure};

/* A grey buffer of kSize x kSize pixels in shared memory. */
static struct wl_buffer* greyBuffer(struct wl_shm* shm) {
    const int stride = kSize * 4, bytes = stride * kSize;
    int fd = memfd_create("kelvara-inhibit", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, bytes) != 0)
        return NULL;
    void* pixels = mmap(NULL, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels == MAP_FAILED)
        return NULL;
    memset(pixels, 0x80, bytes);
    munmap(pixels, bytes);
    struct wl_shm_pool* pool = wl_shm_create_pool(shm, fd, bytes);
    struct wl_buffer* buffer =
        wl_shm_pool_create_buffer(pool, 0, kSize, kSize, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    return buffer;
}

int main(void) {
    struct Client c = {0};
    struct wl_display* display = wl_display_connect(NULL);
    if (!display) {
        fprintf(stderr, "kelvara_wl_inhibit: no Wayland compositor\n");
        return 1;
    }
    struct wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, &c);
    wl_display_roundtrip(display);
    if (!c.compositor || !c.shm || !c.wmBase || !c.inhibitManager) {
        fprintf(stderr, "kelvara_wl_inhibit: the compositor lacks wl_shm, xdg_wm_base or "
                        "zwp_idle_inhibit_manager_v1\n");
        return 1;
    }
    xdg_wm_base_add_listener(c.wmBase, &kWmBaseListener, NULL);
    struct wl_surface* surface = wl_compositor_create_surface(c.compositor);
    struct xdg_surface* xdgSurface = xdg_wm_base_get_xdg_surface(c.wmBase, surface);
    xdg_surface_add_listener(xdgSurface, &kSurfaceListener, &c);
    struct xdg_toplevel* toplevel = xdg_surface_get_toplevel(xdgSurface);
    xdg_toplevel_set_title(toplevel, "kelvara idle inhibitor");
    wl_surface_commit(surface);
    while (!c.configured)
        if (wl_display_dispatch(display) < 0)
            return 1;
    struct wl_buffer* buffer = greyBuffer(c.shm);
    if (!buffer) {
        fprintf(stderr, "kelvara_wl_inhibit: no shared memory for the buffer\n");
        return 1;
    }
    wl_surface_attach(surface, buffer, 0, 0);
    wl_surface_commit(surface);
    zwp_idle_inhibit_manager_v1_create_inhibitor(c.inhibitManager, surface);
    wl_display_roundtrip(display);
    printf("inhibiting\n");
    fflush(stdout);
    while (wl_display_dispatch(display) >= 0) {
    }
    return 0;
}
