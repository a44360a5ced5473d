"""Skype accounts with the gateway and the runtime simulator: start-up with
two accounts, logins and the account file, a wrong password with its kill and
restart, a runtime that dies, and balance changes and logouts pushed by the
runtime. The supervision loop runs at 200 ms a pass here."""

import os
import re
import signal
import sys
import time
from pathlib import Path

import pytest

sys.path.insert(0, os.path.dirname(__file__))
from simproto import Control, make_cert  # noqa: E402
from velmora_env import SIMULATOR, Gateway, write_files  # noqa: E402

PASS_MS = "200"


def runtimes(sim_dir):
    """name -> pid of every simulator running for sim_dir's accounts."""
    found = {}
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            args = (entry / "cmdline").read_bytes().split(b"\0")
            env = (entry / "environ").read_bytes().split(b"\0")
        except OSError:
            continue
        if not args or not args[0].endswith(b"velmora-runtime-sim"):
            continue
        if ("VELMORA_SIM_DIR=%s" % sim_dir).encode() not in env:
            continue
        if (entry / "stat").read_text().split()[2] == "Z":
            continue
        words = [a.decode() for a in args if a]
        found[words[words.index("-s") + 1].strip("/")] = (int(entry.name), words)
    return found


def wait_until(predicate, timeout=30.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.05)
    return predicate()


def account_block(conf, name):
    text = (conf / "skypes.conf").read_text()
    match = re.search(r"\[%s\]\n((?:[^\[].*\n)*)" % re.escape(name), text)
    return match.group(1) if match else ""


@pytest.fixture
def setup(tmp_path):
    conf = tmp_path / "config"
    sim_dir = tmp_path / "sim"
    conf.mkdir()
    sim_dir.mkdir()
    write_files(conf, {
        "skypes.conf": "[alice]\npwd=pa\ntotaltime=0\nbalance=0\nstatus=offline\n"
                       "[bob]\npwd=pb\ntotaltime=0\nbalance=0\nstatus=offline\n",
        "sip_general.conf": "[general]\nlocalip=127.0.0.1\nport=0\n",
    })
    (conf / "linux.pem").write_bytes(make_cert(tmp_path).read_bytes())
    write_files(sim_dir, {
        "alice.conf": "password = pa\nbalance = 250\nlogin_delay_ms = 50\n",
        "bob.conf": "password = pb\nbalance = 300\nlogin_delay_ms = 50\n",
    })
    yield conf, sim_dir
    for name, (pid, _) in runtimes(sim_dir).items():
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass


def start_gateway(conf, sim_dir):
    return Gateway(conf, args=("-d",), runtime=SIMULATOR, cwd=conf.parent,
                   env={"VELMORA_SIM_DIR": str(sim_dir), "VELMORA_SUPERVISION_PASS_MS": PASS_MS})


def logged_in(gw, conf, name, times=1):
    return gw.output().count("LOGGED in %s \n" % name) >= times and "status=online" in account_block(conf, name)


def test_two_accounts_start_connect_log_in_and_the_balance_is_written(setup):
    conf, sim_dir = setup
    with start_gateway(conf, sim_dir) as gw:
        assert wait_until(lambda: logged_in(gw, conf, "alice") and logged_in(gw, conf, "bob")), gw.output()
        started = runtimes(sim_dir)
        assert started["alice"][1][1:] == ["-p", "8962", "-s", "/alice/"]
        assert started["bob"][1][1:] == ["-p", "8963", "-s", "/bob/"]
        assert gw.output().count("::: Connected to skypekit") == 2
        for name, balance in (("alice", 250), ("bob", 300)):
            status = Control(sim_dir / ("%s.ctl" % name)).fields("status")
            assert status["connected"] == "1"
            assert wait_until(lambda: "balance=%d\n" % balance in account_block(conf, name), 10), \
                account_block(conf, name)
        assert gw.proc.poll() is None


