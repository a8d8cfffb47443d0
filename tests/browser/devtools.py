"""Headless Chromium driven over the DevTools protocol (Debian's chromium and
python3-websocket): one page, its console watched, scripts evaluated, screenshots taken."""

import base64
import json
import os
import queue
import shutil
import signal
import subprocess
import tempfile
import threading
import time
import urllib.request

PATIENCE = 20.0  # seconds for anything that should take one or two


def find_chromium():
    """The browser to drive: BRIVANE_CHROMIUM, else Debian's chromium; None when absent."""
    chosen = os.environ.get("BRIVANE_CHROMIUM")
    if chosen:
        return chosen if shutil.which(chosen) else None
    return shutil.which("chromium") or shutil.which("chromium-browser")


def wait_for(condition, timeout, step=0.1, what="condition"):
    """condition()'s first truthy value, polled every step seconds; TimeoutError after timeout."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise TimeoutError(f"timed out after {timeout:g} s waiting for {what}")
        time.sleep(step)


def _group_alive(group):
    try:
        os.killpg(group, 0)
        return True
    except ProcessLookupError:
        return False
    except PermissionError:
        return True


class DevToolsError(RuntimeError):
    pass


class Browser:
    """A headless Chromium of its own (own profile, loopback debugging port) with one page."""

    def __init__(self, chromium, width=1280, height=900):
        import websocket  # python3-websocket

        self._profile = tempfile.TemporaryDirectory(prefix="brivane-chromium-", ignore_cleanup_errors=True)
        args = [
            chromium,
            "--headless=new",
            "--remote-debugging-address=127.0.0.1",
            "--remote-debugging-port=0",
            f"--user-data-dir={self._profile.name}",
            f"--window-size={width},{height}",
            "--no-first-run",
            "--no-default-browser-check",
            "--disable-gpu",
            "--disable-extensions",
            "--disable-background-networking",
            "--disable-component-update",
            "--disable-sync",
            "--metrics-recording-only",
            "--password-store=basic",
            "--use-mock-keychain",
            "--mute-audio",
            "--disable-breakpad",
            "--disable-crash-reporter",
            "about:blank",
        ]
        # Only our own loopback page is loaded; Chromium's sandbox refuses to run as root
        # and needs user namespaces that containers often lack.
        args.insert(1, "--no-sandbox")
        # A session of its own, so that its helper processes end with it.
        self._process = subprocess.Popen(
            args,
            stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
            start_new_session=True,
        )
        try:
            port = wait_for(self._debugging_port, PATIENCE, what="Chromium's DevTools port")
            page_url = wait_for(lambda: self._page_socket(port), PATIENCE, what="a page target")
            self._socket = websocket.create_connection(page_url, timeout=PATIENCE)
        except BaseException:
            self._stop_process()
            raise
        self._next_id = 0
        self._replies = {}
        self._replies_ready = threading.Condition()
        self._events = queue.Queue()
        self.console_errors = []
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()
        self.call("Runtime.enable")
        self.call("Log.enable")
        self.call("Page.enable")

    # --- Start-up -------------------------------------------------------------------------

    def _debugging_port(self):
        if self._process.poll() is not None:
            raise DevToolsError(f"Chromium ended at start with status {self._process.returncode}")
        try:
            with open(os.path.join(self._profile.name, "DevToolsActivePort")) as f:
                first = f.readline().strip()
            return int(first) if first else None
        except (OSError, ValueError):
            return None

    @staticmethod
    def _page_socket(port):
        try:
            with urllib.request.urlopen(f"http://127.0.0.1:{port}/json/list", timeout=2) as reply:
                targets = json.load(reply)
        except OSError:
            return None
        pages = [t for t in targets if t.get("type") == "page"]
        return pages[0]["webSocketDebuggerUrl"] if pages else None

    # --- Messages -------------------------------------------------------------------------

    def _read(self):
        while True:
            try:
                text = self._socket.recv()
            except Exception:  # closed: callers time out or have finished
                with self._replies_ready:
                    self._replies_ready.notify_all()
                return
            if not text:
                continue
            message = json.loads(text)
            if "id" in message:
                with self._replies_ready:
                    self._replies[message["id"]] = message
                    self._replies_ready.notify_all()
            else:
                self._note_event(message)

    def _note_event(self, message):
        method = message.get("method")
        params = message.get("params", {})
        if method == "Runtime.consoleAPICalled" and params.get("type") in ("error", "assert"):
            texts = [str(a.get("value", a.get("description", ""))) for a in params.get("args", [])]
            self.console_errors.append("console." + params["type"] + ": " + " ".join(texts))
        elif method == "Runtime.exceptionThrown":
            details = params.get("exceptionDetails", {})
            exception = details.get("exception", {})
            self.console_errors.append(
                "exception: " + str(exception.get("description", details.get("text", "")))
            )
        elif method == "Log.entryAdded" and params.get("entry", {}).get("level") == "error":
            entry = params["entry"]
            self.console_errors.append(f"log ({entry.get('source')}): {entry.get('text')} {entry.get('url', '')}")
        self._events.put(message)

    def call(self, method, params=None, timeout=PATIENCE):
        """Sends one command and returns its result; DevToolsError on an error reply."""
        self._next_id += 1
        ident = self._next_id
        self._socket.send(json.dumps({"id": ident, "method": method, "params": params or {}}))
        deadline = time.monotonic() + timeout
        with self._replies_ready:
            while ident not in self._replies:
                left = deadline - time.monotonic()
                if left <= 0 or not self._reader.is_alive():
                    raise DevToolsError(f"{method}: no reply within {timeout:g} s")
                self._replies_ready.wait(left)
            reply = self._replies.pop(ident)
        if "error" in reply:
            raise DevToolsError(f"{method}: {reply['error'].get('message')}")
        return reply.get("result", {})

    # --- The page -------------------------------------------------------------------------

    def evaluate(self, expression, timeout=PATIENCE):
        """The value of a JavaScript expression (promises awaited)."""
        result = self.call(
            "Runtime.evaluate",
            {"expression": expression, "returnByValue": True, "awaitPromise": True},
            timeout=timeout,
        )
        if "exceptionDetails" in result:
            raise DevToolsError(f"{expression!r} threw: {result['exceptionDetails'].get('text')}")
        return result.get("result", {}).get("value")

    def wait_until(self, expression, timeout=PATIENCE, what=None):
        """Waits until the expression is truthy in the page; returns its value."""
        return wait_for(lambda: self.evaluate(expression), timeout, what=what or expression)

    def navigate(self, url, timeout=PATIENCE):
        """Opens url and waits for its load event."""
        while not self._events.empty():
            self._events.get_nowait()
        self.call("Page.navigate", {"url": url})
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                raise TimeoutError(f"{url} did not load within {timeout:g} s")
            try:
                event = self._events.get(timeout=left)
            except queue.Empty:
                continue
            if event.get("method") == "Page.loadEventFired":
                return

    def emulate(self, width, height, scale=1, mobile=False, dark=False):
        """A viewport of that size and the colour scheme the page's media query sees."""
        self._metrics = {"width": width, "height": height, "deviceScaleFactor": scale, "mobile": mobile}
        self.call("Emulation.setDeviceMetricsOverride", self._metrics)
        self.call(
            "Emulation.setEmulatedMedia",
            {"features": [{"name": "prefers-color-scheme", "value": "dark" if dark else "light"}]},
        )

    def screenshot(self, path, full_page=True):
        """A PNG of the viewport, or of the whole page: the viewport made as tall as the
        page for the moment."""
        metrics = getattr(self, "_metrics", None)
        if full_page and metrics:
            height = self.evaluate("Math.ceil(document.documentElement.scrollHeight)")
            self.call("Emulation.setDeviceMetricsOverride", {**metrics, "height": max(height, metrics["height"])})
            # Laid out again at the new height before the picture.
            self.evaluate("new Promise(done => requestAnimationFrame(() => requestAnimationFrame(done)))")
        try:
            data = self.call("Page.captureScreenshot", {"format": "png"}, timeout=60)["data"]
        finally:
            if full_page and metrics:
                self.call("Emulation.setDeviceMetricsOverride", metrics)
        with open(path, "wb") as f:
            f.write(base64.b64decode(data))

    # --- The end --------------------------------------------------------------------------

    def _stop_process(self):
        if self._process.poll() is None:
            self._process.terminate()
            try:
                self._process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self._process.kill()
                self._process.wait()
        # Helpers left behind (zygote, renderers) are in its process group.
        try:
            os.killpg(self._process.pid, signal.SIGKILL)
        except (ProcessLookupError, PermissionError):
            pass
        wait_for(lambda: not _group_alive(self._process.pid), 10, what="Chromium's helpers to end")
        shutil.rmtree(self._profile.name, ignore_errors=True)

    def close(self):
        try:
            self.call("Browser.close", timeout=5)
        except Exception:
            pass
        try:
            self._socket.close()
        except Exception:
            pass
        self._stop_process()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
