#!/usr/bin/python3
"""Sweeps one picture feature through the running Tunedesk panel and prints
each value as the chip reads it back, e.g. while a colorimeter records each
step. Opens the panel's first bridge when none is open.

    sweep_feature.py [FEATURE [FIRST LAST STEP]]     (default: vivid.intensity 0 255 51)

Needs Debian's python3-dbus and a panel running in the same desktop session.
"""
import sys

import dbus

SERVICE = "io.github.tunedesk.Tunedesk"
PATH = "/io/github/tunedesk/Tunedesk"
INTERFACE = "io.github.tunedesk.Panel1"


def main(argv):
    feature = argv[1] if len(argv) > 1 else "vivid.intensity"
    first, last, step = (int(a, 0) for a in argv[2:5]) if len(argv) > 4 else (0, 255, 51)
    proxy = dbus.SessionBus().get_object(SERVICE, PATH)
    panel = dbus.Interface(proxy, INTERFACE)
    properties = dbus.Interface(proxy, dbus.PROPERTIES_IFACE)

    if properties.Get(INTERFACE, "Bridge") < 0:
        bridges = panel.ListBridges()
        if not bridges:
            print("no bridge to open", file=sys.stderr)
            return 3
        panel.OpenBridge(bridges[0][0])
    print("bridge:", properties.Get(INTERFACE, "BridgeDescription"))

    for value in range(first, last + 1, step):
        panel.SetFeatures([(feature, str(value))], signature="a(ss)")
        ((name, shown),) = panel.GetFeatures([feature], signature="as")
        print(f"{name} set {value}, read back {shown}")
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except dbus.exceptions.DBusException as e:
        # One line, as the panel words it: NotOpen, InvalidArgument, TransactionFailed, Busy.
        print(f"{e.get_dbus_name()}: {e.get_dbus_message()}", file=sys.stderr)
        sys.exit(1)
