"""The gateway's side of the runtime protocols, written independently for
the simulator's tests: the binary protocol codec, a TLS client session
(gateway as TLS server) and a test voice host on abstract Unix sockets."""

import math
import os
import queue
import socket
import ssl
import struct
import subprocess
import threading
import time
from pathlib import Path

# ---- values ----


def varint(v):
    out = bytearray()
    while v >= 0x80:
        out.append((v & 0x7F) | 0x80)
        v >>= 7
    out.append(v)
    return bytes(out)


def zigzag(v):
    return varint(((v << 1) ^ (v >> 31)) & 0xFFFFFFFF)


def f_u(tag, v, kind=b"u"):
    return kind + varint(tag) + varint(v)


def f_e(tag, v):
    return f_u(tag, v, b"e")


def f_o(tag, v):
    return f_u(tag, v, b"O")


def f_i(tag, v):
    return b"i" + varint(tag) + zigzag(v)


def f_s(tag, text, kind=b"S"):
    data = text.encode() if isinstance(text, str) else text
    return kind + varint(tag) + varint(len(data)) + data


def f_bin(tag, data):
    return f_s(tag, data, b"B")


def f_b(tag, v):
    return (b"T" if v else b"F") + varint(tag)


class Stream:
    """Blocking reads of exact byte counts from a socket-like object."""

    def __init__(self, sock):
        self.sock = sock
        self.buf = b""

    def read(self, n):
        while len(self.buf) < n:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise EOFError("connection closed")
            self.buf += chunk
        out, self.buf = self.buf[:n], self.buf[n:]
        return out

    def byte(self):
        return self.read(1)[0]

    def varint(self):
        v, shift = 0, 0
        while True:
            b = self.byte()
            v |= (b & 0x7F) << shift
            shift += 7
            if not b & 0x80:
                return v


class ErrorResponse(Exception):
    pass


def read_value(st, kind):
    if kind in b"uOe":
        return st.varint()
    if kind == ord("i"):
        u = st.varint()
        return (u >> 1) ^ -(u & 1)
    if kind in b"SXfB":
        n = st.varint()
        data = st.read(n)
        return data if kind == ord("B") else data.decode("utf-8", "replace")
    if kind == ord("T"):
        return True
    if kind == ord("F"):
        return False
    if kind == ord("["):
        items = []
        while True:
            k = st.byte()
            if k == ord("]"):
                return items
            items.append(read_value(st, k))
    if kind == ord("{"):
        return read_message(st)
    raise ValueError("unknown kind %r" % chr(kind))


def read_message(st):
    """A parameter message as {tag: value}; ErrorResponse on the error form."""
    fields = {}
    while True:
        k = st.byte()
        if k == ord("z"):
            return fields
        if k == ord("N"):
            st.byte()
            raise ErrorResponse()
        tag = st.varint()
        fields[tag] = read_value(st, k)


def read_prop_stream(st):
    """A property stream ('g' or 'C' body) as a list of (module, oid, prop, value-or-None)."""
    out = []
    module = st.varint()
    oid = st.varint()
    while True:
        kind = st.byte()
        prop = st.varint()
        value = None if kind == ord("N") else read_value(st, kind)
        out.append((module, oid, prop, value))
        b = st.byte()
        if b != ord("]"):
            raise ValueError("property stream: expected ] got %r" % b)
        b = st.byte()
        if b == ord(","):
            oid = st.varint()
            continue
        if b != ord("]"):
            raise ValueError("property stream: expected ]")
        b = st.byte()
        if b == ord(","):
            module = st.varint()
            oid = st.varint()
            continue
        if b != ord("]"):
            raise ValueError("property stream: expected ]")
        if st.byte() != ord("z"):
            raise ValueError("property stream: expected z")
        return out


def make_cert(directory):
    """A throw-away certificate and key in one PEM, like the application token."""
    directory = Path(directory)
    key, cert = directory / "key.pem", directory / "cert.pem"
    subprocess.run(
        ["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
         "-keyout", str(key), "-out", str(cert), "-days", "2", "-subj", "/CN=velmora-test"],
        check=True, capture_output=True)
    token = directory / "token.pem"
    token.write_bytes(cert.read_bytes() + key.read_bytes())
    return token


# ---- the client session ----


