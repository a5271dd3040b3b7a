"""What the end-to-end tests of the shell share: waiting, the processes they start, an X server,
the local backend, vessa's log, and playing the browser's part in signing in."""

import html.parser
import os
import socket
import subprocess
import sys
import time
import urllib.error
import urllib.parse
import urllib.request

started = []


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


def fake_browser(folder):
    """An xdg-open in folder that only writes down the URLs vessa asks it to open, for the test
    to follow; the file they are written to."""
    opened = os.path.join(folder, "opened-urls")
    xdg_open = os.path.join(folder, "xdg-open")
    with open(xdg_open, "w") as script:
        script.write('#!/bin/sh\nprintf "%s\\n" "$1" >> "' + opened + '"\n')
    os.chmod(xdg_open, 0o755)
    return opened


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
