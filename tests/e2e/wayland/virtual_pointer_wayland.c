/* kelvara_wl_pointer [-s MS] ACTION...
 * Moves the pointer of a Wayland compositor that offers virtual pointers, as a
 * user's mouse would: the end-to-end runs use it where the X11 runs use
 * xdotool. ACTION is "move DX DY" (a relative motion, in pixels), "click" (the
 * left button pressed and released) or "wheel" (one step down). -s MS waits
 * that long before each action that follows it: a pointer that appears on the
 * seat takes the compositor's clients a moment to pick up, and motion sent
 * before they have their pointer object is lost. Exit code 0 when every
 * action reached the compositor, 1 when it could not be had, 2 for bad
 * arguments. */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <wayland-client.h>

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

enum { kButtonLeft = 0x110, kStateReleased = 0, kStatePressed = 1, kAxisVertical = 0 };

struct Globals {
    struct wl_seat* seat;
    struct zwlr_virtual_pointer_manager_v1* manager;
};

static void onGlobal(void* data, struct wl_registry* registry, uint32_t name, const char* interface,
                     uint32_t version) {
    struct Globals* globals = data;
    (void)version;
    if (strcmp(interface, wl_seat_interface.name) == 0 && !globals->seat) {
        globals->seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
    } else if (strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
        globals->manager = wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1);
    }
}

static void onGlobalRemove(void* data, struct wl_registry* registry, uint32_t name) {
    (void)data;
    (void)registry;
    (void)name;
}

static const struct wl_registry_listener kRegistryListener = {onGlobal, onGlobalRemove};

static uint32_t nowMs(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint32_t)(ts.tv_sec * 1000 + ts.tv_nsec / 1000000);
}

static void sleepMs(long ms) {
    struct timespec ts = {ms / 1000, (ms % 1000) * 1000000};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

static int parseNumber(const char* text, long low, long high, long* out) {
    char* end = NULL;
    errno = 0;
    long value = strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high)
        return 0;
    *out = value;
    return 1;
}

static int usage(const char* why) {
    fprintf(stderr,
            "kelvara_wl_pointer: %s\nusage: kelvara_wl_pointer [-s MS] {move DX DY | click | wheel}...\n",
            why);
    return 2;
}

/* Checks the whole command line before anything is sent. */
static int checkArguments(int argc, char** argv) {
    long value;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "-s") == 0) {
            if (i + 1 >= argc || !parseNumber(argv[i + 1], 0, 60000, &value))
                return 0;
            i++;
        } else if (strcmp(argv[i], "move") == 0) {
            if (i + 2 >= argc || !parseNumber(argv[i + 1], -10000, 10000, &value) ||
                !parseNumber(argv[i + 2], -10000, 10000, &value))
                return 0;
            i += 2;
        } else if (strcmp(argv[i], "click") != 0 && strcmp(argv[i], "wheel") != 0) {
            return 0;
        }
    }
    return argc > 1;
}

static void runActions(struct zwlr_virtual_pointer_v1* pointer, struct wl_display* display, int argc,
                       char** argv) {
    long delay = 0;
    for (int i = 1; i < argc; i++) {
        long dx, dy;
        if (strcmp(argv[i], "-s") == 0) {
            parseNumber(argv[++i], 0, 60000, &delay);
            continue;
        }
        sleepMs(delay);
        if (strcmp(argv[i], "move") == 0) {
            parseNumber(argv[i + 1], -10000, 10000, &dx);
            parseNumber(argv[i + 2], -10000, 10000, &dy);
            i += 2;
            zwlr_virtual_pointer_v1_motion(pointer, nowMs(), wl_fixed_from_int((int)dx),
                                           wl_fixed_from_int((int)dy));
        } else if (strcmp(argv[i], "click") == 0) {
            zwlr_virtual_pointer_v1_button(pointer, nowMs(), kButtonLeft, kStatePressed);
            zwlr_virtual_pointer_v1_frame(pointer);
            zwlr_virtual_pointer_v1_button(pointer, nowMs(), kButtonLeft, kStateReleased);
        } else {
            zwlr_virtual_pointer_v1_axis_discrete(pointer, nowMs(), kAxisVertical, wl_fixed_from_int(15), 1);
        }
        zwlr_virtual_pointer_v1_frame(pointer);
        wl_display_roundtrip(display);
    }
}

int main(int argc, char** argv) {
    if (!checkArguments(argc, argv))
        return usage("bad arguments");
    struct wl_display* display = wl_display_connect(NULL);
    if (!display) {
        fprintf(stderr, "kelvara_wl_pointer: cannot connect to the Wayland display: %s\n", strerror(errno));
        return 1;
    }
    struct Globals globals = {NULL, NULL};
    struct wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, &globals);
    wl_display_roundtrip(display);
    if (!globals.manager) {
        fprintf(stderr, "kelvara_wl_pointer: the compositor offers no zwlr_virtual_pointer_manager_v1\n");
        wl_display_disconnect(display);
        return 1;
    }
    struct zwlr_virtual_pointer_v1* pointer =
        zwlr_virtual_pointer_manager_v1_create_virtual_pointer(globals.manager, globals.seat);
    wl_display_roundtrip(display);
    runActions(pointer, display, argc, argv);
    int failed = wl_display_get_error(display) != 0;
    if (failed)
        fprintf(stderr, "kelvara_wl_pointer: the compositor refused the pointer\n");
    zwlr_virtual_pointer_v1_destroy(pointer);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return failed ? 1 : 0;
}