class Session:
    """The gateway's end of a client session: TCP, TLS server role, handshake,
    then calls, property requests and the runtime's messages."""

    def __init__(self, port, token_pem, handshake=b"00000000", timeout=10):
        raw = socket.create_connection(("127.0.0.1", port), timeout=timeout)
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain(str(token_pem))
        self.sock = ctx.wrap_socket(raw, server_side=True)
        self.sock.settimeout(timeout)
        self.handshake_reply = None
        if handshake is not None:
            self.sock.sendall(handshake)
            self.handshake_reply = self.sock.recv(2)
        self.st = Stream(self.sock)
        self.rid = 0
        self.lock = threading.Lock()
        self.replies = {}
        self.gets = queue.Queue()
        self.events = []  # (module, event, fields)
        self.changes = []  # (module, oid, prop, value)
        self.cond = threading.Condition()
        self.closed = False
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        try:
            while True:
                if self.st.byte() != ord("Z"):
                    raise ValueError("bad message start")
                cmd = chr(self.st.byte())
                if cmd == "r":
                    rid = self.st.varint()
                    try:
                        value = read_message(self.st)
                    except ErrorResponse:
                        value = ErrorResponse
                    with self.cond:
                        self.replies[rid] = value
                        self.cond.notify_all()
                elif cmd == "E":
                    module, ev = self.st.varint(), self.st.varint()
                    fields = read_message(self.st)
                    with self.cond:
                        self.events.append((module, ev, fields))
                        self.cond.notify_all()
                elif cmd == "C":
                    entries = read_prop_stream(self.st)
                    with self.cond:
                        self.changes.extend(entries)
                        self.cond.notify_all()
                elif cmd == "g":
                    self.gets.put(read_prop_stream(self.st))
                else:
                    raise ValueError("unknown command " + cmd)
        except (EOFError, OSError, ValueError, ssl.SSLError):
            with self.cond:
                self.closed = True
                self.cond.notify_all()

    def send_raw(self, data):
        self.sock.sendall(data)

    def call(self, module, method, *fields, timeout=5):
        with self.lock:
            rid = self.rid
            self.rid += 1
            self.sock.sendall(b"ZR" + varint(module) + varint(method) + varint(rid) + b"".join(fields) + b"z")
        return self.wait_reply(rid, timeout)

    def wait_reply(self, rid, timeout=5):
        deadline = time.time() + timeout
        with self.cond:
            while rid not in self.replies:
                left = deadline - time.time()
                if left <= 0 or self.closed:
                    raise TimeoutError("no reply to rid %d" % rid)
                self.cond.wait(left)
            value = self.replies.pop(rid)
        if value is ErrorResponse:
            raise ErrorResponse()
        return value

    def get(self, triples, timeout=5):
        """triples: (module, oid, prop); one group per triple."""
        groups = [varint(p) + b"]" + varint(m) + varint(o) + b"]" for m, o, p in triples]
        self.sock.sendall(b"ZG" + b",".join(groups) + b"]z")
        return self.gets.get(timeout=timeout)

    def wait_for(self, predicate, timeout=5, what="condition"):
        """Waits until predicate(self) is true. The predicate runs without the
        lock, so it may itself make calls and property requests."""
        deadline = time.time() + timeout
        while not predicate(self):
            if time.time() > deadline:
                raise TimeoutError("timed out waiting for " + what)
            time.sleep(0.02)

    def change_values(self, module, oid, prop):
        with self.cond:
            return [v for m, o, p, v in self.changes if (m, o, p) == (module, oid, prop)]

    def wait_change(self, module, oid, prop, value, timeout=5):
        self.wait_for(lambda s: value in [v for m, o, p, v in s.changes if (m, o, p) == (module, oid, prop)],
                      timeout, "%d.%d.%d = %r" % (module, oid, prop, value))

    def close(self):
        try:
            self.sock.close()
        except OSError:
            pass


# ---- control socket ----


class Control:
    def __init__(self, path, timeout=5):
        deadline = time.time() + timeout
        while True:
            try:
                self.sock = socket.socket(socket.AF_UNIX)
                self.sock.connect(str(path))
                break
            except OSError:
                self.sock.close()
                if time.time() > deadline:
                    raise
                time.sleep(0.05)
        self.sock.settimeout(timeout)
        self.f = self.sock.makefile("rwb")

    def __call__(self, line):
        self.f.write((line + "\n").encode())
        self.f.flush()
        return self.f.readline().decode().strip()

    def fields(self, line):
        reply = self(line)
        assert reply.startswith("OK"), reply
        return dict(w.split("=", 1) for w in reply.split()[1:] if "=" in w)


# ---- voice ----


def abstract_name(key):
    name = b"\0" + key.encode()
    return name + b"\0" * (108 - len(name))


