#!/usr/bin/env python3
"""Headless Chromium for tests and the demo, driven over its DevTools pipe (file
descriptors 3 and 4, messages ended by a NUL byte), so nothing but Python's standard
library and Debian's chromium is needed and no port is opened.

Every wait is for a condition (a reply, an event, a page state), bounded by a deadline
only so that a broken browser fails the run instead of hanging it.

As a program: headless_chromium.py screenshot PAGE.html OUT.png [WIDTH HEIGHT]
writes a picture of the page after its scripts ran."""
import json
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time

# Run as root in a container or on a build machine without a display: no sandbox, no GPU,
# nothing that reaches the network on its own (updates, sync, QUIC probes).
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--hide-scrollbars", "--mute-audio"]
DEADLINE = float(os.environ.get("QUORVEL_BROWSER_DEADLINE", "120"))


def chromium_binary():
    for name in ("chromium", "chromium-browser"):
        path = shutil.which(name)
        if path:
            return path
    raise RuntimeError("chromium is not installed (scripts/setup.sh installs it)")


class BrowserError(RuntimeError):
    pass


class Browser:
    """One Chromium process; pages are opened as targets of it."""

    def __init__(self):
        self.profile = tempfile.mkdtemp(prefix="quorvel-chromium-")
        commands_read, self._commands = os.pipe()
        self._replies, replies_write = os.pipe()

        def wire_pipes():
            # Chromium reads commands on 3 and writes replies on 4.
            a, b = os.dup(commands_read), os.dup(replies_write)
            os.dup2(a, 3)
            os.dup2(b, 4)
            os.set_inheritable(3, True)
            os.set_inheritable(4, True)

        self.log = open(os.path.join(self.profile, "chromium.log"), "w+")
        self.process = subprocess.Popen(
            [chromium_binary(), *FLAGS, "--user-data-dir=" + self.profile, "--remote-debugging-pipe",
             "about:blank"],
            preexec_fn=wire_pipes, close_fds=False, stdin=subprocess.DEVNULL, stdout=self.log, stderr=self.log)
        os.close(commands_read)
        os.close(replies_write)
        self._buffer = b""
        self._next_id = 0
        self.events = []

    def close(self):
        try:
            self.send("Browser.close")
        except (BrowserError, OSError):
            pass
        try:
            self.process.wait(timeout=DEADLINE)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        os.close(self._commands)
        os.close(self._replies)
        self.log.close()
        shutil.rmtree(self.profile, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def _read_message(self, deadline):
        while b"\0" not in self._buffer:
            # Wait for the pipe, not in the read, so that a browser that hangs silent is
            # given up at the deadline.
            ready, _, _ = select.select([self._replies], [], [], max(0.0, deadline - time.monotonic()))
            if not ready:
                raise BrowserError("no answer from chromium in time")
            chunk = os.read(self._replies, 1 << 20)
            if not chunk:
                raise BrowserError("chromium ended: " + self._log_tail())
            self._buffer += chunk
        message, self._buffer = self._buffer.split(b"\0", 1)
        return json.loads(message)

    def _log_tail(self):
        self.log.flush()
        self.log.seek(0)
        lines = [l for l in self.log.read().splitlines() if "dbus" not in l]
        return "\n".join(lines[-10:])

    def send(self, method, params=None, session=None):
        self._next_id += 1
        message = {"id": self._next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self._commands, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + DEADLINE
        while True:
            reply = self._read_message(deadline)
            if reply.get("id") == self._next_id:
                if "error" in reply:
                    raise BrowserError(f"{method}: {reply['error']}")
                return reply.get("result", {})
            self.events.append(reply)

    def wait_event(self, method, session, deadline=None):
        """The first not yet taken event |method| of |session|."""
        deadline = deadline or time.monotonic() + DEADLINE
        while True:
            for i, event in enumerate(self.events):
                if event.get("method") == method and event.get("sessionId") == session:
                    return self.events.pop(i)
            self.events.append(self._read_message(deadline))

    def open(self, url, width=1280, height=900):
        return Page(self, url, width, height)


class Page:
    """A tab: loaded, with everything it reports collected."""

    def __init__(self, browser, url, width, height):
        self.browser = browser
        target = browser.send("Target.createTarget", {"url": "about:blank"})["targetId"]
        self.session = browser.send("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        for domain in ("Page", "Runtime", "Log", "Network"):
            self.call(domain + ".enable")
        self.call("Emulation.setDeviceMetricsOverride",
                  {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": False})
        started = time.monotonic()
        self.call("Page.navigate", {"url": url})
        browser.wait_event("Page.loadEventFired", self.session)
        self.load_seconds = time.monotonic() - started

    def call(self, method, params=None):
        return self.browser.send(method, params, self.session)

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", {"expression": expression, "returnByValue": True, "awaitPromise": True})
        if "exceptionDetails" in result:
            raise BrowserError(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def wait_until(self, expression, what):
        """Evaluates |expression| until it is true; fails with |what| at the deadline."""
        deadline = time.monotonic() + DEADLINE
        while not self.evaluate(expression):
            if time.monotonic() > deadline:
                raise BrowserError("timed out waiting for " + what)
            self.evaluate("new Promise(r => requestAnimationFrame(() => r(1)))")

    def _events(self, method):
        self.evaluate("1")  # lets every event sent before now arrive
        return [e["params"] for e in self.browser.events
                if e.get("method") == method and e.get("sessionId") == self.session]

    def errors(self):
        """Uncaught exceptions, console errors and warnings, and error log entries."""
        found = [e["exceptionDetails"].get("text", "") + " " + json.dumps(e["exceptionDetails"].get("exception", {}))
                 for e in self._events("Runtime.exceptionThrown")]
        found += [f"console.{e['type']}: {e.get('args')}" for e in self._events("Runtime.consoleAPICalled")
                  if e["type"] in ("error", "warning", "assert")]
        found += [f"log {e['entry']['level']}: {e['entry'].get('text')}" for e in self._events("Log.entryAdded")
                  if e["entry"]["level"] in ("error", "warning")]
        return found

    def requests(self):
        """Every address the page asked for."""
        return [e["request"]["url"] for e in self._events("Network.requestWillBeSent")]

    def click(self, selector):
        """A real mouse click in the middle of the first element |selector| names."""
        box = self.evaluate(
            f"(() => {{ const e = document.querySelector({json.dumps(selector)}); e.scrollIntoView({{block: 'center'}});"
            " const r = e.getBoundingClientRect(); return [r.left + r.width / 2, r.top + r.height / 2]; })()")
        for kind in ("mousePressed", "mouseReleased"):
            self.call("Input.dispatchMouseEvent",
                      {"type": kind, "x": box[0], "y": box[1], "button": "left", "clickCount": 1})

    def screenshot(self, path):
        import base64
        data = self.call("Page.captureScreenshot", {"format": "png", "captureBeyondViewport": False})["data"]
        with open(path, "wb") as out:
            out.write(base64.b64decode(data))


def dump_dom(url):
    """The page's DOM after its scripts ran, as Chromium's --dump-dom prints it, and the
    console lines Chromium logged meanwhile."""
    profile = tempfile.mkdtemp(prefix="quorvel-chromium-")
    try:
        done = subprocess.run([chromium_binary(), *FLAGS, "--user-data-dir=" + profile, "--enable-logging=stderr",
                               "--v=0", "--dump-dom", url],
                              capture_output=True, text=True, timeout=DEADLINE, stdin=subprocess.DEVNULL)
    finally:
        shutil.rmtree(profile, ignore_errors=True)
    if done.returncode != 0:
        raise BrowserError(f"chromium --dump-dom failed ({done.returncode}): {done.stderr[-2000:]}")
    console = [l for l in done.stderr.splitlines() if ":CONSOLE" in l]
    return done.stdout, console


def main(argv):
    if len(argv) not in (4, 6) or argv[1] != "screenshot":
        print(__doc__, file=sys.stderr)
        return 2
    width, height = (int(argv[4]), int(argv[5])) if len(argv) == 6 else (1280, 1000)
    with Browser() as browser:
        page = browser.open("file://" + os.path.abspath(argv[2]), width, height)
        errors = page.errors()
        page.screenshot(argv[3])
    for e in errors:
        print("page error: " + e, file=sys.stderr)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
