#!/usr/bin/python3
"""The end-to-end cases' pokes at a desktop over its session bus.

    desktop_bus.py gnome-shot FILE [X Y W H]   the stage (or that area of it) as a PNG
    desktop_bus.py gnome-keys KEYSYM...        press and release each key in turn
    desktop_bus.py gnome-nudge                 a small pointer move (no keyboard for the seat)
    desktop_bus.py gnome-monitors              "x y w h connector" a line, per monitor
    desktop_bus.py kwin-shot OUTPUT FILE.ppm   OUTPUT's picture from KWin's ScreenShot2
    desktop_bus.py grant-entry FOLDER          an entry granting KWin's ScreenShot2 to this python
    desktop_bus.py portal-allow                the desktop portal started for this desktop, its
                                               screenshot question answered "yes" beforehand

KWin answers kwin-shot only for a caller it grants its screenshot interface
(KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1, or the entry grant-entry writes, in
the first folder of XDG_DATA_DIRS before KWin starts), so a test judges the
pictures without lifting KWin's check for the saver as well.

Run with Debian's /usr/bin/python3 (python3-dbus). A key is an X keysym name
(Escape, space, a) or a number. Exit 1 with one line when the desktop does not
answer, 2 for bad arguments.
"""
import os
import sys
import time

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
        # The session's keyboard is a new device that mutter announces on the
        # seat at its first key: a Shift tap first, then time for the clients
        # to bind it (a key sent before that reaches nobody).
        shift = dbus.UInt32(KEYSYMS["Shift_L"])
        session.NotifyKeyboardKeysym(shift, True)
        session.NotifyKeyboardKeysym(shift, False)
        time.sleep(1.0)
        for name in names:
            session.NotifyKeyboardKeysym(dbus.UInt32(keysym(name)), True)
            session.NotifyKeyboardKeysym(dbus.UInt32(keysym(name)), False)
    finally:
        session.Stop()


def gnome_nudge(bus):
    # The shell keeps a banner shown to an idle user until the user is
    # active again; a pointer move is activity that leaves the seat without
    # a keyboard.
    desk = bus.get_object(REMOTE_DESKTOP, "/org/gnome/Mutter/RemoteDesktop")
    path = desk.CreateSession(dbus_interface=REMOTE_DESKTOP)
    session = dbus.Interface(bus.get_object(REMOTE_DESKTOP, path), REMOTE_DESKTOP + ".Session")
    session.Start()
    try:
        session.NotifyPointerMotionRelative(5.0, 5.0)
        time.sleep(0.2)
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


def kwin_shot(bus, output, path):
    shots = bus.get_object("org.kde.KWin", "/org/kde/KWin/ScreenShot2")
    read_end, write_end = os.pipe()
    try:
        results = shots.CaptureScreen(output, {"native-resolution": True}, dbus.types.UnixFd(write_end),
                                      dbus_interface="org.kde.KWin.ScreenShot2", timeout=10)
    finally:
        os.close(write_end)
    data = bytearray()
    while True:
        chunk = os.read(read_end, 1 << 20)
        if not chunk:
            break
        data += chunk
    os.close(read_end)
    width, height, stride = int(results["width"]), int(results["height"]), int(results["stride"])
    fmt = int(results["format"])
    if fmt not in (4, 5, 6) or len(data) < stride * height:
        raise RuntimeError("format %d, %d of %d bytes" % (fmt, len(data), stride * height))
    # 0xAARRGGBB words: bytes blue, green, red, alpha. The desktop is opaque.
    rgb = bytearray(width * height * 3)
    for y in range(height):
        row = data[y * stride:y * stride + width * 4]
        out = rgb[y * width * 3:(y + 1) * width * 3]
        out[0::3] = row[2::4]
        out[1::3] = row[1::4]
        out[2::3] = row[0::4]
        rgb[y * width * 3:(y + 1) * width * 3] = out
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (width, height))
        f.write(rgb)


def grant_entry(folder):
    # Named as Debian's own entry for this python (python3.11.desktop, whose
    # Exec= is the same program), which it hides: with two entries for one
    # program KWin may read either.
    program = os.path.realpath(sys.executable)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, os.path.basename(program) + ".desktop"), "w") as f:
        f.write("[Desktop Entry]\nType=Application\nName=Kelvara tests\nNoDisplay=true\n"
                "Exec=%s\nX-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2\n" % program)


def portal_allow(bus):
    # Services the bus starts later see this desktop's display.
    names = ("WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP", "XDG_RUNTIME_DIR", "HOME")
    bus.get_object("org.freedesktop.DBus", "/org/freedesktop/DBus").UpdateActivationEnvironment(
        {name: os.environ[name] for name in names if name in os.environ},
        dbus_interface="org.freedesktop.DBus")
    # What the answer to "Allow Applications to Take Screenshots?" leaves in
    # the permission store (programs outside a sandbox have the empty app id).
    store = bus.get_object("org.freedesktop.impl.portal.PermissionStore",
                           "/org/freedesktop/impl/portal/PermissionStore")
    store.SetPermission("screenshot", True, "screenshot", "", ["yes"],
                        dbus_interface="org.freedesktop.impl.portal.PermissionStore")


def main(argv):
    if len(argv) < 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    command, args = argv[1], argv[2:]
    if command == "grant-entry" and len(args) == 1:
        grant_entry(args[0])
        return 0
    try:
        bus = dbus.SessionBus()
        if command == "gnome-shot" and len(args) in (1, 5):
            gnome_shot(bus, args[0], args[1:])
        elif command == "gnome-keys" and args:
            gnome_keys(bus, args)
        elif command == "gnome-nudge" and not args:
            gnome_nudge(bus)
        elif command == "gnome-monitors" and not args:
            gnome_monitors(bus)
        elif command == "portal-allow" and not args:
            portal_allow(bus)
        elif command == "kwin-shot" and len(args) == 2:
            kwin_shot(bus, args[0], args[1])
        else:
            print(__doc__.strip(), file=sys.stderr)
            return 2
    except (dbus.DBusException, RuntimeError, ValueError) as error:
        print(f"desktop_bus.py {command}: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
