"""What the end-to-end tests of the shell share: waiting, the processes they start, an X server
with a tray and vessa's popover on it, the local backend, vessa's log, playing the browser's part
in signing in, and ending vessa."""

import html.parser
import os
import re
import signal
import socket
import subprocess
import sys
import time
import urllib.error
import urllib.parse
import urllib.request

started = []

# Each X client a test runs gets this long; a stuck one fails the test, naming itself.
X_CLIENT_TIMEOUT = 30


def fail(message):
    raise AssertionError(message)


def wait_for(condition, what, timeout=20.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        result = condition()
        if result:
            return result
        time.sleep(0.05)
    fail("timed out waiting for " + what)


def start(arguments, **kwargs):
    process = subprocess.Popen(arguments, **kwargs)
    started.append(process)
    return process


def stop_everything():
    """Ends what the test started, last first; a process that outlives that fails the test."""
    for process in reversed(started):
        if process.poll() is None:
            process.terminate()
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()
    left = [p.args[0] for p in started if p.poll() is None]
    if left:
        print("still running:", left)
        sys.exit(1)


def start_x_server(width, height):
    """An Xvfb of the test's own; its display name."""
    read_end, write_end = os.pipe()
    start(["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{width}x{height}x24",
           "-nolisten", "tcp"], pass_fds=(write_end,), stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as pipe:
        return ":" + pipe.readline().strip()


class XScreen:
    """The test's X server as its X clients see it, run with environment. Qt draws vessa at
    scale device pixels per point (QT_SCALE_FACTOR), so places in its windows are given in
    points."""

    def __init__(self, environment, scale=1):
        self.environment = environment
        self.scale = scale

    def run(self, *arguments):
        """What an X client printed; one that fails or gets stuck fails the test."""
        return subprocess.run(arguments, env=self.environment, check=True, capture_output=True,
                              text=True, timeout=X_CLIENT_TIMEOUT).stdout

    def window_tree(self):
        return self.run("xwininfo", "-root", "-tree")

    def start_tray(self, folder):
        """trayer, an XEmbed tray host, once its panel is up; its output goes to folder."""
        # Now and then trayer cannot open the display it has just been given ("cannot open
        # display", about one start in twenty here, with the server answering everyone else): a
        # second start works.
        for attempt in range(3):
            log = os.path.join(folder, f"trayer-{attempt}.log")
            with open(log, "w") as output:
                tray = start(["trayer", "--edge", "top", "--align", "right", "--widthtype",
                              "request", "--height", "24"], env=self.environment, stdout=output,
                             stderr=output)
            try:
                wait_for(lambda: tray.poll() is not None
                         or '("panel" "trayer")' in self.window_tree(), "the tray")
            except AssertionError:
                break
            if tray.poll() is None:
                return tray
        fail(f"no tray (trayer exit status {tray.poll()}): {open(log).read()}")

    def tray_icon_docked(self):
        # The icon is a window of class "vessa" somewhere under trayer's panel.
        lines = self.window_tree().splitlines()
        for index, line in enumerate(lines):
            if '("panel" "trayer")' in line:
                depth = len(line) - len(line.lstrip())
                for inner in lines[index + 1:]:
                    if len(inner) - len(inner.lstrip()) <= depth:
                        break
                    if '("vessa" "Vessa")' in inner:
                        return True
        return False

    def popover(self):
        """The popover's window id, when it is mapped."""
        size = f"{400 * self.scale}x{600 * self.scale}"
        for line in self.window_tree().splitlines():
            match = re.match(r'\s*(0x[0-9a-f]+) "Vessa": \("vessa" "Vessa"\)\s+' + size + r"\+",
                             line)
            if match and "IsViewable" in self.run("xwininfo", "-id", match.group(1)):
                return match.group(1)
        return None

    def click_in(self, window, x_points, y_points):
        """A click at a place in the window given in points, as the views are laid out."""
        self.run("xdotool", "mousemove", "--window", window, str(x_points * self.scale),
                 str(y_points * self.scale), "click", "1")


def fake_browser(folder):
    """An xdg-open in folder that only writes down the URLs vessa asks it to open, for the test
    to follow; the file they are written to."""
    opened = os.path.join(folder, "opened-urls")
    xdg_open = os.path.join(folder, "xdg-open")
    with open(xdg_open, "w") as script:
        script.write('#!/bin/sh\nprintf "%s\\n" "$1" >> "' + opened + '"\n')
    os.chmod(xdg_open, 0o755)
    return opened


def last_opened(opened):
    """The last URL vessa asked the fake browser writing to opened to open; none before it asked."""
    if not os.path.exists(opened):
        return None
    urls = open(opened).read().strip().splitlines()
    return urls[-1] if urls else None


def listening(port):
    try:
        socket.create_connection(("127.0.0.1", port), timeout=1).close()
        return True
    except OSError:
        return False


def start_backend(localserver, port, data, log_path, options=()):
    """The local backend with any further options, once it listens; another one already
    listening is an error."""
    if listening(port):
        fail(f"something already listens on 127.0.0.1:{port}; run this test in a network "
             "namespace of its own (tests/voice/loopback-only.sh)")
    with open(log_path, "w") as output:
        backend = start([localserver, "--port", str(port), "--data", data, "--pace-ms", "5",
                         *options], stdout=output, stderr=output)
    try:
        wait_for(lambda: backend.poll() is not None or listening(port), "the local backend")
    except AssertionError:
        fail(f"the local backend never listened on port {port}: {open(log_path).read()}")
    if backend.poll() is not None:
        fail(f"the local backend exited with status {backend.returncode}: "
             f"{open(log_path).read()}")
    return backend


class Log:
    def __init__(self, path):
        self.path = path

    def text(self):
        with open(self.path, encoding="utf-8", errors="replace") as file:
            return file.read()

    def wait_for(self, line, count=1):
        wait_for(lambda: self.text().count(line + "\n") >= count, repr(line))


class Inputs(html.parser.HTMLParser):
    def __init__(self, text):
        super().__init__()
        self.fields = {}
        self.feed(text)

    def handle_starttag(self, tag, attributes):
        attributes = dict(attributes)
        if tag == "input" and "name" in attributes:
            self.fields[attributes["name"]] = attributes.get("value") or ""


class KeepRedirect(urllib.request.HTTPRedirectHandler):
    def redirect_request(self, *args):
        return None


def play_browser(authorize_url):
    """Submits the sign-in page as a person would and returns the callback it redirects to."""
    with urllib.request.urlopen(authorize_url, timeout=10) as page:
        fields = Inputs(page.read().decode()).fields
    fields.update(name="Ada Lovelace", email="ada@example.com")
    form = authorize_url.split("?")[0]
    try:
        urllib.request.build_opener(KeepRedirect).open(
            form, urllib.parse.urlencode(fields).encode(), timeout=10)
    except urllib.error.HTTPError as answer:
        if answer.code in (302, 303):
            return answer.headers["Location"]
        raise
    fail("the sign-in page did not redirect")


def finish_sign_in(vessa, environment, authorize_url, log):
    """Signs in on the page at authorize_url and hands its callback to a second vessa, as the
    desktop does with the link the browser is sent to; returns once the first vessa is signed in."""
    callback = play_browser(authorize_url)
    forward = subprocess.run([vessa, callback], env=environment, capture_output=True, timeout=20)
    if forward.returncode != 0 or forward.stdout:
        fail(f"the callback start did not hand over cleanly: {forward}")
    log.wait_for("[AuthService] Sign in complete for user: ada@example.com")


def sign_in_from_popover(screen, window, opened, vessa, environment, log):
    """Signs in with the popover's button, which opens the "browser"; the browser takes the focus
    meanwhile, which closes the popover. The popover's window once it shows the chat again."""
    screen.click_in(window, 200, 448)
    authorize_url = wait_for(lambda: last_opened(opened), "the sign-in page to be opened")
    screen.run("xdotool", "key", "Escape")
    wait_for(lambda: screen.popover() is None, "the popover to unmap while the browser signs in")
    finish_sign_in(vessa, environment, authorize_url, log)
    return wait_for(screen.popover, "the popover to show the chat after signing in")


def stop_vessa_and_backend(vessa, log, backend,
                           last_lines=("[AppDelegate] Vessa Mac terminating",)):
    """Ends vessa with SIGTERM, which must end it cleanly with last_lines last in its log, and
    then the backend."""
    vessa.send_signal(signal.SIGTERM)
    if vessa.wait(timeout=20) != 0:
        fail("vessa did not end cleanly on SIGTERM")
    text = log.text()
    if not text.endswith("".join(line + "\n" for line in last_lines)):
        fail("vessa's last lines are not the shutdown:\n" + text[-400:])
    backend.terminate()
    backend.wait(timeout=20)
