"""The dashboard's whole chain on loopback: mate-sim on a pseudo-terminal, the real
BrivaneSvc reading it, and brivane-gateway with its web side on, each started from a
build's bin folder in a temporary folder of its own and stopped again."""

import json
import os
import select
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import urllib.error
import urllib.request

from devtools import PATIENCE, wait_for


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class NotifySocket:
    """A stand-in for systemd's notification socket: the programs say READY=1 on it."""

    def __init__(self, folder):
        self.path = os.path.join(folder, f"notify-{len(os.listdir(folder))}")
        self._socket = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self._socket.bind(self.path)
        self._said = []

    def wait_for(self, text, timeout):
        deadline = time.monotonic() + timeout
        while not any(text in m for m in self._said):
            left = deadline - time.monotonic()
            if left <= 0:
                return False
            if select.select([self._socket], [], [], left)[0]:
                self._said.append(self._socket.recv(4096).decode(errors="replace"))
        return True

    def close(self):
        self._socket.close()


class Program:
    """One child process, its output kept in a file for the failure report."""

    def __init__(self, name, args, folder, cwd=None, env=None, stdout=None):
        self.name = name
        self.log_path = os.path.join(folder, f"{name}.log")
        self._log = open(self.log_path, "wb")
        self.process = subprocess.Popen(
            args,
            cwd=cwd,
            env=env,
            stdin=subprocess.DEVNULL,
            stdout=stdout if stdout is not None else self._log,
            stderr=self._log,
        )

    def running(self):
        return self.process.poll() is None

    def signal(self, number):
        self.process.send_signal(number)

    def stop(self, timeout=10):
        """SIGTERM, then SIGKILL if it does not end in time; its exit status."""
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self._log.close()
        return self.process.returncode

    def output(self):
        try:
            with open(self.log_path, errors="replace") as f:
                return f.read()
        except OSError:
            return ""


class GatewayStack:
    """mate-sim (an FX, an MX and a FLEXnet DC), BrivaneSvc and brivane-gateway with
    the web on a free loopback port and the history in a temporary database."""

    DEVICES = ("fx_0", "mx_1", "fndc_1")

    def __init__(self, bin_dir, history_days=0, silence_ms=3000):
        self.bin_dir = bin_dir
        self.folder = tempfile.mkdtemp(prefix="brivane-browser-")
        self.programs = []
        self.history_path = os.path.join(self.folder, "history.db")
        try:
            self._start(history_days, silence_ms)
        except BaseException:
            self.stop()
            raise

    def _bin(self, name):
        path = os.path.join(self.bin_dir, name)
        if not os.access(path, os.X_OK):
            raise FileNotFoundError(f"{path} is missing: build it first")
        return path

    def _env(self, **extra):
        env = {k: v for k, v in os.environ.items() if k != "NOTIFY_SOCKET"}
        env.update(extra)
        return env

    def _start(self, history_days, silence_ms):
        # The simulated MATE prints the serial end of its pseudo-terminal first.
        self.sim = Program(
            "mate-sim",
            [self._bin("mate-sim"), "--devices", "0,A,a", "--rate", "2"],
            self.folder,
            stdout=subprocess.PIPE,
        )
        self.programs.append(self.sim)
        ready = select.select([self.sim.process.stdout], [], [], PATIENCE)[0]
        line = self.sim.process.stdout.readline().decode().strip() if ready else ""
        if not line:
            raise RuntimeError("mate-sim printed no terminal: " + self.sim.output())

        # The bridge in a folder of its own with its own copy of the program.
        bridge_folder = os.path.join(self.folder, "bridge")
        os.mkdir(bridge_folder)
        shutil.copy2(self._bin("BrivaneSvc"), bridge_folder)
        self.bridge_port = free_port()
        with open(os.path.join(bridge_folder, "Brivane.ini"), "w") as f:
            f.write(
                f"[BrivaneSvc]\nCOMPort=1\nUDPBPort={self.bridge_port}\nTCPPort={self.bridge_port}\n"
                f"\n[SerialDevices]\nCOM1={line}\n"
            )
        notify = NotifySocket(self.folder)
        try:
            self.bridge = Program(
                "BrivaneSvc",
                [os.path.join(bridge_folder, "BrivaneSvc"), "--foreground"],
                self.folder,
                cwd=bridge_folder,
                env=self._env(NOTIFY_SOCKET=notify.path),
            )
            self.programs.append(self.bridge)
            if not notify.wait_for("READY=1", PATIENCE):
                raise RuntimeError("BrivaneSvc did not get ready: " + self.bridge.output())
        finally:
            notify.close()

        if history_days > 0:
            self.fill_history(history_days)

        self.web_port = free_port()
        ini = os.path.join(self.folder, "gateway.ini")
        with open(ini, "w") as f:
            f.write(
                "[MQTT]\nBroker=\n\n"
                f"[History]\nPath={self.history_path}\n\n"
                f"[Web]\nListen=127.0.0.1:{self.web_port}\n"
            )
        notify = NotifySocket(self.folder)
        try:
            self.gateway = Program(
                "brivane-gateway",
                [
                    self._bin("brivane-gateway"),
                    "--config", ini,
                    "--bridge", f"127.0.0.1:{self.bridge_port}",
                    "--site", "test",
                    "--test-silence-ms", str(silence_ms),
                ],
                self.folder,
                env=self._env(NOTIFY_SOCKET=notify.path),
            )
            self.programs.append(self.gateway)
            if not notify.wait_for("READY=1", PATIENCE):
                raise RuntimeError("brivane-gateway did not get ready: " + self.gateway.output())
        finally:
            notify.close()
        self.url = f"http://127.0.0.1:{self.web_port}/"
        wait_for(self._all_devices_online, PATIENCE, what="every simulated device in /api/state")

    def fill_history(self, days):
        """Plausible history for the simulated devices, written before the gateway opens it."""
        filler = Program(
            "history-fill",
            [self._bin("history-fill"), "--db", self.history_path, "--days", str(days),
             "--devices", ",".join(self.DEVICES)],
            self.folder,
        )
        try:
            filler.process.wait(timeout=120)
        except subprocess.TimeoutExpired:
            filler.stop()
            raise RuntimeError("filling the history took too long")
        filler.stop()
        if filler.process.returncode != 0:
            raise RuntimeError("filling the history failed: " + filler.output())

    def get_json(self, path):
        with urllib.request.urlopen(self.url.rstrip("/") + path, timeout=5) as reply:
            return json.load(reply)

    def _all_devices_online(self):
        if not self.gateway.running():
            raise RuntimeError("brivane-gateway ended: " + self.gateway.output())
        try:
            state = self.get_json("/api/state")
        except (OSError, ValueError):
            return False
        online = {d.get("device") for d in state.get("devices", []) if d.get("online")}
        return all(name in online for name in self.DEVICES)

    def toggle_pause(self):
        """mate-sim stops sending pages, or sends them again."""
        self.sim.signal(signal.SIGUSR1)

    def toggle_fx_fault(self):
        """mate-sim's FX reports an error and a warning, or stops reporting them."""
        self.sim.signal(signal.SIGUSR2)

    def logs(self):
        return "\n".join(f"--- {p.name}\n{p.output()}" for p in self.programs)

    def stop(self):
        """The gateway first, then the bridge, then the simulator; the folder goes too."""
        for program in reversed(self.programs):
            program.stop()
        for program in self.programs:
            if program.process.stdout:
                program.process.stdout.close()
        shutil.rmtree(self.folder, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
