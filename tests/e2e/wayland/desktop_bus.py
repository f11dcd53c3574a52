#!/usr/bin/python3
"""The end-to-end cases' pokes at a desktop over its session bus.

    desktop_bus.py gnome-shot FILE [X Y W H]   the stage (or that area of it) as a PNG
    desktop_bus.py gnome-keys KEYSYM...        press and release each key in turn
    desktop_bus.py gnome-monitors              "x y w h connector" a line, per monitor

Run with Debian's /usr/bin/python3 (python3-dbus). A key is an X keysym name
(Escape, space, a) or a number. Exit 1 with one line when the desktop does not
answer, 2 for bad arguments.
"""
import sys

import dbus

SHELL_SCREENSHOT = "org.gnome.Shell.Screenshot"
REMOTE_DESKTOP = "org.gnome.Mutter.RemoteDesktop"
DISPLAY_CONFIG = "org.gnome.Mutter.DisplayConfig"

# The few keysyms the cases type; anything else as a number.
KEYSYMS = {"Escape": 0xFF1B, "Return": 0xFF0D, "space": 0x20, "Shift_L": 0xFFE1}


def keysym(name):
    if name in KEYSYMS:
        return KEYSYMS[name]
    if len(name) == 1:
        return ord(name)
    return int(name, 0)


def gnome_shot(bus, path, area):
    # GNOME Shell answers only the caller that owns this name (its own
    # screenshot tool's); on the test's private bus nobody else has it.
    if bus.request_name("org.gnome.Screenshot") != dbus.bus.REQUEST_NAME_REPLY_PRIMARY_OWNER:
        raise RuntimeError("cannot own org.gnome.Screenshot")
    shot = dbus.Interface(bus.get_object(SHELL_SCREENSHOT, "/org/gnome/Shell/Screenshot"), SHELL_SCREENSHOT)
    if area:
        x, y, w, h = (int(v) for v in area)
        ok, _ = shot.ScreenshotArea(x, y, w, h, False, path)
    else:
        ok, _ = shot.Screenshot(False, False, path)
    if not ok:
        raise RuntimeError("the shell took no screenshot")


def gnome_keys(bus, names):
    # The session and every key from this one connection: the shell ends a
    # remote-desktop session whose creator leaves the bus.
    desk = bus.get_object(REMOTE_DESKTOP, "/org/gnome/Mutter/RemoteDesktop")
    path = desk.CreateSession(dbus_interface=REMOTE_DESKTOP)
    session = dbus.Interface(bus.get_object(REMOTE_DESKTOP, path), REMOTE_DESKTOP + ".Session")
    session.Start()
    try:
        for name in names:
            session.NotifyKeyboardKeysym(dbus.UInt32(keysym(name)), True)
            session.NotifyKeyboardKeysym(dbus.UInt32(keysym(name)), False)
    finally:
        session.Stop()


def gnome_monitors(bus):
    config = dbus.Interface(bus.get_object(DISPLAY_CONFIG, "/org/gnome/Mutter/DisplayConfig"), DISPLAY_CONFIG)
    _, monitors, logical, _ = config.GetCurrentState()
    modes = {}
    for (connector, _, _, _), monitor_modes, _ in monitors:
        for mode in monitor_modes:
            if mode[6].get("is-current", False):
                modes[str(connector)] = (int(mode[1]), int(mode[2]))
    for x, y, _, _, _, members, _ in logical:
        for connector, _, _, _ in members:
            w, h = modes.get(str(connector), (0, 0))
            print(int(x), int(y), w, h, str(connector))


def main(argv):
    if len(argv) < 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    bus = dbus.SessionBus()
    command, args = argv[1], argv[2:]
    try:
        if command == "gnome-shot" and len(args) in (1, 5):
            gnome_shot(bus, args[0], args[1:])
        elif command == "gnome-keys" and args:
            gnome_keys(bus, args)
        elif command == "gnome-monitors" and not args:
            gnome_monitors(bus)
        else:
            print(__doc__.strip(), file=sys.stderr)
            return 2
    except (dbus.DBusException, RuntimeError, ValueError) as error:
        print(f"desktop_bus.py {command}: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
