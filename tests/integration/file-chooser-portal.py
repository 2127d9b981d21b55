#!/usr/bin/python3
"""A stand-in desktop portal whose folder dialog the test answers.

Plays org.freedesktop.portal.Desktop on the session bus as the real portal
answers a client: OpenFile replies with a request path and then answers with
that request's Response signal, sent to the caller alone. A control interface
lets the test decide and look:

  SetAnswer(u, as)             the response (0 chosen, 1 cancelled, 2 ended
                               otherwise) and URIs of later dialogs
  LastRequest() -> (s, a{sv})  the title and options of the last OpenFile

    file-chooser-portal.py [VERSION]   the FileChooser version offered (default 4);
                                       0 offers no FileChooser at all
"""
import sys

from gi.repository import Gio, GLib

PORTAL_PATH = "/org/freedesktop/portal/desktop"
XML = """
<node>
  <interface name="org.freedesktop.portal.FileChooser">
    <method name="OpenFile">
      <arg type="s" direction="in"/><arg type="s" direction="in"/>
      <arg type="a{sv}" direction="in"/><arg type="o" direction="out"/>
    </method>
    <property name="version" type="u" access="read"/>
  </interface>
  <interface name="lab.quimbry.ventilux.test.FileChooser">
    <method name="SetAnswer"><arg type="u" direction="in"/><arg type="as" direction="in"/></method>
    <method name="LastRequest">
      <arg type="s" direction="out"/><arg type="a{sv}" direction="out"/>
    </method>
  </interface>
</node>"""

version = int(sys.argv[1]) if len(sys.argv) > 1 else 4
answer = (0, [])
last = GLib.Variant("(sa{sv})", ("", {}))
bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
node = Gio.DBusNodeInfo.new_for_xml(XML)


def on_call(connection, sender, path, interface, method, parameters, invocation):
    global answer, last
    if method == "OpenFile":
        last = GLib.Variant.new_tuple(parameters.get_child_value(1), parameters.get_child_value(2))
        token = parameters.unpack()[2]["handle_token"]
        request = "%s/request/%s/%s" % (PORTAL_PATH, sender[1:].replace(".", "_"), token)
        invocation.return_value(GLib.Variant("(o)", (request,)))
        response, uris = answer
        results = {"uris": GLib.Variant("as", uris)} if response == 0 else {}
        bus.emit_signal(sender, request, "org.freedesktop.portal.Request", "Response",
                        GLib.Variant("(ua{sv})", (response, results)))
    elif method == "SetAnswer":
        answer = parameters.unpack()
        invocation.return_value(None)
    else:
        invocation.return_value(last)


if version > 0:
    bus.register_object(PORTAL_PATH, node.interfaces[0], on_call,
                        lambda *_: GLib.Variant("u", version), None)
bus.register_object(PORTAL_PATH, node.interfaces[1], on_call, None, None)
Gio.bus_own_name_on_connection(bus, "org.freedesktop.portal.Desktop", Gio.BusNameOwnerFlags.NONE,
                               None, lambda *_: sys.exit("file-chooser-portal: could not take the name"))
GLib.MainLoop().run()
