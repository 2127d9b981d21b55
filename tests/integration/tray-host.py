#!/usr/bin/python3
"""A stand-in desktop for end-to-end tests of the tray.

Owns org.kde.StatusNotifierWatcher and org.freedesktop.Notifications on the
session bus and appends one JSON line per event to the file it is given:
{"ready": true} once both names are held, {"registered": SERVICE} for each
status item, {"summary": ..., "body": ..., "app": ...} for each notification.
With --no-tray it plays a desktop that shows no tray icons: only the
notification server, ready once its one name is held.

    tray-host.py EVENTS_FILE [--no-tray]      (runs until it is stopped)
"""
import json
import sys

from gi.repository import Gio, GLib

XML = """
<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
    <method name="RegisterStatusNotifierHost"><arg type="s" direction="in"/></method>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
  </interface>
  <interface name="org.freedesktop.Notifications">
    <method name="Notify">
      <arg type="s" direction="in"/><arg type="u" direction="in"/><arg type="s" direction="in"/>
      <arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="as" direction="in"/>
      <arg type="a{sv}" direction="in"/><arg type="i" direction="in"/>
      <arg type="u" direction="out"/>
    </method>
    <method name="GetCapabilities"><arg type="as" direction="out"/></method>
    <method name="GetServerInformation">
      <arg type="s" direction="out"/><arg type="s" direction="out"/>
      <arg type="s" direction="out"/><arg type="s" direction="out"/>
    </method>
  </interface>
</node>"""

events = open(sys.argv[1], "a", buffering=1)
names = ["org.freedesktop.Notifications"]
if "--no-tray" not in sys.argv[2:]:
    names.append("org.kde.StatusNotifierWatcher")
items = []
notified = 0
owned = set()


def write(event):
    events.write(json.dumps(event) + "\n")


def on_call(connection, sender, path, interface, method, parameters, invocation):
    global notified
    if method == "RegisterStatusNotifierItem":
        service = parameters.unpack()[0]
        items.append(service if not service.startswith("/") else sender)
        write({"registered": items[-1]})
        invocation.return_value(None)
    elif method == "RegisterStatusNotifierHost":
        invocation.return_value(None)
    elif method == "Notify":
        app, _, _, summary, body, _, _, timeout = parameters.unpack()
        notified += 1
        write({"app": app, "summary": summary, "body": body, "timeout": timeout})
        invocation.return_value(GLib.Variant("(u)", (notified,)))
    elif method == "GetCapabilities":
        invocation.return_value(GLib.Variant("(as)", (["body"],)))
    else:
        invocation.return_value(GLib.Variant("(ssss)", ("tray-host", "ventilux-tests", "1", "1.2")))


def on_get(connection, sender, path, interface, name):
    return {
        "RegisteredStatusNotifierItems": GLib.Variant("as", items),
        "IsStatusNotifierHostRegistered": GLib.Variant("b", True),
        "ProtocolVersion": GLib.Variant("i", 0),
    }[name]


def on_acquired(connection, name):
    owned.add(name)
    if len(owned) == len(names):
        write({"ready": True})


def on_lost(connection, name):
    sys.exit("tray-host: lost or could not take " + name)


bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
node = Gio.DBusNodeInfo.new_for_xml(XML)
bus.register_object("/StatusNotifierWatcher", node.interfaces[0], on_call, on_get, None)
bus.register_object("/org/freedesktop/Notifications", node.interfaces[1], on_call, None, None)
for name in names:
    Gio.bus_own_name_on_connection(bus, name, Gio.BusNameOwnerFlags.NONE, on_acquired, on_lost)
GLib.MainLoop().run()
