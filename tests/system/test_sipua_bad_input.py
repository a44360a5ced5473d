"""Bad datagrams sent to the SIP user agent change nothing: the ones that
cannot be answered are dropped, the others get their error answer, and the
next call works."""

import random
import socket
import time

from sipua_peer import Driver, Sipp, explain, run_pair


def request(port, drop=(), replace=None, body=b"", extra=b""):
    lines = [
        b"INVITE sip:gw@127.0.0.1:%d SIP/2.0" % port,
        b"Via: SIP/2.0/UDP 127.0.0.1:%d;branch=z9hG4bKbad%d" % (port, random.randint(0, 10**9)),
        b"From: <sip:evil@127.0.0.1>;tag=e1",
        b"To: <sip:gw@127.0.0.1>",
        b"Call-ID: bad-%d@127.0.0.1" % random.randint(0, 10**9),
        b"CSeq: 1 INVITE",
        b"Contact: <sip:evil@127.0.0.1>",
        b"Max-Forwards: 70",
        b"Content-Length: %d" % len(body),
    ]
    lines = [l for l in lines if not any(l.startswith(d) for d in drop)]
    if replace:
        lines = [replace.get(l.split(b":")[0], l) for l in lines]
    return b"\r\n".join(lines) + b"\r\n" + extra + b"\r\n" + body


def test_garbage_changes_nothing_and_the_next_call_works(tmp_path):
    driver = Driver("--role", "uas", "--hangup", "peer", "--expect", "5,15,25,26", timeout=25)
    peer = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    peer.bind(("127.0.0.1", 0))
    me = peer.getsockname()[1]
    peer.settimeout(0.4)
    rng = random.Random(7)
    valid = request(me)
    # datagram, the first line of the answer expected (None: no answer)
    cases = [
        (bytes(rng.randrange(256) for _ in range(300)), None),
        (bytes(rng.randrange(256) for _ in range(60000)), None),
        (valid[:70], None),
        (valid[:len(valid) // 2], None),
        (request(me, drop=[b"Call-ID"]), None),
        (request(me, drop=[b"CSeq"]), None),
        (request(me, drop=[b"Via"]), None),
        (request(me, replace={b"Content-Length": b"Content-Length: 99999"}, body=b"v=0\r\n"), b"SIP/2.0 400"),
        (request(me, replace={b"CSeq": b"CSeq: 1 BYE"}), b"SIP/2.0 400"),
        (request(me, replace={b"CSeq": b"CSeq: 99999999999999999999 INVITE"}), None),
        (b"\r\n\r\n", None),
        (b"SIP/2.0 200 OK\r\nVia: SIP/2.0/UDP 127.0.0.1:5060;branch=z9hG4bKnone\r\nFrom: <sip:a@b>;tag=1\r\n"
         b"To: <sip:c@d>;tag=2\r\nCall-ID: nothing\r\nCSeq: 1 INVITE\r\nContent-Length: 0\r\n\r\n", None),
        (request(me, replace={b"INVITE sip": b"ACK sip:gw@127.0.0.1 SIP/2.0", b"CSeq": b"CSeq: 1 ACK"}), None),
        (request(me, replace={b"INVITE sip": b"BYE sip:gw@127.0.0.1 SIP/2.0", b"CSeq": b"CSeq: 1 BYE"}),
         b"SIP/2.0 481"),
        (request(me, replace={b"INVITE sip": b"SUBSCRIBE sip:gw@127.0.0.1 SIP/2.0",
                              b"CSeq": b"CSeq: 1 SUBSCRIBE"}), b"SIP/2.0 501"),
    ]
    for i, (datagram, answer) in enumerate(cases):
        peer.sendto(datagram, ("127.0.0.1", driver.port))
        got = []
        try:
            while True:
                got.append(peer.recv(65535))
        except socket.timeout:
            pass
        if answer is None:
            assert got == [], "case %d got an answer: %r" % (i, got[:1])
        else:
            assert len(got) == 1 and got[0].startswith(answer), "case %d: %r" % (i, got[:1])
    sipp = Sipp(tmp_path, "caller.xml", target_port=driver.port)
    d, s = run_pair(driver, sipp)
    assert (d, s) == (0, 0), explain(driver, sipp)
    assert driver.events().count(5) == 1, "only the real call reached the application"
