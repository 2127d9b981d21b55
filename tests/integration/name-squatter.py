#!/usr/bin/python3
"""Another program holding Ventilux's bus name, for tests of ventilux --toggle.

    name-squatter.py silent     offers Ventilux's methods and never answers them
    name-squatter.py other      offers nothing at Ventilux's path: every call is
                                answered at once with an error

Prints "ready" once it holds lab.quimbry.Ventilux; runs until it is stopped.
"""
import sys

from gi.repository import Gio, GLib

XML = """
<node>
  <interface name="lab.quimbry.Ventilux1">
    <method name="Toggle"/><method name="Start"/><method name="Stop"/>
  </interface>
</node>"""

unanswered = []  # kept, so that GDBus does not answer them when they are dropped
bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
if sys.argv[1] == "silent":
    node = Gio.DBusNodeInfo.new_for_xml(XML)
    bus.register_object("/lab/quimbry/Ventilux", node.interfaces[0],
                        lambda *call: unanswered.append(call[-1]), None, None)
Gio.bus_own_name_on_connection(bus, "lab.quimbry.Ventilux", Gio.BusNameOwnerFlags.NONE,
                               lambda *_: print("ready", flush=True),
                               lambda *_: sys.exit("name-squatter: could not take the name"))
GLib.MainLoop().run()