def ulaw(sample):
    bias, clip = 0x84, 32635
    sign = 0x80 if sample < 0 else 0
    mag = min(abs(sample), clip) + bias
    exponent = 7
    mask = 0x4000
    while not mag & mask and exponent > 0:
        exponent -= 1
        mask >>= 1
    mantissa = (mag >> (exponent + 3)) & 0x0F
    return ~(sign | (exponent << 4) | mantissa) & 0xFF


def ulaw_decode(code):
    code = ~code & 0xFF
    sign, exponent, mantissa = code & 0x80, (code >> 4) & 7, code & 0x0F
    mag = (((mantissa << 3) + 0x84) << exponent) - 0x84
    return -mag if sign else mag


def goertzel(samples, freq, rate=8000):
    coeff = 2 * math.cos(2 * math.pi * freq / rate)
    s1 = s2 = 0.0
    for x in samples:
        s1, s2 = x + coeff * s1 - s2, s1
    return s1 * s1 + s2 * s2 - coeff * s1 * s2


class VoiceHost:
    """A test voice host: serves the runtime's calls at
    /NAME/multirtp_from_skypekit_key with one PCMU codec and records them;
    sends RTP to the runtime through /NAME/multirtp_to_skypekit_key."""

    def __init__(self, account):
        self.account = account
        self.listen = socket.socket(socket.AF_UNIX)
        self.listen.bind(abstract_name("/%s/multirtp_from_skypekit_key" % account))
        self.listen.listen(1)
        self.calls = []  # (method, fields)
        self.packets = {}  # channel -> [rtp bytes]
        self.next_channel = 0
        self.cb = None
        self.cond = threading.Condition()
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        conn, _ = self.listen.accept()
        self.listen.close()
        self.conn = conn
        cb = socket.socket(socket.AF_UNIX)
        cb.connect(abstract_name("/%s/multirtp_to_skypekit_key" % self.account))
        self.cb = cb
        st = Stream(conn)
        try:
            while True:
                if st.read(2) != b"ZR":
                    raise ValueError("not a call")
                st.varint()
                method, rid = st.varint(), st.varint()
                fields = read_message(st)
                with self.cond:
                    if method == 40:
                        self.packets.setdefault(fields[1], []).append(fields[2])
                    else:
                        self.calls.append((method, fields))
                    self.cond.notify_all()
                reply = self._answer(method, fields)
                if reply is not None:
                    conn.sendall(b"Zr" + varint(rid) + reply + b"z")
        except (EOFError, OSError, ValueError):
            pass

    def _answer(self, method, fields):
        if method in (23, 40):
            return None
        if method == 21:
            return f_u(1, 1) + f_i(2, 1)
        if method == 20:
            if fields.get(1, 0) != 0:
                return b"{" + varint(1) + b"z" + f_u(20, 0)
            codec = (f_s(10, "PCMU") + f_i(11, 0) + f_i(12, 8000) + f_i(13, 1) + b"[" + varint(14) +
                     b"".join(b"u" + varint(x) for x in (20, 20, 20, 20, 20, 0)) + b"]" + f_i(15, 20) +
                     f_i(16, 64000) + f_i(17, 64000) + f_u(18, 1) + b"z")
            return b"{" + varint(1) + codec + f_u(20, 1)
        if method == 10:
            ch = self.next_channel
            self.next_channel += 1
            return f_i(1, ch) + f_i(2, 1)
        return f_i(1, 1)

    def methods(self):
        with self.cond:
            return [m for m, _ in self.calls]

    def wait_for(self, predicate, timeout=5, what="voice condition"):
        deadline = time.time() + timeout
        with self.cond:
            while not predicate(self):
                left = deadline - time.time()
                if left <= 0:
                    raise TimeoutError("timed out waiting for " + what)
                self.cond.wait(min(left, 0.2))

    def send_tone(self, channel, freq, packets, seq=0):
        """SendRTPPacket calls with a PCMU tone, 20 ms each, 20 ms apart."""
        phase = 0
        for n in range(packets):
            payload = bytearray()
            for _ in range(160):
                payload.append(ulaw(int(8000 * math.sin(phase))))
                phase += 2 * math.pi * freq / 8000
            rtp = struct.pack("!BBHII", 0x80, 0, (seq + n) & 0xFFFF, n * 160, 0x1234) + bytes(payload)
            self.cb.sendall(b"ZR\x00\x01" + varint(n) + f_i(1, channel) + f_bin(2, rtp) + b"z")
            time.sleep(0.02)
