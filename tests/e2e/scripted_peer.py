"""A scripted peer for the tests (standard library only, loopback only).

It speaks the frames of the client-to-client protocol: byte 0xE3, u32 little-endian
payload length, payload whose first byte is the opcode. It says hello with a good or a
bad checksum trailer and sends any opcode, well-formed or not, on demand. Every wait is
bounded.

    peer = ScriptedPeer.connect(port)
    peer.hello(name="alice")             # opcode 1; the client answers 76
    opcode, body = peer.expect(76)
    peer.send(98)                        # ping
    peer.expect(99)
"""

import select
import socket
import time

from waiting import EVENT_TIMEOUT
from wire import (HASH_SIZE, Reader, file_record, frame, ip_value, record, split_frame,
                  tag_int, tag_string, text, u16, u32)

VERSION = 10501
LOOPBACK = "127.0.0.1"

# Opcodes used by the tests; the client's own table is the reference.
HELLO = 1
DATA = 70
REQUEST_RANGES = 71
NO_SUCH_FILE = 72
HELLO_ANSWER = 76
CHAT = 78
FILE_STATUS_REQUEST = 79
FILE_STATUS = 80
UPLOAD_REQUEST = 84
SLOT_GRANTED = 85
OUT_OF_PARTS = 87
QUEUE_RANK = 92
NO_CHAT = 83
FILE_NAME_REQUEST = 88
FILE_NAME = 89
CONNECT_REQUEST = 90
QUEUE_RANK = 92
DIRECTORY_LIST_REQUEST = 93
DIRECTORY_FILES_REQUEST = 94
DIRECTORY_LIST = 95
DIRECTORY_FILES = 96
NO_FILE_VIEW = 97
PART_HASH_REQUEST = 81
PART_HASHES = 82
CRUMB_HASHES = 104
CRUMB_HASH_REQUEST = 105
PING = 98
PING_ANSWER = 99
PARTNER_REQUEST = 101
PARTNER_DENIED = 102
PARTNER_ACCEPTED = 103
ADDRESS_DIFFERS = 107


def _truncated_rem(a, m):
    """The remainder with the sign of the dividend, as C's % gives it."""
    r = abs(a) % m
    return -r if a < 0 else r


def trailer(body, door_port):
    """The 4 trailer bytes that follow body (opcode byte first) in a hello or a hello
    answer, seeded with the sender's door port read as a signed 16-bit number."""
    s = door_port - 0x10000 if door_port & 0x8000 else door_port
    p = bytearray(body) + bytearray(4)
    n = len(p)
    c = p[0]
    d = 0
    for i in range(n - 1):
        s = _truncated_rem(s * 8147 + 6281, 255)
        t = (p[i] + 7529) % 255
        c = ((((c + d) & 0xFF) ^ t) - s) & 0xFF
        d = c
        if i >= n - 5:
            p[i + 1] = c
    return bytes(p[n - 4:])


def user_record(user_hash, ip, port, name="scripted", version=VERSION, pr=1, tags=()):
    """A user record in its wire form: hash, id, port, then the tag list."""
    all_tags = [tag_string(b"\x01", name), tag_int(b"\x11", version)]
    if pr is not None:
        all_tags.append(tag_int(b"pr", pr))
    all_tags.extend(tags)
    return record(user_hash, ip, port, *all_tags)


def named_file(file_hash, name, size):
    """A file record with the name and size tags."""
    return file_record(file_hash, tag_string(b"\x01", name), tag_int(b"\x02", size))


def directory_list(names):
    """The body of opcode 95."""
    return u32(len(names)) + b"".join(text(n) for n in names)


def directory_files(directory, records):
    """The body of opcode 96: the directory, then the file list."""
    return text(directory) + u32(len(records)) + b"".join(records)


def hello_payload(user_hash, ip, port, name="scripted", server_ip=0, server_port=0,
                  answer=False, good_trailer=True, seed_port=None, pr=1, tags=()):
    """Opcode 1 (or 76 with answer) with the record, the server and the trailer. A bad
    trailer has its last byte flipped; seed_port seeds the trailer with another port."""
    body = bytes([HELLO_ANSWER if answer else HELLO])
    if not answer:
        body += bytes([HASH_SIZE])
    body += user_record(user_hash, ip, port, name, pr=pr, tags=tags)
    body += u32(server_ip) + u16(server_port)
    t = bytearray(trailer(body, port if seed_port is None else seed_port))
    if not good_trailer:
        t[3] ^= 0xFF
    return body + bytes(t)


def ranges_request(file_hash, pairs):
    """The body of opcode 71: the hash, three starts, three ends (pairs not given are
    0, 0)."""
    pairs = list(pairs) + [(0, 0)] * (3 - len(pairs))
    return bytes(file_hash) + b"".join(u32(s) for s, _ in pairs) + b"".join(
        u32(e) for _, e in pairs)


def range_pairs(body):
    """The (start, end) pairs of a range request (71) body, the file hash first; pairs not
    in use (end 0) are left out."""
    r = Reader(body)
    r.hash()
    starts = [r.u32() for _ in range(3)]
    ends = [r.u32() for _ in range(3)]
    return [(s, e) for s, e in zip(starts, ends) if e]


def data_body(file_hash, start, block):
    """The body of opcode 70: the hash, where the block starts and ends, the block."""
    return bytes(file_hash) + u32(start) + u32(start + len(block)) + bytes(block)


