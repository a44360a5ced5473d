"""What the record writer and the number lists do when the gateway starts:
the channel state file gets one idle block per channel, and every account's
list of numbers called today is created or loaded, never outside the
configuration directory."""

import os
import sys
import time
from pathlib import Path

import pytest

sys.path.insert(0, os.path.dirname(__file__))
from velmora_env import Gateway, kill_recorded_runtimes, recording_runtime, write_files  # noqa: E402


def idle(channel):
    return f"[{channel}]\nst=1\nct=0\nskpr=\nsip=\nsippr=\nsk=\n"


def wait_until(check, timeout=10.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if check():
            return True
        time.sleep(0.02)
    return check()


@pytest.fixture
def config(tmp_path):
    conf = tmp_path / "config"
    conf.mkdir()
    write_files(conf, {
        "sip.conf": "[1001]\nsecret=s1\nhost=127.0.0.1\nport=5060\n",
        "sip_general.conf": "[general]\nlocalip=127.0.0.1\nport=0\n",
        "skypes.conf": "[alice]\npwd=pa\n[bob]\npwd=pb\n",
        "alice/calllogs.xml": "0049301234\n\n0033123456\n",
        "channelsstate.conf": "[9]\nst=8\n",
    })
    yield conf
    kill_recorded_runtimes(tmp_path)


@pytest.mark.parametrize("channels", ["3", "0"])
def test_channel_state_file_holds_every_channel_idle(config, tmp_path, channels):
    runtime = recording_runtime(tmp_path)
    expected = "".join(idle(ch) for ch in range(1, int(channels) + 1))
    with Gateway(config, runtime=runtime, env={"VELMORA_CHANNELS": channels}, cwd=tmp_path) as gw:
        assert gw.wait_for("Velmora start!"), gw.output()
        assert wait_until(lambda: (config / "channelsstate.conf").read_text() == expected), \
            (config / "channelsstate.conf").read_text()
        assert gw.proc.poll() is None


def test_number_lists_are_created_and_kept(config, tmp_path):
    runtime = recording_runtime(tmp_path)
    with Gateway(config, runtime=runtime, cwd=tmp_path) as gw:
        assert gw.wait_for("Velmora start!"), gw.output()
        assert wait_until(lambda: (config / "bob" / "calllogs.xml").exists())
    assert (config / "bob" / "calllogs.xml").read_text() == ""
    # Read at start-up, not rewritten.
    assert (config / "alice" / "calllogs.xml").read_text() == "0049301234\n\n0033123456\n"


def test_hostile_account_name_names_no_directory(config, tmp_path):
    (config / "skypes.conf").write_text("[../escape]\npwd=x\n[a$(touch pwned)]\npwd=y\n")
    runtime = recording_runtime(tmp_path)
    with Gateway(config, runtime=runtime, cwd=tmp_path) as gw:
        assert gw.wait_for("Velmora start!"), gw.output()
        time.sleep(0.3)
        assert gw.proc.poll() is None
    assert not (tmp_path / "escape").exists()
    assert not (config / "calllogs.xml").exists()
    assert not Path(tmp_path / "pwned").exists() and not (config / "pwned").exists()
