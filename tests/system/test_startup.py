"""Start-up of the gateway: switches, the files it rewrites, the runtimes it
starts, and hostile or unreadable configuration."""

import fcntl
import os
import subprocess
import sys
import time
from pathlib import Path

import pytest

sys.path.insert(0, os.path.dirname(__file__))
from velmora_env import (VELMORA, Gateway, kill_recorded_runtimes, recording_runtime,  # noqa: E402
                         snapshot, wait_for_path, write_files)

SIP_CONF = (
    "[1001]\ndisname=Front\nauthname=a1001\nsecret=s1\nregsip=yes\nhost=10.0.0.9\nport=5060\n"
    "codec=alaw\nstatus=registed\n"
    "[1002]\ndisname=Back\nauthname=a1002\nsecret=s2\nregsip=no\nport=5070\ncodec=G729\n"
)
SIP_GENERAL = "[general]\nlocalip=127.0.0.1\nport=0\nlanguage=English\ncodec=mulaw\n"
SKYPES_CONF = (
    "[alice]\npwd=pa\ntotaltime=120\nbalance=250\nstatus=online\n"
    "[bob]\npwd=pb\ntotaltime=0\nbalance=0\nstatus=online\n"
)


@pytest.fixture
def config(tmp_path):
    conf = tmp_path / "config"
    conf.mkdir()
    write_files(conf, {
        "sip.conf": SIP_CONF,
        "sip_general.conf": SIP_GENERAL,
        "skypes.conf": SKYPES_CONF,
        "linux.pem": "-----BEGIN CERTIFICATE-----\n-----END CERTIFICATE-----\n",
    })
    yield conf
    kill_recorded_runtimes(tmp_path)


def start(config, tmp_path, args=("-d",), env=None):
    runtime = recording_runtime(tmp_path)
    gateway = Gateway(config, args=args, runtime=runtime, env=env, cwd=tmp_path)
    return gateway


def test_version_exits_1_and_touches_nothing(config, tmp_path):
    before = snapshot(tmp_path)
    for arg in ("-v", "-version"):
        result = subprocess.run([str(VELMORA), arg], capture_output=True,
                                env={**os.environ, "VELMORA_CONFIG_DIR": str(config)}, cwd=tmp_path)
        assert result.returncode == 1
        assert result.stdout == b"RELEASE 2013.07.12\n"
    assert snapshot(tmp_path) == before


def test_startup_rewrites_state_files_and_starts_one_runtime_per_account(config, tmp_path):
    with start(config, tmp_path, env={"VELMORA_CHANNELS": "3"}) as gw:
        assert gw.wait_for("Velmora start!"), gw.output()
        assert wait_for_path(tmp_path / "args.8962") and wait_for_path(tmp_path / "args.8963")
        out = gw.output()

    assert (tmp_path / "args.8962").read_text() == "-p\n8962\n-s\n/alice/\n"
    assert (tmp_path / "args.8963").read_text() == "-p\n8963\n-s\n/bob/\n"
    # Traced with the appliance's command text.
    runtime = str(tmp_path / "fake-runtime.sh")
    assert f"{runtime}   -p 8962 -s /alice/ &\n\n" in out
    assert f"{runtime}   -p 8963 -s /bob/ &\n\n" in out

    # Every account unregistered, in file order; the second inherits the first's host.
    assert (config / "sip.conf").read_text() == (
        "[1001]\ndisname=Front\nauthname=a1001\nsecret=s1\nregsip=yes\nhost=10.0.0.9\nport=5060\n"
        "codec=alaw\nstatus=unregisted\n"
        "[1002]\ndisname=Back\nauthname=a1002\nsecret=s2\nregsip=no\nhost=10.0.0.9\nport=5070\n"
        "codec=G729\nstatus=unregisted\n")
    # Every account offline, whatever the file said.
    assert (config / "skypes.conf").read_text() == (
        "[alice]\npwd=pa\ntotaltime=120\nbalance=250\nstatus=offline\n"
        "[bob]\npwd=pb\ntotaltime=0\nbalance=0\nstatus=offline\n")
    assert (config / "rb.txt").read_bytes() == b"\x01"
    assert (config / "channelsstate.conf").exists()