def test_a_wrong_password_is_retried_and_the_runtime_is_killed_at_the_seventh_check(setup):
    conf, sim_dir = setup
    (sim_dir / "bob.conf").write_text("password = other\nlogin_delay_ms = 50\n")
    with start_gateway(conf, sim_dir) as gw:
        assert wait_until(lambda: logged_in(gw, conf, "alice")), gw.output()
        first = wait_until(lambda: runtimes(sim_dir).get("bob"))
        assert first
        # The supervision loop's own checks (the account proxy traces its logouts too).
        checks = lambda: len(re.findall(r"\(Supervision \d+\): LOGGED out bob \n", gw.output()))
        assert wait_until(lambda: checks() >= 6, 40), gw.output()
        assert runtimes(sim_dir)["bob"][0] == first[0]
        assert wait_until(lambda: checks() >= 7, 10), gw.output()
        # The 7th failed check kills the runtime and starts a new one.
        assert wait_until(lambda: runtimes(sim_dir).get("bob", (first[0],))[0] != first[0], 10), gw.output()
        assert "kill -9 %d" % first[0] in gw.output()
        assert "status=online" not in account_block(conf, "bob")
        assert "status=online" in account_block(conf, "alice")
        assert gw.proc.poll() is None


def test_a_killed_runtime_is_restarted_and_the_account_logs_in_again(setup):
    conf, sim_dir = setup
    with start_gateway(conf, sim_dir) as gw:
        assert wait_until(lambda: logged_in(gw, conf, "alice") and logged_in(gw, conf, "bob")), gw.output()
        old = runtimes(sim_dir)["alice"][0]
        os.kill(old, signal.SIGKILL)
        assert gw.wait_for("::: Disconnected from skypekit", 10), gw.output()
        assert wait_until(lambda: gw.output().count("::: Connected to skypekit") >= 3, 60), gw.output()
        new = runtimes(sim_dir)["alice"][0]
        assert new != old
        assert wait_until(lambda: logged_in(gw, conf, "alice", times=2), 30), gw.output()
        assert gw.output().count("::: Disconnected from skypekit") == 1
        # The other account stayed logged in throughout.
        assert gw.output().count("LOGGED in bob \n") == 1
        assert gw.proc.poll() is None


def test_balance_and_logout_pushed_by_the_runtime(setup):
    conf, sim_dir = setup
    with start_gateway(conf, sim_dir) as gw:
        assert wait_until(lambda: logged_in(gw, conf, "alice")), gw.output()
        ctl = Control(sim_dir / "alice.ctl")
        assert wait_until(lambda: "balance=250\n" in account_block(conf, "alice"), 10)
        assert ctl("balance 999").startswith("OK")
        assert wait_until(lambda: "balance=999\n" in account_block(conf, "alice"), 10), gw.output()[-3000:]

        log = sim_dir / "alice.log"
        logins = log.read_text().count("login of alice with the right password")
        assert ctl("logout").startswith("OK")
        assert wait_until(lambda: log.read_text().count("login of alice with the right password") > logins, 10)
        assert wait_until(lambda: ctl.fields("status")["login"] == "LOGGED_IN", 10), ctl("status")
        assert "status=online" in account_block(conf, "alice")
        assert gw.proc.poll() is None, gw.output()[-3000:]


def test_a_missing_token_is_reported_and_start_up_goes_on(setup):
    conf, sim_dir = setup
    (conf / "linux.pem").unlink()
    with start_gateway(conf, sim_dir) as gw:
        assert gw.wait_for("Error opening app token file: %s/linux.pem\n" % conf, 10), gw.output()
        assert gw.wait_for("Velmora start!", 10), gw.output()
        # The loop runs on: the accounts stay unconnected and are restarted.
        assert wait_until(lambda: gw.output().count("-s /alice/ &") >= 2, 60), gw.output()
        assert gw.proc.poll() is None
        assert "status=online" not in account_block(conf, "alice")
