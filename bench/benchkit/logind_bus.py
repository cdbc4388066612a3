"""A private D-Bus system bus with python-dbusmock's logind on it, standing where
the machine's own would: the watchdog's restart requests reach it and nothing
else, and it notes the moment each call arrives. Nothing is ever restarted."""

import os

import dbus

from .children import read_line, wait_for

_LOGIND = "org.freedesktop.login1"

# Python starts slowly on a loaded machine.
_START_TIMEOUT_S = 30


class PrivateLogind:
    def __init__(self, children, folder):
        self.folder = folder
        os.makedirs(folder)
        # A session bus lets every client own any name and call anything, as a
        # bus under test must; it listens only on a socket in the folder.
        daemon = children.start(
            ["/usr/bin/dbus-daemon", "--session", "--nofork",
             "--address=unix:path=" + os.path.join(folder, "socket"), "--print-address=1"],
            output=os.path.join(folder, "daemon.log"), pipe_stdout=True)
        self.address = read_line(daemon, _START_TIMEOUT_S)
        if not self.address.startswith("unix:path=" + folder):
            raise RuntimeError(f"the private bus is at {self.address!r}")

        self._calls = os.path.join(folder, "logind-calls.log")
        children.start(
            ["/usr/bin/python3", "-m", "dbusmock", "--system", "--template", "logind",
             "--logfile", self._calls],
            env={"DBUS_SYSTEM_BUS_ADDRESS": self.address},
            output=os.path.join(folder, "logind.log"))
        bus = dbus.bus.BusConnection(self.address)
        try:
            wait_for(lambda: bus.name_has_owner(_LOGIND), _START_TIMEOUT_S,
                     "the logind mock", every_s=0.05)
        finally:
            bus.close()

    def reboot_times(self):
        """When each Reboot call reached logind, as time.time() would have
        said, to the millisecond."""
        if not os.path.exists(self._calls):
            return []
        with open(self._calls, encoding="utf-8") as file:
            entries = [line.split(" ", 2) for line in file]
        return [float(entry[0]) for entry in entries if len(entry) > 1 and entry[1] == "Reboot"]
