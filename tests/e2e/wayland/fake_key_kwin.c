/* Presses and releases one key through KWin's fake-input protocol (KWin
 * offers it to clients when KWIN_WAYLAND_NO_PERMISSION_CHECKS=1), for the
 * KWin runs: KWin has no virtual keyboard protocol that wtype could use.
 * Usage: kelvara_kwin_key [LINUX_KEYCODE] (default 57, space). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <wayland-client.h>

#include "fake-input-client-protocol.h"

static struct org_kde_kwin_fake_input* fake;

static void global(void* data, struct wl_registry* registry, uint32_t name, const char* interface,
                   uint32_t version) {
    (void)data;
    if (strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4)
        fake = wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4);
}

static void global_remove(void* data, struct wl_registry* registry, uint32_t name) {
    (void)data;
    (void)registry;
    (void)name;
}

static const struct wl_registry_listener listener = {global, global_remove};

int main(int argc, char** argv) {
    const uint32_t key = argc > 1 ? (uint32_t)strtoul(argv[1], NULL, 10) : 57;
    struct wl_display* display = wl_display_connect(NULL);
    if (!display) {
        fprintf(stderr, "kelvara_kwin_key: wl_display_connect: no compositor\n");
        return 1;
    }
    struct wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, NULL);
    wl_display_roundtrip(display);
    if (!fake) {
        fprintf(stderr, "kelvara_kwin_key: the compositor offers no org_kde_kwin_fake_input v4\n");
        return 1;
    }
    org_kde_kwin_fake_input_authenticate(fake, "kelvara tests", "press a key");
    org_kde_kwin_fake_input_keyboard_key(fake, key, WL_KEYBOARD_KEY_STATE_PRESSED);
    wl_display_roundtrip(display);
    usleep(50000);
    org_kde_kwin_fake_input_keyboard_key(fake, key, WL_KEYBOARD_KEY_STATE_RELEASED);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
