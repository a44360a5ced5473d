"""The gateway's SIP requests and answers against SIPp: the INVITE it places
(URIs, display name, subject, SDP offer, credentials), its answers with SDP,
its refusals, and a SIP socket that cannot be bound."""

import os
import sys
import time

import pytest

sys.path.insert(0, os.path.dirname(__file__))
from sipp_env import Driver, Sipp, scenario, wait_until  # noqa: E402
from velmora_env import write_files  # noqa: E402

CODECS = {
    "mulaw": ("0", "0 PCMU/8000"),
    "alaw": ("8", "8 PCMA/8000"),
    "G729": ("18", "18 G729/8000"),
}


def general(codec, localip="127.0.0.1"):
    return f"[general]\nlocalip={localip}\nport=5060\nRegSipInterval=60\nlanguage=English\ncodec={codec}\n"


SIP_CONF = (
    "[1001]\ndisname=Front\nauthname=a1001\nsecret=s1\nregsip=no\nhost=127.0.0.1\nport=5070\n"
    "codec=alaw\nstatus=unregisted\n"
    "[1002]\ndisname=Back\nauthname=a1002\nsecret=s2\nregsip=no\nhost=127.0.0.1\nport=5070\n"
    "codec=alaw\nstatus=unregisted\n"
)


def expected_sdp(lines, codec, port, name):
    number, rtpmap = CODECS[codec]
    assert len(lines) == 11, lines
    assert lines[0] == "v=0"
    o = lines[1].split(" ")
    assert o[0] == "o=127.0.0.1" and o[1] == o[2] and len(o[1]) == 10 and o[3:] == ["IN", "IP4", "127.0.0.1"]
    assert lines[2:] == [
        f"s={name}",
        "t=0 0",
        f"m=audio {port} RTP/AVP {number} 101",
        "c=IN IP4 127.0.0.1",
        f"a=rtpmap:{rtpmap}",
        "a=rtpmap:101 telephone-event/8000",
        "a=fmtp:101 0-16",
        "a=ptime:40",
        "a=sendrecv",
    ]


@pytest.fixture
def config(tmp_path):
    conf = tmp_path / "config"
    conf.mkdir()
    return conf


@pytest.mark.parametrize("codec", list(CODECS))
def test_invite_offer_and_credentials(config, tmp_path, codec):
    write_files(config, {"sip.conf": SIP_CONF, "sip_general.conf": general(codec)})
    uas = Sipp(tmp_path, scenario(tmp_path, "invite_uas.xml", AUTHNAME="a1002", SECRET="s2"))
    try:
        with Driver(config) as drv:
            assert drv.wait_for("DRIVER READY transport=1"), drv.output()
            drv.send("invite 2 5551234")
            assert drv.wait_for("INVITE 2 result 0"), drv.output()[-2000:]
            assert wait_until(lambda: [m for m in uas.messages() if m.status == 200], timeout=10), \
                drv.output()[-3000:]
            assert drv.wait_for("EXOSIP_CALL_ANSWERED")
    finally:
        uas.stop()
    msgs = uas.messages()
    invites = [m for m in msgs if m.direction == "received" and m.method == "INVITE"]
    assert len(invites) == 2
    for invite in invites:
        assert invite.first == "INVITE sip:5551234@127.0.0.1:5070 SIP/2.0"
        assert invite.header("to").startswith("<sip:5551234@127.0.0.1:5070>")
        frm = invite.header("from")
        assert frm.startswith('"Back" <sip:1002@127.0.0.1>'), frm
        assert invite.header("subject") == "This si a call for a conversation"
        assert invite.header("content-type") == "application/sdp"
        expected_sdp(invite.body_lines(), codec, 10004, "1002")
    # regsip is "no": the credentials were registered for the challenge.
    assert invites[0].header("authorization") is None
    assert 'username="a1002"' in invites[1].header("authorization")
    assert [m.status for m in msgs if m.direction == "sent"] == [401, 200]


@pytest.mark.parametrize("codec,code", [("mulaw", 200), ("alaw", 200), ("G729", 200), ("alaw", 183)])
def test_answer_sdp_and_peer_media(config, tmp_path, codec, code):
    write_files(config, {"sip.conf": SIP_CONF, "sip_general.conf": general(codec)})
    after = ""
    if code == 200:
        after = (SIPP_ACK_AND_BYE)
    with Driver(config) as drv:
        assert drv.wait_for("DRIVER READY transport=1"), drv.output()
        drv.send(f"answer {code}")
        uac = Sipp(tmp_path, scenario(tmp_path, "invite_uac.xml", CODE=code, AFTER=after),
                   port=5080, remote="127.0.0.1:5060", extra=["-m", "1"])
        try:
            uac.wait(timeout=20)
        finally:
            uac.stop()
        out = drv.output()
    assert "PEER 127.0.0.1 6000 result 0" in out, out[-3000:]
    assert f"ANSWERED {code} result 0" in out
    answer = [m for m in uac.messages() if m.direction == "received" and m.status == code]
    assert answer, out[-3000:]
    assert answer[0].header("content-type") == "application/sdp"
    assert answer[0].header("contact").strip("<>").startswith("sip:1001@127.0.0.1:5060")
    expected_sdp(answer[0].body_lines(), codec, 10002, "1001")


