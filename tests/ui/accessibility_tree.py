#!/usr/bin/python3
"""What a screen reader gets of one application, read through AT-SPI.

Finds the application with the given process id on the accessibility bus, listens to what it
announces, prints "ready" and then answers one command per line on standard input, each with one
line of JSON on standard output:

  tree    the accessibility tree: each node's role, name, whether it is showing, its children
  shown   the nodes that came on screen since the last "shown", as a screen reader hears of them
          (object:state-changed:showing), each with its role and name

It ends at the end of its input.

Usage: accessibility_tree.py PID
"""

import json
import sys
import time

import gi

gi.require_version("Atspi", "2.0")

import pyatspi  # noqa: E402
from gi.repository import Atspi, GLib  # noqa: E402


def application(pid):
    # The application registers with the registry once its bridge is up; wait for it a while.
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline:
        for candidate in pyatspi.Registry.getDesktop(0):
            if candidate is not None and candidate.get_process_id() == pid:
                return candidate
        time.sleep(0.1)
    sys.exit("no application with process id %d on the accessibility bus" % pid)


def node(accessible):
    return {
        "role": accessible.getRoleName(),
        "name": accessible.name or "",
        "showing": accessible.getState().contains(pyatspi.STATE_SHOWING),
        "children": [node(child) for child in accessible if child is not None],
    }


pid = int(sys.argv[1])
app = application(pid)
# Asked afresh every time: what the application holds now, not what it held when first asked.
app.set_cache_mask(Atspi.Cache.NONE)
shown = []


def on_showing(event):
    if event.detail1 == 1 and event.source.get_process_id() == pid:
        shown.append({"role": event.source.getRoleName(), "name": event.source.name or ""})


def answer(source, condition):
    line = sys.stdin.readline()
    if not line:
        pyatspi.Registry.stop()
        return False
    command = line.strip()
    if command == "tree":
        reply = node(app)
    elif command == "shown":
        # Events already sent are handled first. The context always has something to do, so
        # this settles for what arrives within a moment.
        context = GLib.MainContext.default()
        settled = time.monotonic() + 0.5
        while context.pending() and time.monotonic() < settled:
            context.iteration(False)
        reply = list(shown)
        shown.clear()
    else:
        reply = {"error": "unknown command " + command}
    print(json.dumps(reply), flush=True)
    return True


pyatspi.Registry.registerEventListener(on_showing, "object:state-changed:showing")
GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, answer)
print("ready", flush=True)
pyatspi.Registry.start()
