#!/usr/bin/env python3
"""A stand-in for the UDisks2 disk service on a private D-Bus bus, for tests and for looking at the
window: it answers GetManagedObjects from a JSON description and OpenForBackup by handing over a
descriptor of a file (a card image) or by refusing.

    udisks2_standin.py BUS_ADDRESS DESCRIPTION.json

The description: {"objects": {PATH: {INTERFACE: {PROPERTY: [SIGNATURE, VALUE]}}},
                  "open": {PATH: {"file": IMAGE, "writable": false} | {"error": NAME, "message": TEXT}},
                  "log": FILE, "silent": false}
With "silent": true it never answers GetManagedObjects, as a service that cannot be started leaves
the caller waiting.
Every OpenForBackup call appends one line "PATH OPTIONS" to the log. Prints "ready" once the
service's name is owned."""
import json
import os
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

SERVICE = "org.freedesktop.UDisks2"
BLOCK = "org.freedesktop.UDisks2.Block"


def typed(signature, value):
    """A D-Bus value of the given signature from its JSON form."""
    if signature == "s":
        return dbus.String(value)
    if signature == "t":
        return dbus.UInt64(value)
    if signature == "u":
        return dbus.UInt32(value)
    if signature == "b":
        return dbus.Boolean(value)
    if signature == "o":
        return dbus.ObjectPath(value)
    if signature == "ay":  # byte strings end in a zero byte, as the service sends them
        return dbus.ByteArray(value.encode() + b"\0")
    if signature == "aay":
        return dbus.Array([dbus.ByteArray(v.encode() + b"\0") for v in value], signature="ay")
    raise ValueError("unsupported signature " + signature)


class Manager(dbus.service.Object):
    def __init__(self, bus, objects, silent):
        super().__init__(bus, "/org/freedesktop/UDisks2")
        self.objects, self.silent = objects, silent

    @dbus.service.method("org.freedesktop.DBus.ObjectManager", out_signature="a{oa{sa{sv}}}",
                         async_callbacks=("reply", "error"))
    def GetManagedObjects(self, reply, error):
        if self.silent:
            return  # neither reply nor error: the call waits until the caller gives up
        answer = dbus.Dictionary({}, signature="oa{sa{sv}}")
        for path, interfaces in self.objects.items():
            entry = dbus.Dictionary({}, signature="sa{sv}")
            for name, properties in interfaces.items():
                entry[name] = dbus.Dictionary(
                    {key: typed(sig, value) for key, (sig, value) in properties.items()}, signature="sv")
            answer[dbus.ObjectPath(path)] = entry
        reply(answer)


class Block(dbus.service.Object):
    def __init__(self, bus, path, behaviour, log):
        super().__init__(bus, path)
        self.path, self.behaviour, self.log = path, behaviour, log

    @dbus.service.method(BLOCK, in_signature="a{sv}", out_signature="h")
    def OpenForBackup(self, options):
        with open(self.log, "a") as log:
            log.write("%s %s\n" % (self.path, json.dumps({str(k): str(v) for k, v in options.items()})))
        if "error" in self.behaviour:
            raise dbus.exceptions.DBusException(self.behaviour.get("message", ""), name=self.behaviour["error"])
        flags = os.O_RDWR if self.behaviour.get("writable") else os.O_RDONLY
        fd = os.open(self.behaviour["file"], flags)
        try:
            return dbus.types.UnixFd(fd)  # sends a copy
        finally:
            os.close(fd)


def main():
    address, description_path = sys.argv[1], sys.argv[2]
    with open(description_path) as f:
        description = json.load(f)
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.bus.BusConnection(address)
    manager = Manager(bus, description["objects"], description.get("silent", False))
    blocks = [Block(bus, path, description.get("open", {}).get(path, {"error": "org.freedesktop.UDisks2.Error.Failed"}),
                    description["log"])
              for path, interfaces in description["objects"].items() if BLOCK in interfaces]
    name = dbus.service.BusName(SERVICE, bus)
    print("ready", flush=True)
    GLib.MainLoop().run()
    del manager, blocks, name


if __name__ == "__main__":
    main()
