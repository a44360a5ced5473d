"""Calls placed by the SIP user agent, with SIPp as the callee."""

import hashlib
import re

import pytest

from sipua_peer import Driver, Sipp, explain, run_pair, scenario_copy

# scenario, SIPp keys, driver options, events the driver must see in order
CASES = [
    ("callee.xml", {}, ["--hangup", "self"], "9,10,26"),
    ("callee.xml", {}, ["--hangup", "self", "--info", "1"], "9,10,20,26"),
    ("callee_refuses.xml", {"code": "486 Busy Here"}, [], "12,26"),
    ("callee_refuses.xml", {"code": "503 Service Unavailable"}, [], "13,26"),
    ("callee_refuses.xml", {"code": "603 Decline"}, [], "14,26"),
    ("callee_challenges.xml", {}, ["--user", "alice", "--password", "s3cret", "--hangup", "self"], "12,10,26"),
    ("callee_slow.xml", {}, ["--hangup", "self"], "9,10,26"),
    ("callee_cancelled.xml", {}, ["--cancel", "1"], "9,26"),
    ("callee_challenges.xml", {"proxy": True}, ["--user", "alice", "--password", "s3cret", "--hangup", "self"],
     "12,10,26"),
]
IDS = ["answered", "info", "busy486", "unavailable503", "declined603", "challenge401", "slow_callee",
       "cancel_after_180", "challenge407"]


def digest_ok(message, header, user, password):
    """RFC 2617 check of a qop=auth digest answer in the message."""
    value = re.search(r"^%s: Digest (.*)$" % header, message, re.M).group(1)
    p = dict((k, v.strip('"')) for k, v in re.findall(r'(\w+)=("[^"]*"|[^, ]+)', value))
    md5 = lambda s: hashlib.md5(s.encode()).hexdigest()
    ha1 = md5("%s:%s:%s" % (user, p["realm"], password))
    ha2 = md5("INVITE:%s" % p["uri"])
    want = md5(":".join([ha1, p["nonce"], p["nc"], p["cnonce"], p["qop"], ha2]))
    return p["username"] == user and p["response"] == want


@pytest.mark.parametrize("scenario,keys,options,expect", CASES, ids=IDS)
def test_outgoing(tmp_path, scenario, keys, options, expect):
    path = scenario
    if "code" in keys:
        path = scenario_copy(tmp_path, scenario, "486 Busy Here", keys["code"])
    if "proxy" in keys:
        path = scenario_copy(tmp_path, scenario, "401 Unauthorized", "407 Proxy Authentication Required")
        # SIPp's verifyauth reads only Authorization: the digest is checked here instead.
        with open(path) as f:
            text = f.read().replace("WWW-Authenticate:", "Proxy-Authenticate:").replace(
                '<nop next="good" test="authvalid"/>', '<nop next="good"/>').replace(
                "</scenario>", '<Reference variables="authvalid"/>\n</scenario>')
        with open(path, "w") as f:
            f.write(text)
    sipp = Sipp(tmp_path, path)
    driver = Driver("--role", "uac", "--target", "sip:gw@127.0.0.1:%d" % sipp.port,
                    "--from", "sip:alice@127.0.0.1", "--expect", expect, *options)
    d, s = run_pair(driver, sipp)
    assert (d, s) == (0, 0), explain(driver, sipp)
    invites = sipp.received(r"INVITE ")
    if "code" in keys:
        assert ("status=%s" % keys["code"].split()[0]) in driver.output
    if scenario == "callee_slow.xml":
        assert len(invites) >= 2, "an unanswered INVITE is sent again"
        assert len(set(invites)) == 1, "the same INVITE each time"
    if scenario == "callee_challenges.xml":
        header = "Proxy-Authorization" if "proxy" in keys else "Authorization"
        assert "Authorization:" not in invites[0]
        assert re.search(r'^%s: Digest username="alice"' % header, invites[-1], re.M)
        assert digest_ok(invites[-1], header, "alice", "s3cret")
        cseq = [int(re.search(r"^CSeq: (\d+) INVITE", i, re.M).group(1)) for i in invites]
        assert cseq[-1] == cseq[0] + 1
    if scenario == "callee_cancelled.xml":
        cancel = sipp.received(r"CANCEL ")
        assert len(cancel) == 1
        via = lambda m: re.search(r"^Via: (.*)$", m, re.M).group(1)
        assert via(cancel[0]) == via(invites[0]), "CANCEL carries the INVITE's Via"
        assert re.search(r"^CSeq: 20 CANCEL", cancel[0], re.M)
        assert "tag=" not in re.search(r"^To: (.*)$", cancel[0], re.M).group(1)
        assert len(sipp.received(r"ACK ")) == 1
    if scenario == "callee_refuses.xml":
        acks = sipp.received(r"ACK ")
        assert len(acks) == 1
        assert re.search(r"^CSeq: \d+ ACK", acks[0], re.M)
