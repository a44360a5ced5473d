"""Helpers for the SIP user agent's system tests: the driver program
(tests/system/sipua_driver) and SIPp as the peer, on 127.0.0.1 inside the
test's own network namespace."""

import os
import re
import select
import socket
import subprocess
import time

BUILD = os.path.abspath(os.environ.get("VELMORA_BUILD_DIR", "build/dev"))
SOURCE = os.path.abspath(os.environ.get("VELMORA_SOURCE_DIR", "."))
DRIVER = os.path.join(BUILD, "tests", "system", "sipua_driver")
SCENARIOS = os.path.join(SOURCE, "tests", "system", "sipp")


def free_udp_port():
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


class Driver:
    """The driver program; started, it is ready once it printed "ready"."""

    def __init__(self, *args, timeout=20):
        self.port = free_udp_port()
        cmd = [DRIVER, "--port", str(self.port), "--timeout", str(timeout)] + [str(a) for a in args]
        env = dict(os.environ, SIPUA_TRACE="1")
        self.proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, env=env)
        self.lines = []
        deadline = time.time() + 5
        while time.time() < deadline:
            ready, _, _ = select.select([self.proc.stdout], [], [], 0.2)
            if ready:
                line = self.proc.stdout.readline()
                if not line:
                    break
                self.lines.append(line)
                if line.strip() == "ready":
                    return
        raise AssertionError("driver did not start: " + "".join(self.lines))

    def finish(self, timeout=40):
        out, _ = self.proc.communicate(timeout=timeout)
        self.lines.append(out)
        self.output = "".join(self.lines)
        return self.proc.returncode

    def events(self):
        return [int(m) for m in re.findall(r"^event (\d+) ", self.output, re.M)]


class Sipp:
    """SIPp running a scenario of tests/system/sipp; as a caller (target
    given) or as a callee/registrar listening on its own port."""

    def __init__(self, tmp_path, scenario, target_port=None, keys=None, calls=1, timeout=25):
        self.port = free_udp_port()
        name = os.path.basename(scenario)
        self.log = os.path.join(str(tmp_path), name + ".messages.log")
        cmd = ["sipp", "-sf", os.path.join(SCENARIOS, scenario), "-i", "127.0.0.1", "-p", str(self.port),
               "-m", str(calls), "-timeout", "%ds" % timeout, "-timeout_error", "-nostdin", "-bind_local",
               "-trace_msg", "-message_file", self.log, "-trace_err",
               "-error_file", os.path.join(str(tmp_path), name + ".errors.log")]
        for k, v in (keys or {}).items():
            cmd += ["-key", k, str(v)]
        if target_port is not None:
            cmd += ["-s", "gw", "127.0.0.1:%d" % target_port]
        self.proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                                     cwd=str(tmp_path))
        if target_port is None:
            time.sleep(0.3)  # listening before the driver sends

    def finish(self, timeout=40):
        _, err = self.proc.communicate(timeout=timeout)
        self.stderr = err
        return self.proc.returncode

    def messages(self):
        with open(self.log, encoding="latin-1") as f:
            return f.read()

    def received(self, first_line_pattern):
        """The messages SIPp received whose first line matches the pattern."""
        blocks = re.split(r"^-{10,}.*$", self.messages(), flags=re.M)
        got = []
        for i, block in enumerate(blocks):
            text = block.strip("\r\n")
            head = re.search(r"(UDP|TCP) message received \[\d+\] bytes\s*:", text)
            if not head:
                continue
            body = text[head.end():].lstrip("\r\n ")
            if re.match(first_line_pattern, body):
                got.append(body)
        return got


def scenario_copy(tmp_path, scenario, old, new):
    """A copy of a scenario with one text replaced (SIPp takes no keyword in a
    status line); returns its absolute path."""
    with open(os.path.join(SCENARIOS, scenario), encoding="latin-1") as f:
        text = f.read()
    assert old in text
    path = os.path.join(str(tmp_path), scenario.replace(".xml", "_copy.xml"))
    with open(path, "w", encoding="latin-1") as f:
        f.write(text.replace(old, new))
    return path


def run_pair(driver, sipp):
    """Waits for both; returns (driver code, sipp code)."""
    s = sipp.finish()
    d = driver.finish()
    return d, s


def explain(driver, sipp):
    text = "--- driver ---\n" + getattr(driver, "output", "") + "\n--- sipp stderr ---\n" + getattr(sipp, "stderr", "")
    try:
        text += "\n--- sipp messages ---\n" + sipp.messages()[-6000:]
    except OSError:
        pass
    return text
