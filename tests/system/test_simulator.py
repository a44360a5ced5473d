"""The runtime simulator, driven the way the gateway drives a runtime: a
client session of our own (TLS server role, handshake, binary protocol), a
test voice host on the abstract sockets, and the control socket."""

import os
import socket
import subprocess
import sys
import time
from pathlib import Path

import pytest

sys.path.insert(0, os.path.dirname(__file__))
from simproto import (Control, ErrorResponse, Session, VoiceHost, f_b, f_e, f_o, f_s, f_u,  # noqa: E402
                      goertzel, make_cert, ulaw_decode, varint)
from velmora_env import SIMULATOR  # noqa: E402

PORT = 9100
ACCOUNT = "alice"

# Ids of the API, as the gateway uses them.
SKYPE, ACCOUNT_MOD, MESSAGE, CONVERSATION, PARTICIPANT = 0, 5, 9, 18, 19
START, GET_ACCOUNT, GET_CONV_LIST, GET_CONV_BY_ID = 145, 115, 18, 15
LOGIN, LOGOUT = 6, 8
JOIN, LEAVE, SEND_DTMF, POST_TEXT, GET_PARTICIPANTS, DELETE = 10, 15, 16, 19, 38, 47
RING, GET_VIDEO = 3, 4
P_STATUS, P_SKYPENAME, P_BALANCE, P_CURRENCY, P_LOGOUTREASON, P_BIRTHDAY = 70, 4, 75, 74, 73, 7
P_CONV_IDENTITY, P_LIVESTATUS = 972, 927
P_PART_IDENTITY, P_VOICE, P_DEBUGINFO, P_LEAVEREASON = 931, 935, 942, 955
P_MSG_TYPE, P_MSG_AUTHOR, P_MSG_BODY = 961, 122, 127
E_LIST_CHANGE, E_MESSAGE, E_DTMF = 4, 5, 1


