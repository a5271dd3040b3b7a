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
import signal
import subprocess
import sys
import tempfile
import time

from e2e_support import (Log, fail, fake_browser, play_browser, start, start_backend,
                         start_x_server, stop_everything, wait_for)

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


# Each X client the test runs gets this long; a stuck one fails the test, naming itself.
X_CLIENT_TIMEOUT = 30


def x(*arguments):
    return subprocess.run(arguments, env=environment, check=True, capture_output=True,
                          text=True, timeout=X_CLIENT_TIMEOUT).stdout


def search(*criteria):
    found = subprocess.run(("xdotool", "search") + criteria, env=environment,
                           capture_output=True, text=True, timeout=X_CLIENT_TIMEOUT)
    return found.stdout.split()


def window_tree():
    return x("xwininfo", "-root", "-tree")




def tray_icon_docked():
    # The icon is a window of class "vessa" somewhere under trayer's panel.
    lines = window_tree().splitlines()
    for index, line in enumerate(lines):
        if '("panel" "trayer")' in line:
            depth = len(line) - len(line.lstrip())
            for inner in lines[index + 1:]:
                if len(inner) - len(inner.lstrip()) <= depth:
                    break
                if '("vessa" "Vessa")' in inner:
                    return True
    return False


def popover():
    """The popover's window id, when it is mapped."""
    for line in window_tree().splitlines():
        match = re.match(r'\s*(0x[0-9a-f]+) "Vessa": \("vessa" "Vessa"\)\s+'
                         + f"{400 * SCALE}x{600 * SCALE}" + r"\+", line)
        if match:
            state = x("xwininfo", "-id", match.group(1))
            if "IsViewable" in state:
                return match.group(1)
    return None


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


def click_in(window, x_points, y_points):
    """A click at a place in the window given in points, as the views are laid out."""
    x("xdotool", "mousemove", "--window", window, str(x_points * SCALE), str(y_points * SCALE),
      "click", "1")


def main():
    tray_log = os.path.join(work.name, "trayer.log")
    with open(tray_log, "w") as output:
        tray = start(["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                      "--height", "24"], env=environment, stdout=output, stderr=output)
    try:
        wait_for(lambda: '("panel" "trayer")' in window_tree(), "the tray")
    except AssertionError:
        fail(f"no tray (trayer exit status {tray.poll()}): {open(tray_log).read()}")
    backend = start_backend(LOCALSERVER, PORT, os.path.join(work.name, "data"),
                            os.path.join(work.name, "backend.log"))

    log = Log(os.path.join(work.name, "vessa.log"))
    with open(log.path, "w") as output:
        vessa = start([VESSA], env=environment, stdout=output)
    log.wait_for("[AppDelegate] Vessa Mac launched")
    wait_for(tray_icon_docked, "the tray icon in the tray")

    # Another client has the focus; the hot key still reaches it, and the popover maps.
    xev = start(["xev", "-event", "keyboard"], env=environment, stdout=subprocess.PIPE,
                stderr=subprocess.DEVNULL, text=True)
    other = wait_for(lambda: search("--name", "^Event Tester$"), "the other client's window")[0]
    # Held past the keyboard's repeat delay, the key still toggles once.
    x("xdotool", "windowfocus", "--sync", other)
    x("xdotool", "keydown", "ctrl+shift+m")
    time.sleep(1.0)
    x("xdotool", "keyup", "ctrl+shift+m")
    window = wait_for(popover, "the popover to map")
    time.sleep(0.2)
    if log.text().count("Popover") != 1:
        fail("a held hot key toggled more than once:\n" + log.text())
    xev.terminate()
    if not re.search(r"KeyPress event.*\n.*\n.*keysym 0x4d, M", xev.communicate(timeout=X_CLIENT_TIMEOUT)[0]):
        fail("the focused client did not receive Ctrl+Shift+M")

    # Sign in: the button opens the "browser", which hands the callback to a second vessa. The
    # browser took the focus meanwhile, which closed the popover; the user comes back to it.
    click_in(window, 200, 448)
    authorize_url = wait_for(lambda: os.path.exists(opened) and open(opened).read().strip(),
                             "the sign-in page to be opened")
    x("xdotool", "key", "Escape")
    wait_for(lambda: popover() is None, "the popover to unmap while the browser signs in")
    callback = play_browser(authorize_url.splitlines()[-1])
    forward = subprocess.run([VESSA, callback], env=environment, capture_output=True, timeout=20)
    if forward.returncode != 0 or forward.stdout:
        fail(f"the callback start did not hand over cleanly: {forward}")
    log.wait_for("[AuthService] Sign in complete for user: ada@example.com")
    window = wait_for(popover, "the popover to show the chat after signing in")

    # A click into the message field keeps the popover open; a message typed and sent with
    # Return gets a reply on screen, beside the assistant's avatar.
    click_in(window, 150, 570)
    time.sleep(0.3)
    if popover() is None:
        fail("a click into the message field closed the popover:\n" + log.text())
    x("xdotool", "type", "--delay", "20", "Hello Vessa")
    x("xdotool", "key", "Return")
    wait_for(lambda: reply_shown(window), "the reply on screen", timeout=30)

    # A click beside the popover closes it, as does Escape once "vessa --toggle" has opened it
    # again.
    x("xdotool", "mousemove", "100", "400", "click", "1")
    wait_for(lambda: popover() is None, "the popover to unmap after a click beside it")
    log.wait_for("[StatusBarController] Popover closed")
    subprocess.run([VESSA, "--toggle"], env=environment, check=True, timeout=20)
    window = wait_for(popover, "the popover to map again")
    x("xdotool", "key", "Escape")
    wait_for(lambda: popover() is None, "the popover to unmap after Escape")
    closed = log.text().count("[StatusBarController] Popover closed")

    # Started again, as from the application menu, Vessa shows its popover, and keeps it shown.
    for _ in range(2):
        again = subprocess.run([VESSA], env=environment, capture_output=True, timeout=20)
        if again.returncode != 0 or again.stdout:
            fail(f"the second start did not hand over cleanly: {again}")
        window = wait_for(popover, "the popover to show for a second start")
    time.sleep(0.3)
    if popover() is None or log.text().count("[StatusBarController] Popover closed") != closed:
        fail("a start while the popover showed closed it:\n" + log.text())

    vessa.send_signal(signal.SIGTERM)
    if vessa.wait(timeout=20) != 0:
        fail("vessa did not end cleanly on SIGTERM")
    text = log.text()
    if not text.endswith("[HotKeyManager] Hotkey monitors removed\n"
                         "[AppDelegate] Vessa Mac terminating\n"):
        fail("vessa's last lines are not the shutdown:\n" + text[-400:])
    backend.terminate()
    backend.wait(timeout=20)


try:
    main()
    print("end-to-end: passed")
finally:
    stop_everything()