@pytest.mark.parametrize("code", [486, 487])
def test_refusals_carry_no_body(config, tmp_path, code):
    write_files(config, {"sip.conf": SIP_CONF, "sip_general.conf": general("alaw")})
    with Driver(config) as drv:
        assert drv.wait_for("DRIVER READY transport=1"), drv.output()
        drv.send(f"answer {code}")
        uac = Sipp(tmp_path, scenario(tmp_path, "invite_uac.xml", CODE=code, AFTER=SIPP_ACK_NON2XX),
                   port=5080, remote="127.0.0.1:5060", extra=["-m", "1"])
        try:
            uac.wait(timeout=20)
        finally:
            uac.stop()
        out = drv.output()
    answer = [m for m in uac.messages() if m.direction == "received" and m.status == code]
    assert answer, out[-3000:]
    assert answer[0].body.strip() == "" and answer[0].header("content-length") == "0"


def test_unbound_socket_keeps_running_and_says_so(config, tmp_path):
    # 192.0.2.1 is on no interface of this namespace.
    write_files(config, {"sip.conf": SIP_CONF, "sip_general.conf": general("alaw", localip="192.0.2.1")})
    for args in (("-d",), ()):
        with Driver(config, args=args) as drv:
            assert drv.wait_for("DRIVER READY transport=0"), drv.output()
            time.sleep(1.0)
            assert drv.proc.poll() is None
            out = drv.output()
        # Said on standard error whether tracing is on or not, and traced.
        assert "SIP socket on 192.0.2.1:5060 not set up" in out, out
        assert ("<RTP>socket bind error." in out) == bool(args)


SIPP_ACK_AND_BYE = """
  <send>
    <![CDATA[
ACK [next_url] SIP/2.0
Via: SIP/2.0/[transport] [local_ip]:[local_port];branch=[branch]
[last_From:]
[last_To:]
[last_Call-ID:]
CSeq: 1 ACK
Max-Forwards: 70
Content-Length: 0

    ]]>
  </send>
  <pause milliseconds="200"/>
  <send retrans="500">
    <![CDATA[
BYE [next_url] SIP/2.0
Via: SIP/2.0/[transport] [local_ip]:[local_port];branch=[branch]
[last_From:]
[last_To:]
[last_Call-ID:]
CSeq: 2 BYE
Max-Forwards: 70
Content-Length: 0

    ]]>
  </send>
  <recv response="200" optional="false" timeout="5000" ontimeout="end"/>
  <label id="end"/>
"""

SIPP_ACK_NON2XX = """
  <send>
    <![CDATA[
ACK sip:1001@[remote_ip]:[remote_port] SIP/2.0
[last_Via:]
[last_From:]
[last_To:]
[last_Call-ID:]
CSeq: 1 ACK
Max-Forwards: 70
Content-Length: 0

    ]]>
  </send>
"""


@pytest.mark.parametrize("number", ["evil@127.0.0.2", "55;maddr=127.0.0.9", "5%0d"])
def test_invite_to_a_number_that_would_change_the_address_is_refused(config, tmp_path, number):
    write_files(config, {"sip.conf": SIP_CONF, "sip_general.conf": general("alaw")})
    uas = Sipp(tmp_path, scenario(tmp_path, "invite_uas.xml", AUTHNAME="a1002", SECRET="s2"))
    try:
        with Driver(config) as drv:
            assert drv.wait_for("DRIVER READY transport=1"), drv.output()
            drv.send(f"invite 2 {number}")
            assert drv.wait_for("INVITE 2 result -1"), drv.output()[-2000:]
            assert "Intial INVITE failed!" in drv.output()
            drv.send("invite 2 5551234")  # the record is still usable
            assert drv.wait_for("INVITE 2 result 0"), drv.output()[-2000:]
            assert wait_until(lambda: [m for m in uas.messages() if m.status == 200], timeout=10)
    finally:
        uas.stop()
    invites = [m for m in uas.messages() if m.method == "INVITE"]
    assert invites and all(m.first.startswith("INVITE sip:5551234@127.0.0.1:5070 ") for m in invites)
