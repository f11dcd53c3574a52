#!/usr/bin/python3
"""The Wayland runs' D-Bus client for the desktops' own services, where a
script is simpler than C++ (Debian's python3 with python3-dbus).

  desktop_bus.py kwin-shot OUTPUT FILE.ppm
      OUTPUT's picture from KWin's org.kde.KWin.ScreenShot2, as a PPM file.
      KWin answers a caller it grants the interface (KWIN_SCREENSHOT_NO_
      PERMISSION_CHECKS=1, or a .desktop entry for this python's real path:
      see grant-entry).
  desktop_bus.py grant-entry FOLDER
      Writes an entry into FOLDER (the first of XDG_DATA_DIRS) granting KWin's
      screenshot interface to this python (its real path), so the test judges
      pictures without lifting KWin's check for the saver as well.

Exit status: 0 done, 1 the service refused or failed (one line on stderr).
"""
import os
import sys

import dbus


def kwin_shot(output, path):
    bus = dbus.SessionBus()
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
        sys.exit("desktop_bus.py: format %d, %d of %d bytes" % (fmt, len(data), stride * height))
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
                "Exec=%s\nX-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2\n"
                % program)


def main():
    try:
        if len(sys.argv) == 4 and sys.argv[1] == "kwin-shot":
            kwin_shot(sys.argv[2], sys.argv[3])
        elif len(sys.argv) == 3 and sys.argv[1] == "grant-entry":
            grant_entry(sys.argv[2])
        else:
            sys.exit(__doc__)
    except dbus.exceptions.DBusException as e:
        sys.exit("desktop_bus.py: %s: %s" % (e.get_dbus_name(), e.get_dbus_message()))


main()
