#!/usr/bin/python3
"""Vessa on a real X server with a tray, its local backend answering with the user's own model.

The model is a scripted model server of the test's own: its first reply says a few words and
calls add_todo in pieces, its second streams the answer word by word. The test signs in playing
the browser, types a question into the popover and sends it with Return, then reads the popover
as a screen reader does (AT-SPI, on a session bus of the test's own): the answer comes in
pieces, ends as the model wrote it with its Markdown rendered, and the add_todo call has its
card. The backend's log has the model check and the chat; a screenshot of the popover with the
answer and the card is left for a person to look at.

The local backend listens on a fixed port: run this in a network namespace of its own
(tests/voice/loopback-only.sh), so that no other backend can answer in its place.

Usage: model_e2e.py VESSA LOCALSERVER MODEL_SERVER PORT SCREENSHOT.png
"""

import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

from e2e_support import (X_CLIENT_TIMEOUT, Log, XScreen, fail, fake_browser,
                         sign_in_from_popover, start, start_backend, start_x_server,
                         stop_everything, stop_vessa_and_backend, wait_for)

VESSA, LOCALSERVER, MODEL_SERVER, PORT, SCREENSHOT = (sys.argv[1], sys.argv[2], sys.argv[3],
                                                      int(sys.argv[4]), sys.argv[5])
READER = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "ui",
                      "accessibility_tree.py")
work = tempfile.TemporaryDirectory(prefix="vessa-model-e2e-")

QUESTION = "Please put milk on my list"
# The answer as the model streams it, and as a screen reader must get it: Markdown rendered, no
# asterisks read aloud, and the words before the tool call and those after it one paragraph.
OPENING = "Adding it now. "
ANSWER_PIECES = ["Done: ", "**Buy ", "milk** ", "is on ", "your list."]
ANSWER = OPENING + "Done: Buy milk is on your list."
TOOL_CARD = "Add Todo"
SCRIPT = {"models": ["scripted"], "replies": [
    {"chunks": [{"content": OPENING},
                {"tool_call": {"index": 0, "id": "call_1", "name": "add_todo",
                               "arguments": "{\"title\":"}},
                {"tool_call": {"index": 0, "arguments": " \"Buy "}},
                {"tool_call": {"index": 0, "arguments": "milk\"}"}},
                {"finish": "tool_calls"}],
     "pause_ms": 50},
    # Long enough between pieces for the reader to see the answer half written.
    {"text": ANSWER_PIECES, "pause_ms": 400}]}


def folder(name):
    path = os.path.join(work.name, name)
    os.makedirs(path, mode=0o700)
    return path


def start_session_bus():
    """A session bus of the test's own on which only the accessibility bus can be started, so
    that nothing else installed answers vessa; its address."""
    services = folder("dbus-services")
    shutil.copy("/usr/share/dbus-1/services/org.a11y.Bus.service", services)
    config = os.path.join(work.name, "session-bus.conf")
    with open(config, "w") as file:
        file.write(f"""<busconfig>
  <type>session</type>
  <listen>unix:dir={work.name}</listen>
  <auth>EXTERNAL</auth>
  <servicedir>{services}</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
""")
    read_end, write_end = os.pipe()
    start(["dbus-daemon", "--nofork", "--config-file=" + config,
           f"--print-address={write_end}"], env=environment, pass_fds=(write_end,),
          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as pipe:
        return pipe.readline().strip()


display = start_x_server(1280, 800)
environment = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb",
                   XDG_RUNTIME_DIR=folder("XDG_RUNTIME_DIR"),
                   XDG_DATA_HOME=folder("XDG_DATA_HOME"),
                   XDG_CONFIG_HOME=folder("XDG_CONFIG_HOME"))
environment.pop("QT_SCALE_FACTOR", None)
environment["DBUS_SESSION_BUS_ADDRESS"] = start_session_bus()
# The "browser": whatever vessa asks the desktop to open is written down for the test to follow.
opened = fake_browser(folder("bin"))
vessa_environment = dict(environment, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                         PATH=os.path.join(work.name, "bin") + ":" + os.environ["PATH"])

screen = XScreen(environment)
x = screen.run


class ScreenReader:
    """tests/ui/accessibility_tree.py reading vessa: the nodes it shows, in document order."""

    def __init__(self, pid):
        # Its complaints about objects gone before it could name them are kept out of the way.
        self.errors = os.path.join(work.name, "reader.log")
        with open(self.errors, "w") as errors:
            self.reader = start(["/usr/bin/python3", READER, str(pid)], env=environment,
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=errors,
                                text=True)
        if self.reader.stdout.readline().strip() != "ready":
            fail(f"the screen reader found no vessa (exit status {self.reader.wait()}): "
                 + open(self.errors).read()[-2000:])

    def shown(self):
        self.reader.stdin.write("tree\n")
        self.reader.stdin.flush()
        nodes = []

        def collect(node):
            if node["showing"]:
                nodes.append((node["role"], node["name"]))
            for child in node["children"]:
                collect(child)

        collect(json.loads(self.reader.stdout.readline()))
        return nodes

    def close(self):
        self.reader.stdin.close()
        self.reader.wait(timeout=X_CLIENT_TIMEOUT)