def data_range(body):
    """(start, end, bytes) of a data (70) body, the file hash first."""
    r = Reader(body)
    r.hash()
    start, end = r.u32(), r.u32()
    return start, end, r.rest()


def hash_sets_answer(op, file_hash, part_hashes, crumb_hashes):
    """The frame (opcode, body) that answers a request for the hash sets: part and crumb
    hashes for 105, part hashes for 81."""
    if op == CRUMB_HASH_REQUEST:
        return CRUMB_HASHES, (file_hash + b"\x01" + b"".join(part_hashes) + b"\x01"
                              + b"".join(crumb_hashes))
    return PART_HASHES, file_hash + u16(len(part_hashes)) + b"".join(part_hashes)


def answer_asks(peer, op, body, file_name):
    """Answers what an uploader with the whole file answers alike: its name for the file
    (88), a complete file status (79: no bits and one pad byte), no partnership (101) and a
    ping. False for any other opcode."""
    if op == FILE_NAME_REQUEST:
        peer.send(FILE_NAME, body[:16] + text(file_name))
    elif op == FILE_STATUS_REQUEST:
        peer.send(FILE_STATUS, body[:16] + u16(0) + b"\0")
    elif op == PARTNER_REQUEST:
        peer.send(PARTNER_DENIED, body[:16])
    elif op == PING:
        peer.send(PING_ANSWER)
    else:
        return False
    return True


class ScriptedPeer:
    """One connection to (or from) the client, driven by the test."""

    def __init__(self, sock, timeout=EVENT_TIMEOUT):
        self.sock = sock
        self.timeout = timeout
        self.buffer = b""
        self.user_hash = bytes(range(0x40, 0x40 + HASH_SIZE))

    @classmethod
    def connect(cls, port, timeout=EVENT_TIMEOUT):
        deadline = time.monotonic() + timeout
        while True:
            try:
                sock = socket.create_connection((LOOPBACK, port), timeout=timeout)
                return cls(sock, timeout)
            except OSError:
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.05)

    def close(self):
        self.sock.close()

    def send_raw(self, data):
        self.sock.sendall(data)

    def send(self, opcode, body=b""):
        self.send_raw(frame(opcode, body))

    def hello(self, name="scripted", port=None, ip=None, good_trailer=True, answer=False,
              seed_port=None, pr=1):
        """Says hello with this connection's own address as the id, unless told another."""
        local_ip, local_port = self.sock.getsockname()
        payload = hello_payload(self.user_hash,
                                ip_value(local_ip) if ip is None else ip,
                                local_port if port is None else port, name,
                                answer=answer, good_trailer=good_trailer,
                                seed_port=seed_port, pr=pr)
        self.send_raw(frame(payload[0], payload[1:]))

    def _fill(self, deadline):
        left = deadline - time.monotonic()
        if left <= 0:
            return False
        ready, _, _ = select.select([self.sock], [], [], left)
        if not ready:
            return False
        try:
            data = self.sock.recv(65536)
        except (ConnectionResetError, OSError):
            data = b""
        if not data:
            raise EOFError("connection closed by the client")
        self.buffer += data
        return True

    def recv_frame(self, timeout=None):
        """(opcode, body) of the next frame; None when none came in time; EOFError once the
        client closed the connection."""
        deadline = time.monotonic() + (self.timeout if timeout is None else timeout)
        while True:
            payload, self.buffer = split_frame(self.buffer)
            if payload is not None:
                return payload[0], payload[1:]
            if not self._fill(deadline):
                return None

    def expect(self, opcode, timeout=None, skip=(ADDRESS_DIFFERS,)):
        """The body of the next frame, which must carry opcode (frames in skip are passed
        over)."""
        while True:
            got = self.recv_frame(timeout)
            if got is None:
                raise AssertionError("no frame %d arrived" % opcode)
            if got[0] in skip and got[0] != opcode:
                continue
            if got[0] != opcode:
                raise AssertionError("frame %d arrived instead of %d" % (got[0], opcode))
            return got[1]

    def quiet(self, timeout=0.5):
        """True when no frame arrives and the connection stays open for timeout."""
        try:
            return self.recv_frame(timeout) is None
        except EOFError:
            return False

    def closed(self, timeout=None):
        """True once the client closes the connection within timeout (frames before the
        close are dropped)."""
        deadline = time.monotonic() + (self.timeout if timeout is None else timeout)
        try:
            while self._fill(deadline):
                pass
        except EOFError:
            return True
        return False


def listen(timeout=EVENT_TIMEOUT):
    """A loopback listener on a port the system picks, for clients that connect out."""
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.bind((LOOPBACK, 0))
    server.listen(8)
    server.settimeout(timeout)
    return server


def accept_next(server, stopping, timeout=EVENT_TIMEOUT):
    """The next peer that connects, waited for in short polls so that stopping() ends the
    wait; None once it does or the listener is closed."""
    while not stopping():
        try:
            server.settimeout(0.2)
            sock, _ = server.accept()
        except socket.timeout:
            continue
        except OSError:
            return None
        return ScriptedPeer(sock, timeout)
    return None


def answer_hello(peer, name, port):
    """Waits for the hello of a peer that connected and answers it; False when the first
    frame is no hello."""
    op, _ = peer.recv_frame(timeout=EVENT_TIMEOUT) or (None, None)
    if op != HELLO:
        return False
    peer.hello(name=name, port=port, answer=True)
    return True


def accept(server, timeout=EVENT_TIMEOUT):
    server.settimeout(timeout)
    sock, _ = server.accept()
    return ScriptedPeer(sock, timeout)
