"""Calls to the SIP user agent, with SIPp as the caller."""

import re

import pytest

from sipua_peer import Driver, Sipp, explain, run_pair

# scenario, driver options, events the driver must see in order
CASES = [
    ("caller.xml", ["--hangup", "peer"], "5,15,25,26"),
    ("caller_waits_bye.xml", ["--hangup", "self"], "5,15,26"),
    ("caller_info.xml", ["--hangup", "peer"], "5,15,18,25,26"),
    ("caller_cancel.xml", ["--answer", "0"], "5,16,26"),
    ("caller_late_ack.xml", ["--hangup", "peer"], "5,15,25,26"),
    ("message.xml", [], "27"),
    ("caller_no_ack.xml", ["--hangup", "peer"], "5,26"),
]


@pytest.mark.parametrize("scenario,options,expect", CASES, ids=[c[0] for c in CASES])
def test_incoming(tmp_path, scenario, options, expect):
    driver = Driver("--role", "uas", "--expect", expect, *options, timeout=50)
    sipp = Sipp(tmp_path, scenario, target_port=driver.port, timeout=45 if scenario == "caller_no_ack.xml" else 25)
    d, s = run_pair(driver, sipp)
    assert (d, s) == (0, 0), explain(driver, sipp)
    # Every request was answered exactly once by a final answer of the user agent.
    finals = sipp.received(r"SIP/2.0 [2-6]\d\d ")
    if scenario == "caller_info.xml":
        assert "INFO body Signal=5" in driver.output
    if scenario == "caller_cancel.xml":
        assert [f.split("\n")[0].split()[1] for f in finals] == ["200", "487"]
        assert re.search(r"^CSeq: 1 INVITE", finals[1], re.M)
    if scenario == "caller_late_ack.xml":
        oks = [f for f in finals if re.search(r"^CSeq: 1 INVITE", f, re.M)]
        assert len(oks) >= 2, "the 200 must be sent again until the ACK comes"
        assert len({o for o in oks}) == 1, "the same 200 each time"
    if scenario == "caller_no_ack.xml":
        oks = [f for f in finals if re.search(r"^CSeq: 1 INVITE", f, re.M)]
        # T1 doubling up to T2 over 64*T1: 0, 0.5, 1.5, 3.5, 7.5, 11.5, ... 31.5 s
        assert 9 <= len(oks) <= 12, "the 200 is re-sent with backoff until 64*T1"
        assert len(sipp.received(r"BYE ")) == 1
        assert "event 5 " in driver.output and driver.events().count(5) == 1, "repeated INVITEs absorbed"
        assert 15 not in driver.events()
    if scenario == "message.xml":
        assert "MESSAGE body hello gateway" in driver.output
