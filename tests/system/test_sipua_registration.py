"""Registration of the SIP user agent with SIPp as the registrar."""

import re

from sipua_peer import Driver, Sipp, explain, run_pair


def test_challenge_answered_then_refreshed_with_cached_credentials(tmp_path):
    sipp = Sipp(tmp_path, "registrar_digest.xml")
    driver = Driver("--role", "register", "--target", "sip:127.0.0.1:%d" % sipp.port,
                    "--from", "sip:alice@127.0.0.1", "--user", "alice", "--password", "s3cret",
                    "--expires", "4", "--expect", "2,1,1", timeout=15)
    d, s = run_pair(driver, sipp)
    assert (d, s) == (0, 0), explain(driver, sipp)
    registers = sipp.received(r"REGISTER ")
    assert len(registers) == 3
    call_ids = {re.search(r"^Call-ID: (.*)$", r, re.M).group(1) for r in registers}
    assert len(call_ids) == 1, "one Call-ID for the registration"
    cseqs = [int(re.search(r"^CSeq: (\d+) REGISTER", r, re.M).group(1)) for r in registers]
    assert cseqs == sorted(cseqs) and len(set(cseqs)) == 3
    assert "Authorization:" not in registers[0]
    for r in registers[1:]:
        assert re.search(r'^Authorization: Digest username="alice", realm="velmora.test"', r, re.M)
        assert "qop=auth" in r
    nc = [re.search(r"nc=([0-9a-f]{8})", r).group(1) for r in registers[1:]]
    assert nc == ["00000001", "00000002"]


def test_refused_credentials_are_sent_once_per_challenge(tmp_path):
    sipp = Sipp(tmp_path, "registrar_refuses.xml")
    driver = Driver("--role", "register", "--target", "sip:127.0.0.1:%d" % sipp.port,
                    "--from", "sip:alice@127.0.0.1", "--user", "alice", "--password", "wrong",
                    "--expires", "60", "--expect", "2,2", timeout=10)
    d, s = run_pair(driver, sipp)
    assert (d, s) == (0, 0), explain(driver, sipp)
    assert len(sipp.received(r"REGISTER ")) == 2
