#!/usr/bin/python3
"""A stand-in desktop portal that offers only GlobalShortcuts, for tests.

No desktop that runs headless here has a GlobalShortcuts backend, so this plays
org.freedesktop.portal.Desktop on the session bus as the real portal answers a
client: CreateSession and BindShortcuts reply with a request path and answer
later with that request's Response signal, sent to the caller alone; sessions
are objects that Close ends. A control interface lets the test look and act:

  SetBindResponse(u)    the response code of later BindShortcuts (0 accepts)
  Sessions() -> a(sssb) each session: handle, bound shortcut id, its preferred
                        trigger (both empty until bound), whether it was closed
  Activate(o, s)        sends Activated for that session and shortcut id to the
                        session's owner, whether or not it was bound or closed
                        (to everyone when there is no such session)

    shortcuts-portal.py        (runs until it is stopped)
"""
import sys

from gi.repository import Gio, GLib

PORTAL_PATH = "/org/freedesktop/portal/desktop"
XML = """
<node>
  <interface name="org.freedesktop.portal.GlobalShortcuts">
    <method name="CreateSession">
      <arg type="a{sv}" direction="in"/><arg type="o" direction="out"/>
    </method>
    <method name="BindShortcuts">
      <arg type="o" direction="in"/><arg type="a(sa{sv})" direction="in"/>
      <arg type="s" direction="in"/><arg type="a{sv}" direction="in"/>
      <arg type="o" direction="out"/>
    </method>
    <signal name="Activated">
      <arg type="o"/><arg type="s"/><arg type="t"/><arg type="a{sv}"/>
    </signal>
    <property name="version" type="u" access="read"/>
  </interface>
  <interface name="lab.quimbry.ventilux.test.Portal">
    <method name="SetBindResponse"><arg type="u" direction="in"/></method>
    <method name="Sessions"><arg type="a(sssb)" direction="out"/></method>
    <method name="Activate"><arg type="o" direction="in"/><arg type="s" direction="in"/></method>
  </interface>
  <interface name="org.freedesktop.portal.Session">
    <method name="Close"/>
  </interface>
</node>"""

bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
node = Gio.DBusNodeInfo.new_for_xml(XML)
sessions = {}  # handle -> {"owner", "id", "trigger", "closed"}
bind_response = 0


def handle(kind, sender, token):
    return "%s/%s/%s/%s" % (PORTAL_PATH, kind, sender[1:].replace(".", "_"), token)


def respond(sender, request, response, results):
    bus.emit_signal(sender, request, "org.freedesktop.portal.Request", "Response",
                    GLib.Variant("(ua{sv})", (response, results)))


def on_portal_call(connection, sender, path, interface, method, parameters, invocation):
    global bind_response
    if method == "CreateSession":
        options = parameters.unpack()[0]
        request = handle("request", sender, options["handle_token"])
        session = handle("session", sender, options["session_handle_token"])
        sessions[session] = {"owner": sender, "id": "", "trigger": "", "closed": False}
        bus.register_object(session, node.interfaces[2], on_session_call, None, None)
        invocation.return_value(GLib.Variant("(o)", (request,)))
        respond(sender, request, 0, {"session_handle": GLib.Variant("s", session)})
    elif method == "BindShortcuts":
        session, shortcuts, _, options = parameters.unpack()
        request = handle("request", sender, options["handle_token"])
        invocation.return_value(GLib.Variant("(o)", (request,)))
        if bind_response != 0 or session not in sessions:
            respond(sender, request, bind_response or 2, {})
            return
        bound = []
        for shortcut_id, wanted in shortcuts:
            sessions[session].update(id=shortcut_id, trigger=wanted.get("preferred_trigger", ""))
            bound.append((shortcut_id, {
                "description": GLib.Variant("s", wanted.get("description", "")),
                "trigger_description": GLib.Variant("s", wanted.get("preferred_trigger", "")),
            }))
        respond(sender, request, 0, {"shortcuts": GLib.Variant("a(sa{sv})", bound)})
    elif method == "SetBindResponse":
        bind_response = parameters.unpack()[0]
        invocation.return_value(None)
    elif method == "Sessions":
        listed = [(h, s["id"], s["trigger"], s["closed"]) for h, s in sessions.items()]
        invocation.return_value(GLib.Variant("(a(sssb))", (listed,)))
    elif method == "Activate":
        session, shortcut_id = parameters.unpack()
        owner = sessions.get(session, {}).get("owner")  # to everyone for a made-up session
        bus.emit_signal(owner, PORTAL_PATH,
                        "org.freedesktop.portal.GlobalShortcuts", "Activated",
                        GLib.Variant("(osta{sv})", (session, shortcut_id, 0, {})))
        invocation.return_value(None)


def on_session_call(connection, sender, path, interface, method, parameters, invocation):
    sessions[path]["closed"] = True
    invocation.return_value(None)


def on_get(connection, sender, path, interface, name):
    return GLib.Variant("u", 1)


def on_lost(connection, name):
    sys.exit("shortcuts-portal: lost or could not take " + name)


bus.register_object(PORTAL_PATH, node.interfaces[0], on_portal_call, on_get, None)
bus.register_object(PORTAL_PATH, node.interfaces[1], on_portal_call, None, None)
Gio.bus_own_name_on_connection(bus, "org.freedesktop.portal.Desktop", Gio.BusNameOwnerFlags.NONE,
                               None, on_lost)
GLib.MainLoop().run()
