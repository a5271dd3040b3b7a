#!/usr/bin/python3
"""Vessa on a real X server with a real tray, driven as a person would.

Starts Xvfb, trayer (an XEmbed tray host), the local backend and vessa; checks the tray icon is
docked; presses Ctrl+Shift+M while another X client has the focus and checks that client still
got the key; signs in playing the browser, the popover closed meanwhile, and checks that it shows
again once the sign-in is done; clicks into the message field, which must leave the popover open,
sends a message with the keyboard and looks for the reply on screen; closes the popover with a
click beside it and, reopened, with Escape; checks that starting vessa again shows the popover
and keeps it shown; stops vessa with SIGTERM and checks that nothing is left running.

At SCALE 2 Qt draws everything twice as large (QT_SCALE_FACTOR), and its coordinates are no
longer the X server's.

The local backend listens on a fixed port: run this in a network namespace of its own
(tests/voice/loopback-only.sh), so that no other backend can answer in its place.

Usage: shell_e2e.py VESSA LOCALSERVER PORT SCALE
"""

import os
import re
import subprocess
import sys
import tempfile
import time

from e2e_support import (X_CLIENT_TIMEOUT, Log, XScreen, fail, fake_browser,
                         sign_in_from_popover, start, start_backend, start_x_server,
                         stop_vessa_and_backend, stop_everything, wait_for)

VESSA, LOCALSERVER, PORT, SCALE = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
work = tempfile.TemporaryDirectory(prefix="vessa-e2e-")
display = start_x_server(1280 * SCALE, 800 * SCALE)
environment = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb", QT_SCALE_FACTOR=str(SCALE))
for name in ("XDG_RUNTIME_DIR", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "bin", "data"):
    os.makedirs(os.path.join(work.name, name), mode=0o700)
    if name.startswith("XDG"):
        environment[name] = os.path.join(work.name, name)

# The "browser": whatever vessa asks the desktop to open is written down for the test to follow.
opened = fake_browser(os.path.join(work.name, "bin"))
environment["PATH"] = os.path.join(work.name, "bin") + ":" + os.environ["PATH"]


screen = XScreen(environment, SCALE)
x = screen.run


def search(*criteria):
    found = subprocess.run(("xdotool", "search") + criteria, env=environment,
                           capture_output=True, text=True, timeout=X_CLIENT_TIMEOUT)
    return found.stdout.split()


def screenshot(window):
    """The window's pixels as (width, height, bytes of RGB)."""
    data = subprocess.run(["import", "-window", window, "-depth", "8", "ppm:-"],
                          env=environment, check=True, capture_output=True,
                          timeout=X_CLIENT_TIMEOUT).stdout
    header = data.split(b"\n", 3)
    width, height = map(int, header[1].split())
    return width, height, header[3]


ACCENT = (0xc1, 0x7f, 0x59)


