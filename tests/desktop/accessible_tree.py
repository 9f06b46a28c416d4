#!/usr/bin/python3
"""What a screen reader sees on the accessibility bus, for the desktop tests.

    accessible_tree.py enable       turns the desktop's accessibility on, as
                                    a screen reader does (org.a11y.Status)
    accessible_tree.py tree         prints every application's tree, one
                                    object a line: depth, role, name
    accessible_tree.py events SECS  prints "children-changed N": how many
                                    children-changed events the programs
                                    sent in SECS seconds

Uses Debian's python3-pyatspi; the session bus is DBUS_SESSION_BUS_ADDRESS.
"""

import sys

from gi.repository import Gio, GLib

MOST_DEPTH = 4


def enable():
    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    bus.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
                  GLib.Variant("(ssv)", ("org.a11y.Status", "IsEnabled", GLib.Variant("b", True))),
                  None, Gio.DBusCallFlags.NONE, 5000, None)


def dump(accessible, depth, out):
    out.append("%d\t%s\t%s" % (depth, accessible.getRoleName(), accessible.name))
    if depth == MOST_DEPTH:
        return
    for index in range(accessible.childCount):
        child = accessible.getChildAtIndex(index)
        if child is not None:
            dump(child, depth + 1, out)


def tree():
    import pyatspi
    out = []
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        app = desktop.getChildAtIndex(index)
        if app is not None:
            dump(app, 0, out)
    print("\n".join(out))


def events(seconds):
    import pyatspi
    count = [0]

    def heard(event):
        count[0] += 1

    pyatspi.Registry.registerEventListener(heard, "object:children-changed")
    GLib.timeout_add(int(seconds * 1000), lambda: pyatspi.Registry.stop() or False)
    pyatspi.Registry.start()
    print("children-changed %d" % count[0])


def main(argv):
    if argv[1:] == ["enable"]:
        enable()
    elif argv[1:] == ["tree"]:
        tree()
    elif len(argv) == 3 and argv[1] == "events":
        events(float(argv[2]))
    else:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
