"""The SIP side through the gateway itself: a configured account registers
with digest authentication at start-up, and a SIP socket that cannot be
bound leaves the gateway running and says so."""

import os
import sys
import time

import pytest

sys.path.insert(0, os.path.dirname(__file__))
from sipp_env import Sipp, scenario, wait_until  # noqa: E402
from velmora_env import Gateway, write_files  # noqa: E402

SIP_CONF = ("[1001]\ndisname=Front\nauthname=a1001\nsecret=s1\nregsip=yes\nhost=127.0.0.1\nport=5070\n"
            "codec=alaw\nstatus=unregisted\n"
            "[1002]\ndisname=Back\nauthname=a1002\nsecret=s2\nregsip=no\nhost=127.0.0.1\nport=5070\n"
            "codec=alaw\nstatus=unregisted\n")


def general(localip):
    return f"[general]\nlocalip={localip}\nport=5060\nRegSipInterval=60\nlanguage=English\ncodec=alaw\n"


@pytest.fixture
def config(tmp_path):
    conf = tmp_path / "config"
    conf.mkdir()
    write_files(conf, {"sip.conf": SIP_CONF, "skypes.conf": "",
                       "linux.pem": "-----BEGIN CERTIFICATE-----\n-----END CERTIFICATE-----\n"})
    return conf


def test_gateway_registers_its_account(config, tmp_path):
    (config / "sip_general.conf").write_text(general("127.0.0.1"))
    registrar = Sipp(tmp_path, scenario(tmp_path, "registrar.xml", AUTHNAME="a1001", SECRET="s1",
                                        PAUSE=0, EXPIRES=3600))
    try:
        with Gateway(config, args=("-d",)) as gw:
            assert gw.wait_for("Velmora start!"), gw.output()
            assert wait_until(lambda: "status=registed" in (config / "sip.conf").read_text(), timeout=10), \
                gw.output()[-3000:]
            assert gw.proc.poll() is None
    finally:
        registrar.stop()
    assert (config / "sip.conf").read_text() == SIP_CONF.replace(
        "codec=alaw\nstatus=unregisted\n[1002]", "codec=alaw\nstatus=registed\n[1002]")
    sent = [m.status for m in registrar.messages() if m.direction == "sent"]
    assert sent[:2] == [401, 200]
    assert 403 not in sent


@pytest.mark.parametrize("args", [("-d",), ()])
def test_unbound_sip_socket_leaves_the_gateway_running(config, tmp_path, args):
    # 192.0.2.1 is on no interface of this namespace.
    (config / "sip_general.conf").write_text(general("192.0.2.1"))
    with Gateway(config, args=args) as gw:
        assert gw.wait_for("SIP socket on 192.0.2.1:5060 not set up"), gw.output()
        time.sleep(1.5)
        assert gw.proc.poll() is None
        out = gw.output()
    assert "no SIP traffic will be received" in out
    if args:
        assert "<RTP>socket bind error." in out and "Velmora start!" in out
