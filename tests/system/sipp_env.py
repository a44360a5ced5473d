"""Helpers for the SIP system tests: SIPp processes with their message logs,
the parsed messages with their times, and the SIP test driver."""

import os
import re
import subprocess
import threading
import time
from pathlib import Path

from velmora_env import BUILD_DIR, SOURCE_DIR

SIPP_DIR = SOURCE_DIR / "tests" / "system" / "sipp"
DRIVER = BUILD_DIR / "tests" / "system" / "velmora-sip-driver"
GATEWAY_PORT = 5060
PEER_PORT = 5070


def scenario(directory, name, **values):
    """Copies scenario `name` into directory with @KEY@ placeholders replaced."""
    text = (SIPP_DIR / name).read_text()
    for key, value in values.items():
        text = text.replace(f"@{key}@", str(value))
    path = Path(directory) / name
    path.write_text(text)
    return path


class Sipp:
    """A SIPp process whose messages go to a log file."""

    def __init__(self, directory, scenario_path, port=PEER_PORT, remote=None, extra=()):
        self.log = Path(directory) / f"{Path(scenario_path).stem}-{port}.log"
        args = ["sipp", "-sf", str(scenario_path), "-i", "127.0.0.1", "-p", str(port),
                "-mi", "127.0.0.1", "-mp", "6100", "-nostdin", "-trace_msg", "-message_file", str(self.log),
                "-trace_err", "-error_file", str(Path(directory) / f"sipp-err-{port}.log")]
        if remote:
            args.append(remote)
        args.extend(extra)
        self.proc = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                     cwd=str(directory))
        # Nothing may be sent to it before it listens.
        assert wait_until(lambda: udp_bound(port), timeout=10), f"SIPp did not bind port {port}"

    def messages(self):
        return parse_messages(self.log)

    def wait(self, timeout):
        return self.proc.wait(timeout=timeout)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait(timeout=10)


def udp_bound(port):
    """True when some socket of this network namespace is bound to UDP port."""
    for table in ("/proc/net/udp", "/proc/net/udp6"):
        try:
            lines = Path(table).read_text().splitlines()[1:]
        except OSError:
            continue
        for line in lines:
            local = line.split()[1]
            if int(local.rsplit(":", 1)[1], 16) == port:
                return True
    return False


class Message:
    def __init__(self, when, direction, text):
        self.when = when          # seconds, from SIPp's log line
        self.direction = direction  # "received" or "sent" (from SIPp's side)
        head, _, self.body = text.partition("\r\n\r\n") if "\r\n\r\n" in text else text.partition("\n\n")
        lines = head.replace("\r\n", "\n").split("\n")
        self.first = lines[0]
        self.headers = []
        for line in lines[1:]:
            name, _, value = line.partition(":")
            self.headers.append((name.strip().lower(), value.strip()))

    def header(self, name):
        for key, value in self.headers:
            if key == name.lower():
                return value
        return None

    def all(self, name):
        return [value for key, value in self.headers if key == name.lower()]

    @property
    def method(self):
        return None if self.first.startswith("SIP/2.0") else self.first.split(" ")[0]

    @property
    def status(self):
        return int(self.first.split(" ")[1]) if self.first.startswith("SIP/2.0") else None

    def body_lines(self):
        return [line for line in self.body.replace("\r\n", "\n").split("\n") if line]


_STAMP = re.compile(r"^-{47} (\d{4}-\d\d-\d\d) (\d\d):(\d\d):(\d\d\.\d+)\s*$")
_KIND = re.compile(r"^UDP message (received|sent)")


def parse_messages(path):
    """The messages SIPp logged, in order, with the time of each."""
    if not Path(path).exists():
        return []
    out = []
    lines = Path(path).read_text(errors="replace").split("\n")
    i = 0
    while i < len(lines):
        stamp = _STAMP.match(lines[i])
        if stamp and i + 1 < len(lines) and _KIND.match(lines[i + 1]):
            h, m, s = int(stamp.group(2)), int(stamp.group(3)), float(stamp.group(4))
            when = h * 3600 + m * 60 + s
            direction = _KIND.match(lines[i + 1]).group(1)
            j = i + 3  # kind line, then one empty line
            block = []
            while j < len(lines) and not lines[j].startswith("-" * 47):
                block.append(lines[j])
                j += 1
            text = "\n".join(block).strip("\n") + "\n"
            out.append(Message(when, direction, text))
            i = j
        else:
            i += 1
    return out


class Driver:
    """The SIP test driver on a configuration directory."""

    def __init__(self, config_dir, args=("-d",)):
        env = dict(os.environ)
        env["VELMORA_CONFIG_DIR"] = str(config_dir)
        self.lines = []
        self._lock = threading.Lock()
        self.proc = subprocess.Popen([str(DRIVER), *args], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT, env=env, cwd=str(config_dir))
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        for raw in self.proc.stdout:
            with self._lock:
                self.lines.append(raw.decode("utf-8", "replace"))

    def output(self):
        with self._lock:
            return "".join(self.lines)

    def send(self, line):
        self.proc.stdin.write((line + "\n").encode())
        self.proc.stdin.flush()

    def wait_for(self, text, timeout=10.0, start=0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            out = self.output()
            if text in out[start:]:
                return True
            if self.proc.poll() is not None:
                return text in self.output()[start:]
            time.sleep(0.02)
        return False

    def status(self):
        mark = len(self.output())
        self.send("status")
        assert self.wait_for("STATUS END", start=mark), self.output()[-2000:]
        rows = {}
        for line in self.output()[mark:].splitlines():
            m = re.match(r"STATUS (\S+) (\S+) regstatus=(\d) rid=(-?\d+) auth=(.*)$", line)
            if m:
                rows[m.group(2)] = {"key": m.group(1), "regstatus": m.group(3) == "1",
                                    "rid": int(m.group(4)), "auth": m.group(5)}
        return rows

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait(timeout=10)
        self._reader.join(timeout=5)
        out = self.output()
        for sign in ("AddressSanitizer", "runtime error:", "LeakSanitizer", "ThreadSanitizer"):
            assert sign not in out, out[out.index(sign) - 200:][:4000]

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


def wait_until(predicate, timeout=10.0, step=0.05):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    return predicate()
