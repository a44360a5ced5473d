"""SIP registration against a SIPp registrar: digest challenge, the state
written to sip.conf, the cached credentials on refreshes, accounts that do
not register, a password changed meanwhile, and the cycle's timing."""

import os
import sys
import time

import pytest

sys.path.insert(0, os.path.dirname(__file__))
from sipp_env import Driver, Sipp, scenario, wait_until  # noqa: E402
from velmora_env import write_files  # noqa: E402


def general(interval):
    return f"[general]\nlocalip=127.0.0.1\nport=5060\nRegSipInterval={interval}\nlanguage=English\ncodec=alaw\n"


def account(name, regsip="yes", secret="s1", authname=None, status="unregisted"):
    return (f"[{name}]\ndisname=D{name}\nauthname={authname or 'a' + name}\nsecret={secret}\n"
            f"regsip={regsip}\nhost=127.0.0.1\nport=5070\ncodec=alaw\nstatus={status}\n")


def registers(messages, user=None):
    out = [m for m in messages if m.direction == "received" and m.method == "REGISTER"]
    if user is not None:
        out = [m for m in out if f"sip:{user}@" in (m.header("from") or "")]
    return out


@pytest.fixture
def config(tmp_path):
    conf = tmp_path / "config"
    conf.mkdir()
    return conf


def test_digest_registration_state_file_and_cached_refreshes(config, tmp_path):
    # 1002 does not register; 1001 does, after the one-second pause of 1002.
    write_files(config, {"sip.conf": account("1002", regsip="no") + account("1001"),
                         "sip_general.conf": general(6)})
    registrar = Sipp(tmp_path, scenario(tmp_path, "registrar.xml", AUTHNAME="a1001", SECRET="s1",
                                        PAUSE=0, EXPIRES=3600))
    try:
        with Driver(config) as drv:
            assert drv.wait_for("DRIVER READY transport=1"), drv.output()
            # The web front end marks 1002 meanwhile; the gateway keeps what it finds.
            text = (config / "sip.conf").read_text()
            assert text.count("status=unregisted") == 2
            (config / "sip.conf").write_text(text.replace("regsip=no\nhost=127.0.0.1\nport=5070\ncodec=alaw\n"
                                                          "status=unregisted", "regsip=no\nhost=127.0.0.1\n"
                                                          "port=5070\ncodec=alaw\nstatus=registed"))
            assert wait_until(lambda: drv.status()["1001"]["regstatus"], timeout=10), drv.output()[-3000:]
            assert wait_until(lambda: "status=registed" in (config / "sip.conf").read_text().split("[1001]")[1],
                              timeout=5)
            # Two refreshes of the cycle (every 1 + 1 + 3 seconds).
            assert wait_until(lambda: len(registers(registrar.messages(), "1001")) >= 4, timeout=15)
            rows = drv.status()
    finally:
        registrar.stop()

    assert (config / "sip.conf").read_text() == account("1002", regsip="no", status="registed") + \
        account("1001", status="registed")

    msgs = registrar.messages()
    regs = registers(msgs, "1001")
    assert not registers(msgs, "1002"), "an account with regsip=no registered"
    first, answered = regs[0], regs[1]
    assert first.header("authorization") is None
    assert answered.header("call-id") == first.header("call-id")
    auth = answered.header("authorization")
    assert auth and 'username="a1001"' in auth and 'realm="velmora.test"' in auth
    # The header text is cached once and every refresh carries it.
    assert rows["1001"]["auth"].replace(" ", "") == auth.replace(" ", "")
    for refresh in regs[2:]:
        assert refresh.header("call-id") == first.header("call-id")
        assert refresh.header("authorization").replace(" ", "") == auth.replace(" ", "")
    for reg in regs:
        assert reg.first.startswith("REGISTER sip:1001@127.0.0.1:5070 SIP/2.0"), reg.first
        assert "sip:1001@127.0.0.1:5060" in reg.header("from")
        assert "sip:1001@127.0.0.1:5060" in reg.header("contact")
        assert reg.header("expires") == "6"
    # Only the challenge and the acceptances were sent; no credentials were refused.
    statuses = [m.status for m in msgs if m.direction == "sent"]
    assert statuses[0] == 401 and 403 not in statuses and statuses.count(200) == len(regs) - 1
    assert not rows["1002"]["regstatus"]


def test_password_changed_during_registration_is_not_marked(config, tmp_path):
    write_files(config, {"sip.conf": account("1001"), "sip_general.conf": general(60)})
    # The challenge waits 1.5 s, long enough for the front end to change the password.
    registrar = Sipp(tmp_path, scenario(tmp_path, "registrar.xml", AUTHNAME="a1001", SECRET="s1",
                                        PAUSE=1500, EXPIRES=3600))
    try:
        with Driver(config) as drv:
            assert drv.wait_for("DRIVER READY transport=1"), drv.output()
            changed = account("1001", secret="changed")
            (config / "sip.conf").write_text(changed)
            assert wait_until(lambda: drv.status()["1001"]["regstatus"], timeout=10), drv.output()[-3000:]
            assert drv.wait_for("1001 registered")
            time.sleep(0.3)
    finally:
        registrar.stop()
    # Registered with the credentials it was started with, but the file keeps
    # the new password and is not marked.
    assert (config / "sip.conf").read_text() == changed