class Sim:
    def __init__(self, directory, settings=None, port=PORT, account=ACCOUNT):
        self.dir = Path(directory)
        self.account = account
        self.port = port
        if settings is not None:
            (self.dir / ("%s.conf" % account)).write_text(settings)
        env = dict(os.environ, VELMORA_SIM_DIR=str(self.dir))
        self.proc = subprocess.Popen([str(SIMULATOR), "-p", str(port), "-s", "/%s/" % account], env=env,
                                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.ctl = Control(self.dir / ("%s.ctl" % account))

    def log(self):
        return (self.dir / ("%s.log" % self.account)).read_text()

    def stop(self):
        try:
            assert self.ctl("exit") == "OK exiting"
            code = self.proc.wait(timeout=10)
        finally:
            if self.proc.poll() is None:
                self.proc.kill()
                self.proc.wait()
        assert code == 0, self.proc.stdout.read().decode()


@pytest.fixture
def token(tmp_path_factory):
    return make_cert(tmp_path_factory.mktemp("token"))


@pytest.fixture
def sim_factory(tmp_path):
    made = []

    def make(settings=None):
        sim = Sim(tmp_path, settings)
        made.append(sim)
        return sim

    yield make
    for sim in made:
        sim.stop()


def connect(sim, token):
    return Session(sim.port, token)


def login(s, password="pw", expect=7):
    assert s.call(SKYPE, START) == {1: True}
    oid = s.call(SKYPE, GET_ACCOUNT, f_s(1, ACCOUNT))[1]
    assert s.call(ACCOUNT_MOD, LOGIN, f_o(0, oid), f_s(1, password), f_b(2, False)) == {}
    s.wait_change(ACCOUNT_MOD, oid, P_STATUS, expect)
    return oid


def props(s, triples):
    return {(m, o, p): v for m, o, p, v in s.get(triples)}


def prop(s, module, oid, p):
    return props(s, [(module, oid, p)])[(module, oid, p)]


def events(s, module, ev):
    with s.cond:
        return [f for m, e, f in s.events if (m, e) == (module, ev)]


def message_types(s):
    return [prop(s, MESSAGE, f[1], P_MSG_TYPE) for f in events(s, SKYPE, E_MESSAGE)]


# ---- connection and handshake ----


def test_handshake_answers_ok_inside_tls_and_a_second_process_exits(sim_factory, token):
    sim = sim_factory()
    s = connect(sim, token)
    assert s.handshake_reply == b"OK"
    assert s.call(SKYPE, START) == {1: True}
    # A second runtime for the same port goes at once, with a message.
    t0 = time.time()
    second = subprocess.run([str(SIMULATOR), "-p", str(PORT), "-s", "/%s/" % ACCOUNT],
                            env=dict(os.environ, VELMORA_SIM_DIR=str(sim.dir)), capture_output=True, timeout=10)
    assert second.returncode == 1
    assert b"Address already in use" in second.stderr
    assert time.time() - t0 < 3
    # The first one is untouched and still serving.
    assert s.call(SKYPE, START) == {1: True}
    s.close()
    log = sim.log()
    assert 'handshake "00000000" token of 0 bytes' in log
    assert 'SEND   handshake "OK"' in log


def test_a_token_length_that_is_not_hex_closes_the_connection_and_listening_goes_on(sim_factory, token):
    sim = sim_factory()
    bad = Session(sim.port, token, handshake=b"0000zz00")
    assert bad.handshake_reply in (b"", None)
    good = connect(sim, token)
    assert good.handshake_reply == b"OK"
    good.close()


def test_a_non_empty_token_is_read_whole_before_ok(sim_factory, token):
    sim = sim_factory()
    s = Session(sim.port, token, handshake=b"00000005hello")
    assert s.handshake_reply == b"OK"
    assert s.call(SKYPE, START) == {1: True}


def test_command_line_errors_exit_with_usage():
    for args in ([], ["-p", "0", "-s", "/a/"], ["-p", "9", "-s", "a"], ["-p", "9", "-s", "/a b/"], ["-x"]):
        r = subprocess.run([str(SIMULATOR), *args], capture_output=True, timeout=5)
        assert r.returncode == 2, args
        assert r.stderr.startswith(b"velmora-runtime-sim: ")


# ---- login and properties ----


def test_login_goes_through_logging_in_to_logged_in_and_properties_answer(sim_factory, token):
    sim = sim_factory("balance = 1234\ncurrency = USD\n")
    s = connect(sim, token)
    oid = login(s)
    assert s.change_values(ACCOUNT_MOD, oid, P_STATUS) == [5, 7]
    got = props(s, [(ACCOUNT_MOD, oid, P_STATUS), (ACCOUNT_MOD, oid, P_SKYPENAME), (ACCOUNT_MOD, oid, P_BALANCE),
                    (ACCOUNT_MOD, oid, P_CURRENCY), (ACCOUNT_MOD, oid, P_BIRTHDAY), (ACCOUNT_MOD, 999, P_STATUS)])
    assert got[(ACCOUNT_MOD, oid, P_STATUS)] == 7
    assert got[(ACCOUNT_MOD, oid, P_SKYPENAME)] == ACCOUNT
    assert got[(ACCOUNT_MOD, oid, P_BALANCE)] == 1234
    assert got[(ACCOUNT_MOD, oid, P_CURRENCY)] == "USD"
    # Properties it does not model, and objects that do not exist, come back as 'N'.
    assert got[(ACCOUNT_MOD, oid, P_BIRTHDAY)] is None
    assert got[(ACCOUNT_MOD, 999, P_STATUS)] is None
    assert "login=LOGGED_IN" in sim.ctl("status")


def test_a_wrong_password_logs_out_with_incorrect_password_and_the_right_one_logs_in(sim_factory, token):
    sim = sim_factory("password = secret\n")
    s = connect(sim, token)
    oid = login(s, "guess", expect=1)
    assert s.change_values(ACCOUNT_MOD, oid, P_LOGOUTREASON) == [14]
    assert prop(s, ACCOUNT_MOD, oid, P_STATUS) == 1
    s.call(ACCOUNT_MOD, LOGIN, f_o(0, oid), f_s(1, "secret"))
    s.wait_change(ACCOUNT_MOD, oid, P_STATUS, 7)


def test_another_account_name_is_refused(sim_factory, token):
    s = connect(sim_factory(), token)
    with pytest.raises(ErrorResponse):
        s.call(SKYPE, GET_ACCOUNT, f_s(1, "mallory"))


# ---- calls ----


def conversation(s, identity):
    conv = s.call(SKYPE, GET_CONV_BY_ID, f_s(1, identity))[1]
    others = s.call(CONVERSATION, GET_PARTICIPANTS, f_o(0, conv), f_e(1, 5))[1]
    everyone = s.call(CONVERSATION, GET_PARTICIPANTS, f_o(0, conv))[1]
    assert len(others) == 1 and len(everyone) == 2 and others[0] in everyone
    return conv, others[0], [p for p in everyone if p != others[0]][0]


def call_member_id(debuginfo):
    assert "ObjID: " in debuginfo
    return int(debuginfo.split("ObjID: ", 1)[1].split("\n", 1)[0])


def test_outgoing_call_rings_reaches_im_live_and_exchanges_audio(sim_factory, token):
    sim = sim_factory("tone_hz = 1000\nring_delay_ms = 100\nanswer_delay_ms = 300\n")
    voice = VoiceHost(ACCOUNT)
    s = connect(sim, token)
    login(s)
    conv, remote, own = conversation(s, "echo123")
    assert prop(s, CONVERSATION, conv, P_CONV_IDENTITY) == "echo123"
    assert prop(s, PARTICIPANT, remote, P_PART_IDENTITY) == "echo123"
    assert prop(s, PARTICIPANT, own, P_PART_IDENTITY) == ACCOUNT
    assert s.call(PARTICIPANT, RING, f_o(0, remote), f_s(1, ""), f_b(2, False)) == {}
    s.wait_change(CONVERSATION, conv, P_LIVESTATUS, 3, timeout=5)
    assert s.change_values(PARTICIPANT, remote, P_VOICE)[:3] == [3, 4, 7]
    assert s.change_values(CONVERSATION, conv, P_LIVESTATUS) == [1, 3]
    assert any(f.get(1) == conv and f.get(2) == 3 and f.get(3) is True for f in events(s, SKYPE, E_LIST_CHANGE))
    assert 30 in message_types(s)  # STARTED_LIVESESSION
    cmid = call_member_id(prop(s, PARTICIPANT, remote, P_DEBUGINFO))
    assert call_member_id(prop(s, PARTICIPANT, own, P_DEBUGINFO)) == cmid

    # The voice side: codec, channel, send codec, playback, recording, packets.
    voice.wait_for(lambda v: 32 in v.methods() and len(v.packets.get(0, [])) >= 25, what="recording and packets")
    methods = voice.methods()
    assert methods[:5] == [21, 20, 10, 22, 30]
    create = [f for m, f in voice.calls if m == 10][0]
    assert create == {1: cmid, 2: conv}
    setcodec = [f for m, f in voice.calls if m == 22][0]
    assert setcodec[2] == "PCMU" and setcodec[3] == 20 and setcodec[5] == 0
    pkts = voice.packets[0][:25]
    assert all(len(p) == 172 and p[0] == 0x80 and p[1] & 0x7F == 0 for p in pkts)
    seqs = [int.from_bytes(p[2:4], "big") for p in pkts]
    assert all((b - a) & 0xFFFF == 1 for a, b in zip(seqs, seqs[1:]))
    samples = [ulaw_decode(b) for p in pkts[5:15] for b in p[12:]]
    assert goertzel(samples, 1000) > 50 * goertzel(samples, 600)

    # What the gateway sends back is analysed per call.
    voice.send_tone(0, 600, 50)
    time.sleep(0.3)
    info = sim.ctl.fields("info")
    assert info["state"] == "live" and int(info["received"]) == 50
    assert abs(int(info["top_freq"]) - 600) <= 10

    # The gateway hangs up.
    assert s.call(CONVERSATION, LEAVE, f_o(0, conv)) == {}
    s.wait_change(PARTICIPANT, remote, P_VOICE, 9)
    s.wait_for(lambda x: 39 in message_types(x), what="ENDED_LIVESESSION")
    voice.wait_for(lambda v: 11 in v.methods(), what="DeleteChannel")
    assert voice.methods()[-3:] == [31, 33, 11]
    assert sim.ctl.fields("info")["state"] == "ended"


def test_remote_party_behaviours(sim_factory, token):
    sim = sim_factory("ring_delay_ms = 50\nanswer_delay_ms = 200\nearly_media_ms = 100\n"
                      "[party busyone]\nanswer = busy\n[party earlyone]\nanswer = early\n"
                      "[party manualone]\nanswer = manual\n[party +4412345]\nanswer = reject\n")
    s = connect(sim, token)
    login(s)
    cases = [  # identity, control command after ringing, voice statuses, live reached, leave reason
        ("busyone", None, [3, 9], False, 102),
        ("earlyone", None, [3, 4, 5, 7, 9], True, 101),
        ("manualone", "answer", [3, 4, 7, 9], True, 101),
        ("manualone", "busy", [3, 4, 9], False, 102),
        ("+4412345", None, [3, 4, 9], False, 116),
    ]
    for identity, command, statuses, live, reason in cases:
        conv, remote, _ = conversation(s, identity)
        before = len(s.change_values(PARTICIPANT, remote, P_VOICE))
        s.call(PARTICIPANT, RING, f_o(0, remote))
        if command:
            s.wait_change(PARTICIPANT, remote, P_VOICE, 4)
            assert sim.ctl(command).startswith("OK"), identity
        if live:
            s.wait_change(CONVERSATION, conv, P_LIVESTATUS, 3)
            s.call(CONVERSATION, LEAVE, f_o(0, conv))
        s.wait_for(lambda x: 9 in x.change_values(PARTICIPANT, remote, P_VOICE)[before:], what=identity)
        assert s.change_values(PARTICIPANT, remote, P_VOICE)[before:] == statuses, identity
        assert prop(s, PARTICIPANT, remote, P_LEAVEREASON) == reason, identity
        # The gateway deletes a finished conversation; the next call gets a new one.
        s.call(CONVERSATION, DELETE, f_o(0, conv))
        assert conv not in s.call(SKYPE, GET_CONV_LIST).get(1, [])


def test_incoming_call_rings_for_me_is_joined_and_carries_dtmf_chat_and_hangup(sim_factory, token):
    sim = sim_factory("caller_tone_hz = 440\n")
    voice = VoiceHost(ACCOUNT)
    s = connect(sim, token)
    login(s)
    assert sim.ctl("call bob").startswith("OK call=")
    s.wait_for(lambda x: events(x, SKYPE, E_LIST_CHANGE), what="OnConversationListChange")
    conv = events(s, SKYPE, E_LIST_CHANGE)[0][1]
    s.wait_change(CONVERSATION, conv, P_LIVESTATUS, 2)
    assert prop(s, CONVERSATION, conv, P_LIVESTATUS) == 2
    assert s.call(SKYPE, GET_CONV_LIST, f_e(1, 3)) == {1: [conv]}
    _, caller, own = conversation(s, "bob")
    assert prop(s, PARTICIPANT, own, P_PART_IDENTITY) == ACCOUNT
    cmid = call_member_id(prop(s, PARTICIPANT, caller, P_DEBUGINFO))
    # The caller's audio flows while it rings, so the gateway can pace its prompt.
    voice.wait_for(lambda v: len(v.packets.get(0, [])) >= 10, what="caller audio")
    assert [f for m, f in voice.calls if m == 10][0][1] == cmid
    assert 32 not in voice.methods()

    assert s.call(CONVERSATION, JOIN, f_o(0, conv), f_s(1, "")) == {}
    s.wait_change(CONVERSATION, conv, P_LIVESTATUS, 3)
    voice.wait_for(lambda v: 32 in v.methods(), what="StartRecording")
    samples = [ulaw_decode(b) for b in voice.packets[0][-1][12:]]
    assert goertzel(samples, 440) > 50 * goertzel(samples, 1000)

    assert sim.ctl("dtmf 12#*").startswith("OK")
    s.wait_for(lambda x: len(events(x, PARTICIPANT, E_DTMF)) == 4, what="DTMF events")
    got = events(s, PARTICIPANT, E_DTMF)
    assert all(f[0] == caller for f in got)
    assert [f.get(1, 0) for f in got] == [1, 2, 11, 10]

    assert sim.ctl("chat bob hello there").startswith("OK")
    s.wait_for(lambda x: 61 in message_types(x), what="POSTED_TEXT")
    msg = [f[1] for f in events(s, SKYPE, E_MESSAGE) if prop(s, MESSAGE, f[1], P_MSG_TYPE) == 61][0]
    assert prop(s, MESSAGE, msg, P_MSG_AUTHOR) == "bob"
    assert prop(s, MESSAGE, msg, P_MSG_BODY) == "hello there"

    # What the gateway does on the call is recorded.
    s.call(CONVERSATION, SEND_DTMF, f_o(0, conv), f_e(1, 5), f_u(2, 100))
    s.call(CONVERSATION, SEND_DTMF, f_o(0, conv), f_e(1, 11))
    reply = s.call(CONVERSATION, POST_TEXT, f_o(0, conv), f_s(1, "auto reply"), f_b(2, False))
    assert prop(s, MESSAGE, reply[1], P_MSG_AUTHOR) == ACCOUNT
    info = sim.ctl.fields("info")
    assert info["gateway_dtmf"] == "5#" and info["gateway_texts"] == "1"

    assert sim.ctl("hangup").startswith("OK")
    s.wait_change(PARTICIPANT, caller, P_VOICE, 9)
    s.wait_for(lambda x: 39 in message_types(x), what="ENDED_LIVESESSION")
    ended = [f for f in events(s, SKYPE, E_MESSAGE) if prop(s, MESSAGE, f[1], P_MSG_TYPE) == 39][0]
    assert ended[4] == conv and prop(s, MESSAGE, ended[1], P_MSG_AUTHOR) == "bob"
    voice.wait_for(lambda v: 11 in v.methods(), what="DeleteChannel")


def test_incoming_call_not_joined_gives_up(sim_factory, token):
    sim = sim_factory("incoming_timeout_ms = 300\n")
    s = connect(sim, token)
    login(s)
    sim.ctl("call carol")
    s.wait_for(lambda x: 39 in message_types(x), what="caller giving up")
    assert sim.ctl.fields("info")["state"] == "ended"


def test_voice_detects_dtmf_tones_from_the_gateway(sim_factory, token):
    sim = sim_factory()
    voice = VoiceHost(ACCOUNT)
    s = connect(sim, token)
    login(s)
    sim.ctl("call dave")
    voice.wait_for(lambda v: 0 in v.packets, what="channel")
    # "5" is 770 + 1336 Hz: two tones at once, then a gap, then "9" (852 + 1477).
    import math
    from simproto import f_bin, f_i, ulaw
    for n, (lo, hi) in enumerate([(770, 1336)] * 5 + [(0, 0)] * 3 + [(852, 1477)] * 5):
        payload = bytes(ulaw(int(4000 * (math.sin(2 * math.pi * lo * k / 8000) + math.sin(2 * math.pi * hi * k / 8000))))
                        for k in range(n * 160, n * 160 + 160))
        rtp = bytes([0x80, 0]) + n.to_bytes(2, "big") + (n * 160).to_bytes(4, "big") + b"\0\0\0\1" + payload
        voice.cb.sendall(b"ZR\x00\x01" + varint(n) + f_i(1, 0) + f_bin(2, rtp) + b"z")
    time.sleep(0.3)
    assert sim.ctl.fields("info")["dtmf"] == "59"


# ---- bad input and control ----


def test_bad_input_gets_the_error_response_or_a_resync_and_never_a_crash(sim_factory, token):
    sim = sim_factory()
    s = connect(sim, token)
    oid = login(s)
    with pytest.raises(ErrorResponse):
        s.call(SKYPE, 99)  # unknown method
    with pytest.raises(ErrorResponse):
        s.call(CONVERSATION, JOIN, f_o(0, 4242))  # no such object
    with pytest.raises(ErrorResponse):
        s.call(ACCOUNT_MOD, LOGIN, f_o(0, oid + 1000))
    with pytest.raises(ErrorResponse):
        s.call(77, 1)  # unknown module
    # Tags out of order: the parameters cannot be decoded.
    with pytest.raises(ErrorResponse):
        s.call(SKYPE, GET_CONV_BY_ID, f_s(2, "x"), f_s(1, "y"))
    # Garbage between messages, an unknown command and an overlong varint.
    s.send_raw(b"\x01\x02garbage")
    s.send_raw(b"ZQ")
    s.send_raw(b"ZR\xff\xff\xff\xff\xff\xff")
    assert s.call(SKYPE, START) == {1: True}
    with pytest.raises(ErrorResponse):
        s.call(PARTICIPANT, GET_VIDEO, f_o(0, oid))  # the account is not a participant
    _, remote, own = conversation(s, "zed")
    assert s.call(PARTICIPANT, GET_VIDEO, f_o(0, remote)) == {}  # no video: the null reference
    with pytest.raises(ErrorResponse):
        s.call(PARTICIPANT, RING, f_o(0, own))  # the account cannot ring itself
    assert sim.proc.poll() is None
    log = sim.log()
    assert "unknown method" in log and "resynchronising" in log


def test_control_commands(sim_factory, token):
    sim = sim_factory("balance = 10\n")
    s = connect(sim, token)
    oid = login(s)
    assert sim.ctl("balance 777 GBP") == "OK balance=777 currency=GBP"
    s.wait_change(ACCOUNT_MOD, oid, P_BALANCE, 777)
    assert s.change_values(ACCOUNT_MOD, oid, P_CURRENCY) == ["GBP"]
    # Stop answering, then answer again.
    assert sim.ctl("stall") == "OK stalled"
    with s.lock:
        rid = s.rid
        s.rid += 1
        s.send_raw(b"ZR" + varint(SKYPE) + varint(START) + varint(rid) + b"z")
    with pytest.raises(TimeoutError):
        s.wait_reply(rid, timeout=0.5)
    assert sim.ctl("resume") == "OK resumed"
    assert s.call(SKYPE, START) == {1: True}
    # A runtime-side logout.
    assert sim.ctl("logout 5") == "OK logged out reason=5"
    s.wait_change(ACCOUNT_MOD, oid, P_STATUS, 1)
    assert prop(s, ACCOUNT_MOD, oid, P_LOGOUTREASON) == 5
    # Drop the connection: the client sees it close, and a new one is served.
    assert sim.ctl("drop") == "OK dropped"
    s.wait_for(lambda x: x.closed, what="connection closed")
    s2 = connect(sim, token)
    login(s2)
    for bad in ["call", "dtmf 12x", "tone 9999", "balance -1", "logout 99", "nonsense", "answer 5"]:
        assert sim.ctl(bad).startswith("ERR"), bad
    assert sim.ctl("help").startswith("OK commands:")
