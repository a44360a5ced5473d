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
]


@pytest.mark.parametrize("scenario,options,expect", CASES, ids=[c[0] for c in CASES])
def test_incoming(tmp_path, scenario, options, expect):
    driver = Driver("--role", "uas", "--expect", expect, *options)
    sipp = Sipp(tmp_path, scenario, target_port=driver.port)
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
    if scenario == "message.xml":
        assert "MESSAGE body hello gateway" in driver.output