def test_unregistered_accounts_are_retried_every_cycle(config, tmp_path):
    # Two accounts refused with 403: each gets a new initial REGISTER every
    # 2 s + 1 s per account = 4 s, the second 1 s after the first.
    write_files(config, {"sip.conf": account("1001") + account("1002"), "sip_general.conf": general(30)})
    refuser = Sipp(tmp_path, scenario(tmp_path, "refuse_register.xml"))
    try:
        with Driver(config) as drv:
            assert drv.wait_for("DRIVER READY transport=1"), drv.output()
            assert wait_until(lambda: len(registers(refuser.messages(), "1002")) >= 3, timeout=20)
            rows = drv.status()
    finally:
        refuser.stop()
    a = registers(refuser.messages(), "1001")
    b = registers(refuser.messages(), "1002")
    assert len(a) >= 3
    for regs in (a, b):
        # Each retry is an initial REGISTER again on the account's registration.
        assert len({m.header("call-id") for m in regs}) == 1
        cseqs = [int(m.header("cseq").split()[0]) for m in regs]
        assert cseqs == sorted(set(cseqs))
        assert all(m.header("authorization") is None for m in regs)
        gaps = [later.when - earlier.when for earlier, later in zip(regs, regs[1:])]
        assert all(3.7 <= g <= 4.6 for g in gaps), gaps
    for ra, rb in zip(a, b):
        assert 0.8 <= rb.when - ra.when <= 1.4
    assert not rows["1001"]["regstatus"] and not rows["1002"]["regstatus"]
    assert (config / "sip.conf").read_text().count("status=unregisted") == 2


def test_refreshes_every_half_interval_plus_pauses(config, tmp_path):
    # One registered account, RegSipInterval 8: a refresh every 1 + 4 = 5 s.
    write_files(config, {"sip.conf": account("1001"), "sip_general.conf": general(8)})
    registrar = Sipp(tmp_path, scenario(tmp_path, "registrar.xml", AUTHNAME="a1001", SECRET="s1",
                                        PAUSE=0, EXPIRES=3600))
    try:
        with Driver(config) as drv:
            assert drv.wait_for("DRIVER READY transport=1"), drv.output()
            assert wait_until(lambda: len(registers(registrar.messages(), "1001")) >= 5, timeout=25)
    finally:
        registrar.stop()
    regs = registers(registrar.messages(), "1001")
    # Initial at t0, with credentials at once, then the first refresh after
    # 1 + 2 s (the first pass), then every 1 + 4 s.
    assert regs[1].when - regs[0].when < 0.5
    assert 2.7 <= regs[2].when - regs[0].when <= 3.6
    gaps = [later.when - earlier.when for earlier, later in zip(regs[2:], regs[3:])]
    assert gaps and all(4.7 <= g <= 5.6 for g in gaps), gaps


def test_slow_registrar_answer_still_finds_the_account(config, tmp_path):
    # The challenge comes after 4.5 s: the next cycle's initial REGISTER is
    # refused by the stack meanwhile, and the account must keep its
    # registration id so that the late success still marks it.
    write_files(config, {"sip.conf": account("1001"), "sip_general.conf": general(60)})
    registrar = Sipp(tmp_path, scenario(tmp_path, "registrar.xml", AUTHNAME="a1001", SECRET="s1",
                                        PAUSE=4500, EXPIRES=3600))
    try:
        with Driver(config) as drv:
            assert drv.wait_for("DRIVER READY transport=1"), drv.output()
            assert drv.wait_for("register_build_initial_register failed", timeout=6), drv.output()
            assert drv.wait_for("1001 registered", timeout=8), drv.output()[-3000:]
            assert drv.status()["1001"]["regstatus"]
    finally:
        registrar.stop()
    assert "status=registed" in (config / "sip.conf").read_text()
    assert 403 not in [m.status for m in registrar.messages() if m.direction == "sent"]


def test_accounts_whose_uris_do_not_fit_or_mislead_are_refused(config, tmp_path):
    long_user = "u" * 170
    write_files(config, {
        "sip.conf": (account(long_user) + account("1001")
                     + account("1003").replace("host=127.0.0.1", "host=127.0.0.1;transport=tcp")
                     + account("evil@127.0.0.2")),
        "sip_general.conf": general(60)})
    registrar = Sipp(tmp_path, scenario(tmp_path, "registrar.xml", AUTHNAME="a1001", SECRET="s1",
                                        PAUSE=0, EXPIRES=3600))
    try:
        with Driver(config) as drv:
            assert drv.wait_for("DRIVER READY transport=1"), drv.output()
            assert drv.wait_for("1001 registered", timeout=10), drv.output()[-3000:]
            # A second cycle (four accounts: 4 s of pauses, then 2 s) refuses them again.
            assert wait_until(lambda: drv.output().count("register refused") >= 6, timeout=12), drv.output()
            out = drv.output()
            rows = drv.status()
    finally:
        registrar.stop()
    assert out.count("register refused") >= 6, out[-3000:]  # three accounts, two cycles
    regs = registers(registrar.messages())
    assert regs and all("sip:1001@" in m.header("from") for m in regs)
    assert rows["1001"]["regstatus"]
    assert not rows[long_user]["regstatus"] and not rows["1003"]["regstatus"]
    assert not rows["evil@127.0.0.2"]["regstatus"]
