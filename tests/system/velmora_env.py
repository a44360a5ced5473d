"""Helpers for the system tests: a fresh configuration directory, the
gateway process with its output collected, and waiting for what it prints."""

import os
import subprocess
import threading
import time
from pathlib import Path

BUILD_DIR = Path(os.environ.get("VELMORA_BUILD_DIR", "build/dev")).resolve()
SOURCE_DIR = Path(os.environ.get("VELMORA_SOURCE_DIR", ".")).resolve()
VELMORA = BUILD_DIR / "Velmora" / "velmora"
SIMULATOR = BUILD_DIR / "Simulator" / "velmora-runtime-sim"


def write_files(directory, files):
    """files: name -> text or bytes."""
    for name, content in files.items():
        path = Path(directory) / name
        path.parent.mkdir(parents=True, exist_ok=True)
        if isinstance(content, bytes):
            path.write_bytes(content)
        else:
            path.write_text(content)


def snapshot(directory):
    """Names, sizes, modification times and contents of every file below directory."""
    result = {}
    for path in sorted(Path(directory).rglob("*")):
        if path.is_file():
            st = path.stat()
            result[str(path.relative_to(directory))] = (st.st_size, st.st_mtime_ns, path.read_bytes())
    return result


def recording_runtime(directory):
    """A stand-in runtime program that records its arguments in
    args.<port> beside itself and then stays up like a runtime."""
    script = Path(directory) / "fake-runtime.sh"
    script.write_text(
        "#!/bin/sh\n"
        'here=$(dirname "$0")\n'
        'printf "%s\\n" "$@" > "$here/args.$2.tmp" && mv "$here/args.$2.tmp" "$here/args.$2"\n'
        "while :; do sleep 1; done\n"
    )
    script.chmod(0o755)
    return script


class Gateway:
    """A running velmora process whose standard output is collected."""

    def __init__(self, config_dir, args=("-d",), runtime=None, env=None, cwd=None):
        environment = dict(os.environ)
        environment["VELMORA_CONFIG_DIR"] = str(config_dir)
        if runtime is not None:
            environment["VELMORA_RUNTIME"] = str(runtime)
        environment.update(env or {})
        self.lines = []
        self._lock = threading.Lock()
        self.proc = subprocess.Popen(
            [str(VELMORA), *args],
            stdout=subprocess.PIPE,
            stderr=subprocess.STDOUT,
            env=environment,
            cwd=str(cwd or config_dir),
        )
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        for raw in self.proc.stdout:
            with self._lock:
                self.lines.append(raw.decode("utf-8", "replace"))

    def output(self):
        with self._lock:
            return "".join(self.lines)

    def wait_for(self, text, timeout=10.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if text in self.output():
                return True
            if self.proc.poll() is not None:
                time.sleep(0.1)
                return text in self.output()
            time.sleep(0.02)
        return False

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait(timeout=10)
        # Detached runtimes may hold the output pipe open after the gateway
        # is gone, so the reader is not waited for to the end.
        self._reader.join(timeout=0.5)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


def wait_for_path(path, timeout=10.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if Path(path).exists():
            return True
        time.sleep(0.02)
    return False


def kill_recorded_runtimes(directory):
    """Kills the stand-in runtimes started from directory (they are detached
    from the gateway, as real runtimes are)."""
    script = str(Path(directory) / "fake-runtime.sh")
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            args = (entry / "cmdline").read_bytes().split(b"\0")
        except OSError:
            continue
        if script.encode() in args[:2]:
            try:
                os.kill(int(entry.name), 9)
            except ProcessLookupError:
                pass
