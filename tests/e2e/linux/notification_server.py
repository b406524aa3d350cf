#!/usr/bin/python3
"""A desktop's notification server, as far as the tests need one.

Owns org.freedesktop.Notifications on the session bus and answers every
Notify whose arguments have the standard types with an id; a call of any
other shape gets an error. Prints "ready" once it owns the name.
"""
import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib


class Notifications(dbus.service.Object):
    @dbus.service.method("org.freedesktop.Notifications",
                         in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        return 1


dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
name = dbus.service.BusName("org.freedesktop.Notifications", bus)
Notifications(bus, "/org/freedesktop/Notifications")
print("ready", flush=True)
GLib.MainLoop().run()