def main():
    script = os.path.join(work.name, "model-script.json")
    with open(script, "w") as file:
        json.dump(SCRIPT, file)
    model = start([MODEL_SERVER, script], stdout=subprocess.PIPE, text=True)
    model_url = model.stdout.readline().strip()
    if not model_url.startswith("http://127.0.0.1:"):
        fail(f"the scripted model server said {model_url!r} (exit status {model.poll()})")

    screen.start_tray(work.name)
    backend_log = Log(os.path.join(work.name, "backend.log"))
    backend = start_backend(LOCALSERVER, PORT, folder("data"), backend_log.path,
                            ["--model-url", model_url, "--model", "scripted"])
    backend_log.wait_for(f"[vessa-localserver] Model scripted answers at {model_url}")

    log = Log(os.path.join(work.name, "vessa.log"))
    with open(log.path, "w") as output:
        vessa = start([VESSA], env=vessa_environment, stdout=output)
    log.wait_for("[AppDelegate] Vessa Mac launched")
    wait_for(screen.tray_icon_docked, "the tray icon in the tray")
    reader = ScreenReader(vessa.pid)

    # Sign in: the button opens the "browser", which hands the callback to a second vessa; the
    # popover comes back with the chat once that is done.
    subprocess.run([VESSA, "--toggle"], env=vessa_environment, check=True, timeout=20)
    window = wait_for(screen.popover, "the popover to map")
    window = sign_in_from_popover(screen, window, opened, VESSA, vessa_environment, log)

    # The question, typed and sent with Return.
    screen.click_in(window, 150, 570)
    x("xdotool", "type", "--delay", "20", QUESTION)
    x("xdotool", "key", "Return")

    # The answer comes in pieces, each on screen before the next arrives, and ends whole, with
    # the card of the tool the model called; then the reply is over, and no Stop is offered.
    seen = set()

    def answered():
        nodes = reader.shown()
        names = [name for _, name in nodes]
        seen.update(names)
        return (ANSWER in names and "Stop" not in names and "Vessa is writing" not in names
                and nodes)

    try:
        nodes = wait_for(answered, "the model's answer in the popover", timeout=60)
    except AssertionError:
        fail(f"no answer in the popover; a screen reader heard {sorted(seen)}")
    unfinished = {name for name in seen if len(name) > len(OPENING) and ANSWER.startswith(name)
                  and name != ANSWER}
    if not unfinished:
        fail(f"the answer showed only whole, not as it streamed: {sorted(seen)}")
    names = [name for _, name in nodes]
    if QUESTION not in " ".join(names):
        fail(f"the question is not in the chat: {nodes}")
    if nodes.count(("push button", TOOL_CARD)) != 1:
        fail(f"no single {TOOL_CARD} card: {nodes}")
    if any("**" in name for name in names):
        fail(f"Markdown is read aloud: {nodes}")

    # Opened with a click, the card shows what the model asked for and what the backend did.
    screen.click_in(window, 120, 115)

    def opened_card():
        nodes = reader.shown()
        return any(name.startswith("Output: ") for _, name in nodes) and nodes

    try:
        nodes = wait_for(opened_card, "the card's details")
    except AssertionError:
        fail(f"the card did not open: {reader.shown()}")
    names = [name for _, name in nodes]
    if not any(name.startswith("Input: ") and '"title": "Buy milk"' in name for name in names):
        fail(f"the card does not show the model's arguments: {nodes}")
    if "Output: Added todo #1: Buy milk." not in names or ANSWER not in names:
        fail(f"the card does not show the todo added, or the answer went: {nodes}")
    # The picture once the card's chevron has finished turning (300 ms).
    time.sleep(0.4)
    x("import", "-window", window, SCREENSHOT)

    # The chat went through the backend, which logs it once its answer has ended, and the
    # question was vessa's.
    try:
        wait_for(lambda: re.search(r"^\[vessa-localserver\] POST /api/v1/chat/stream 200 ",
                                   backend_log.text(), re.MULTILINE), "the chat in the log")
    except AssertionError:
        fail("the backend's log has no chat:\n" + backend_log.text())
    if QUESTION not in log.text():
        fail("vessa did not send the question:\n" + log.text())

    reader.close()
    stop_vessa_and_backend(vessa, log, backend)


try:
    main()
    print("model end-to-end: passed")
except AssertionError:
    # What the popover showed when it went wrong, and what vessa and the backend had said.
    window = screen.popover()
    if window:
        failed = SCREENSHOT.replace(".png", "-failed.png")
        x("import", "-window", window, failed)
        print("the popover is in", failed)
    for name in ("vessa.log", "backend.log"):
        path = os.path.join(work.name, name)
        if os.path.exists(path):
            print(f"--- {name}\n" + open(path, encoding="utf-8", errors="replace").read())
    raise
finally:
    stop_everything()