def test_restart_counter_counts_every_start(config, tmp_path):
    (config / "rb.txt").write_bytes(b"\xff")
    with start(config, tmp_path) as gw:
        assert gw.wait_for("Velmora start!")
    assert (config / "rb.txt").read_bytes() == b"\x00"
    with start(config, tmp_path) as gw:
        assert gw.wait_for("Velmora start!")
    assert (config / "rb.txt").read_bytes() == b"\x01"


@pytest.mark.parametrize("args,traced", [
    (("-d",), True), (("-debug",), True), (("-x",), False), ((), False), (("-d", "-d"), False),
])
def test_trace_switch(config, tmp_path, args, traced):
    (config / "skypes.conf").write_text("[alice]\npwd=pa\n")
    with start(config, tmp_path, args=args) as gw:
        assert wait_for_path(tmp_path / "args.8962")
        if traced:
            assert gw.wait_for("Velmora start!")
        else:
            time.sleep(0.5)
            assert gw.proc.poll() is None
            assert gw.output() == ""


def test_hostile_account_names_run_nothing(config, tmp_path):
    (config / "skypes.conf").write_text(
        "[x;touch PWNED]\npwd=a\n[$(touch PWNED2)]\npwd=b\n[up/../../tmp]\npwd=c\n"
        f"[{'n' * 65}]\npwd=d\n[`touch PWNED3`]\npwd=e\n")
    with start(config, tmp_path) as gw:
        assert gw.wait_for("Velmora start!"), gw.output()
        assert wait_for_path(tmp_path / "args.8962") and wait_for_path(tmp_path / "args.8963")
        assert wait_for_path(tmp_path / "args.8966")
        time.sleep(0.3)
        out = gw.output()
    assert not list(tmp_path.glob("PWNED*"))
    assert not list(config.glob("PWNED*"))
    # Names without a slash reach the runtime verbatim, as one argument.
    assert (tmp_path / "args.8962").read_text() == "-p\n8962\n-s\n/x;touch PWNED/\n"
    assert (tmp_path / "args.8963").read_text() == "-p\n8963\n-s\n/$(touch PWNED2)/\n"
    assert (tmp_path / "args.8966").read_text() == "-p\n8966\n-s\n/`touch PWNED3`/\n"
    # A slash or an over-long name is refused and traced.
    assert not (tmp_path / "args.8964").exists()
    assert not (tmp_path / "args.8965").exists()
    assert out.count("not started") == 2, out


def test_empty_account_file_starts_no_runtime(config, tmp_path):
    (config / "skypes.conf").write_text("")
    with start(config, tmp_path) as gw:
        assert gw.wait_for("Velmora start!")
        time.sleep(0.3)
    assert not list(tmp_path.glob("args.*"))
    assert (config / "skypes.conf").read_text() == ""


def test_missing_token_is_reported_and_startup_continues(config, tmp_path):
    (config / "linux.pem").unlink()
    with start(config, tmp_path, args=()) as gw:
        assert gw.wait_for(f"Error opening app token file: {config}/linux.pem\n")
        assert wait_for_path(tmp_path / "args.8962")
        time.sleep(0.3)
        assert gw.proc.poll() is None


def test_locked_sip_conf_is_not_erased(config, tmp_path):
    original = (config / "sip.conf").read_bytes()
    with open(config / "sip.conf", "r+b") as held:
        fcntl.lockf(held, fcntl.LOCK_EX)
        with start(config, tmp_path) as gw:
            assert gw.wait_for("Velmora start!"), gw.output()
            time.sleep(0.2)
        fcntl.lockf(held, fcntl.LOCK_UN)
    assert (config / "sip.conf").read_bytes() == original