def below_the_message(window):
    """The window's pixel reader and the rows between the user's bubble (the accent colour, on
    the right) and the input field (the bottom 80 points); no rows before the bubble shows."""
    width, height, pixels = screenshot(window)

    def pixel(column, row):
        at = (row * width + column) * 3
        return pixels[at], pixels[at + 1], pixels[at + 2]

    bubble_rows = [row for row in range(height - 80 * SCALE)
                   if any(pixel(column, row) == ACCENT for column in range(width // 2, width, 4))]
    below = range(max(bubble_rows) + 10 * SCALE, height - 80 * SCALE) if bubble_rows else range(0)
    return width, pixel, below


def reply_shown(window):
    """Text below the user's message: many pixels there unlike the background, and the
    assistant's round avatar, in the accent colour, at the left."""
    width, pixel, below = below_the_message(window)
    background = pixel(2, 300 * SCALE)
    differing = sum(1 for row in below for column in range(0, width, 2)
                    if sum(abs(a - b) for a, b in zip(pixel(column, row), background)) > 120)
    avatar = sum(1 for row in below for column in range(48 * SCALE)
                 if sum(abs(a - b) for a, b in zip(pixel(column, row), ACCENT)) < 60)
    return differing > 300 * SCALE and avatar > 150 * SCALE * SCALE


def main():
    screen.start_tray(work.name)
    backend = start_backend(LOCALSERVER, PORT, os.path.join(work.name, "data"),
                            os.path.join(work.name, "backend.log"))

    log = Log(os.path.join(work.name, "vessa.log"))
    with open(log.path, "w") as output:
        vessa = start([VESSA], env=environment, stdout=output)
    log.wait_for("[AppDelegate] Vessa Mac launched")
    wait_for(screen.tray_icon_docked, "the tray icon in the tray")

    # Another client has the focus; the hot key still reaches it, and the popover maps.
    xev = start(["xev", "-event", "keyboard"], env=environment, stdout=subprocess.PIPE,
                stderr=subprocess.DEVNULL, text=True)
    other = wait_for(lambda: search("--name", "^Event Tester$"), "the other client's window")[0]
    # Held past the keyboard's repeat delay, the key still toggles once.
    x("xdotool", "windowfocus", "--sync", other)
    x("xdotool", "keydown", "ctrl+shift+m")
    time.sleep(1.0)
    x("xdotool", "keyup", "ctrl+shift+m")
    window = wait_for(screen.popover, "the popover to map")
    time.sleep(0.2)
    if log.text().count("Popover") != 1:
        fail("a held hot key toggled more than once:\n" + log.text())
    xev.terminate()
    pressed = xev.communicate(timeout=X_CLIENT_TIMEOUT)[0]
    if not re.search(r"KeyPress event.*\n.*\n.*keysym 0x4d, M", pressed):
        fail("the focused client did not receive Ctrl+Shift+M")

    # Sign in: the button opens the "browser", which hands the callback to a second vessa. The
    # browser took the focus meanwhile, which closed the popover; the user comes back to it.
    window = sign_in_from_popover(screen, window, opened, VESSA, environment, log)

    # A click into the message field keeps the popover open; a message typed and sent with
    # Return gets a reply on screen, beside the assistant's avatar.
    screen.click_in(window, 150, 570)
    time.sleep(0.3)
    if screen.popover() is None:
        fail("a click into the message field closed the popover:\n" + log.text())
    x("xdotool", "type", "--delay", "20", "Hello Vessa")
    x("xdotool", "key", "Return")
    wait_for(lambda: reply_shown(window), "the reply on screen", timeout=30)

    # A click beside the popover closes it, as does Escape once "vessa --toggle" has opened it
    # again.
    x("xdotool", "mousemove", "100", "400", "click", "1")
    wait_for(lambda: screen.popover() is None, "the popover to unmap after a click beside it")
    log.wait_for("[StatusBarController] Popover closed")
    subprocess.run([VESSA, "--toggle"], env=environment, check=True, timeout=20)
    window = wait_for(screen.popover, "the popover to map again")
    x("xdotool", "key", "Escape")
    wait_for(lambda: screen.popover() is None, "the popover to unmap after Escape")
    closed = log.text().count("[StatusBarController] Popover closed")

    # Started again, as from the application menu, Vessa shows its popover, and keeps it shown.
    for _ in range(2):
        again = subprocess.run([VESSA], env=environment, capture_output=True, timeout=20)
        if again.returncode != 0 or again.stdout:
            fail(f"the second start did not hand over cleanly: {again}")
        window = wait_for(screen.popover, "the popover to show for a second start")
    time.sleep(0.3)
    if (screen.popover() is None
            or log.text().count("[StatusBarController] Popover closed") != closed):
        fail("a start while the popover showed closed it:\n" + log.text())

    stop_vessa_and_backend(vessa, log, backend, ("[HotKeyManager] Hotkey monitors removed",
                                                 "[AppDelegate] Vessa Mac terminating"))


try:
    main()
    print("end-to-end: passed")
finally:
    stop_everything()
