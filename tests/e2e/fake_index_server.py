"""A scripted index server for the end-to-end tests, on loopback only.

One FakeIndexServer listens on TCP port P and UDP port P + 4 of 127.0.0.1 (P chosen by
the system). A test scripts its answers before the client talks to it and then checks
what the client sent:

    with FakeIndexServer() as server:
        server.reply(LOGIN, id_change(0x0100007F), server_status(10, 20))
        server.answer_pings(users=5, files=6)
        ... client: "n 127.0.0.1 %d" % server.port, "c" ...
        login = server.expect(LOGIN)            # the payload after the opcode
        server.send(*search_results([...]))     # a frame to the connected client

reply(op, *answers) sends the answers each time the client sends op over TCP;
udp_reply(op, fn) calls fn(payload) for each datagram of that op and sends the datagrams
it returns. expect(op) and expect_udp(op) wait for the next message of that op that no
earlier expect took; received and received_udp keep everything in order. With
listening=False nothing accepts on P: a connect there is refused while the UDP side still
works. Answers and frames are (opcode, payload bytes) pairs; the builders below make them.
"""

import select
import socket
import threading
import time

from waiting import EVENT_TIMEOUT
from wire import MARKER, frame, record, split_frame, tag_string, text, u8, u16, u32

# Client to server (TCP).
LOGIN, ID_RECEIVED, PUBLISH, SEARCH, GET_SOURCES, SEARCH_TYPED, CALLBACK, MORE = (
    1, 20, 21, 22, 25, 26, 28, 33)
# Server to client (TCP).
OUT_OF_DATE, SERVER_LIST, SEARCH_RESULTS, STATUS, CALLBACK_REQUESTED, CALLBACK_FAILED = (
    5, 50, 51, 52, 53, 54)
MESSAGE, ID_CHANGE, SERVER_RECORD, FOUND_SOURCES, USERS = 56, 64, 65, 66, 67
# UDP.
UDP_STATUS_REQUEST, UDP_STATUS, UDP_SEARCH, UDP_SEARCH_RESULT = 150, 151, 152, 153
UDP_GET_SOURCES, UDP_SOURCES, UDP_CALLBACK_REQUEST, UDP_SEARCH_TYPED, UDP_CALLBACK_FAILED = (
    154, 155, 156, 157, 158)

# One-byte names of the special tags.
NAME, SIZE, TYPE, FORMAT, DESCRIPTION = b"\x01", b"\x02", b"\x03", b"\x04", b"\x0b"
PING, HISTORY, PREF, VERSION, PRIORITY = b"\x0c", b"\x0d", b"\x0e", b"\x11", b"\x13"

LOOPBACK = "127.0.0.1"


def server_record(ip, port, *encoded_tags):
    """A server in wire form: 16 skipped bytes, ip, port, tags."""
    return record(bytes(16), ip, port, *encoded_tags)


# Answers: (opcode, payload).
def id_change(client_id):
    return (ID_CHANGE, u32(client_id))


def server_status(users, files):
    return (STATUS, u32(users) + u32(files))


def server_message(message):
    return (MESSAGE, text(message))


def own_record(name, *more_tags, ip=0, port=0):
    return (SERVER_RECORD, server_record(ip, port, tag_string(NAME, name), *more_tags))


def server_list(servers):
    return (SERVER_LIST, u8(len(servers)) + b"".join(u32(ip) + u16(p) for ip, p in servers))


def search_results(files, more=0):
    return (SEARCH_RESULTS, u32(len(files)) + b"".join(files) + u8(more))


def callback_request(ip, port):
    return (CALLBACK_REQUESTED, u32(ip) + u16(port))


def found_sources(file_hash, sources, op=FOUND_SOURCES):
    return (op, file_hash + u8(len(sources)) + b"".join(u32(i) + u16(p) for i, p in sources))


class Inbox:
    """Messages in arrival order; expect takes the next one of an opcode."""

    def __init__(self):
        self.cond = threading.Condition()
        self.all = []
        self.taken = set()

    def add(self, op, payload):
        with self.cond:
            self.all.append((op, payload))
            self.cond.notify_all()

    def expect(self, op, timeout, what):
        deadline = time.monotonic() + timeout
        with self.cond:
            while True:
                for i, (o, p) in enumerate(self.all):
                    if o == op and i not in self.taken:
                        self.taken.add(i)
                        return p
                left = deadline - time.monotonic()
                if left <= 0:
                    raise AssertionError("%s: no opcode %d within %.0f s; got %r" %
                                         (what, op, timeout, [o for o, _ in self.all]))
                self.cond.wait(left)

    def ops(self):
        with self.cond:
            return [o for o, _ in self.all]


class FakeIndexServer:
    def __init__(self, listening=True, name="fake"):
        self.name = name
        self.replies = {}
        self.udp_replies = {}
        self.inbox = Inbox()
        self.udp_inbox = Inbox()
        self.client = None
        self.client_lock = threading.Lock()
        self.connections = 0
        self.peers = []  # the address each connection came from
        self.annex = None
        self.stopping = False
        self.tcp, self.udp = self._bind_pair()
        self.port = self.tcp.getsockname()[1]
        if listening:
            self.tcp.listen(4)
        self.listening = listening
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    @staticmethod
    def _bind_pair():
        """A TCP port P whose P + 4 is free for UDP too."""
        for _ in range(200):
            t = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            t.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            t.bind((LOOPBACK, 0))
            p = t.getsockname()[1]
            if p + 4 <= 65535:
                u = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
                try:
                    u.bind((LOOPBACK, p + 4))
                    return t, u
                except OSError:
                    u.close()
            t.close()
        raise RuntimeError("no free pair of ports P and P + 4")

    # Scripting.
    def reply(self, op, *answers):
        self.replies[op] = list(answers)

    def udp_reply(self, op, fn):
        self.udp_replies[op] = fn

    def answer_pings(self, users=0, files=0):
        """Answers every status request at once, echoing its challenge."""
        self.udp_reply(UDP_STATUS_REQUEST,
                       lambda p: [(UDP_STATUS, p[:4] + u32(users) + u32(files))])

    # Checking.
    def expect(self, op, timeout=EVENT_TIMEOUT):
        return self.inbox.expect(op, timeout, "%s TCP" % self.name)

    def expect_udp(self, op, timeout=EVENT_TIMEOUT):
        return self.udp_inbox.expect(op, timeout, "%s UDP" % self.name)

    @property
    def received(self):
        return self.inbox.ops()

    @property
    def received_udp(self):
        return self.udp_inbox.ops()

    def wait_connections(self, n, timeout=EVENT_TIMEOUT):
        deadline = time.monotonic() + timeout
        while self.connections < n:
            if time.monotonic() > deadline:
                raise AssertionError("%s: %d connections, wanted %d" %
                                     (self.name, self.connections, n))
            time.sleep(0.02)

    def wait_closed(self, timeout=EVENT_TIMEOUT):
        """Waits until the client has closed its connection."""
        deadline = time.monotonic() + timeout
        while True:
            with self.client_lock:
                if self.client is None:
                    return
            if time.monotonic() > deadline:
                raise AssertionError("%s: the client kept its connection" % self.name)
            time.sleep(0.02)

    # Talking.
    def send(self, op, payload=b""):
        self.send_raw(frame(op, payload))

    def send_raw(self, data):
        with self.client_lock:
            if self.client is None:
                raise AssertionError("%s: no client connected" % self.name)
            self.client.sendall(data)

    def send_udp(self, op, payload=b"", to=None):
        target = to or self.annex
        if target is None:
            raise AssertionError("%s: the client's annex has not written yet" % self.name)
        self.udp.sendto(u8(MARKER) + u8(op) + payload, target)

    def drop_client(self):
        with self.client_lock:
            if self.client is not None:
                self.client.close()
                self.client = None

    def close(self):
        self.stopping = True
        self.thread.join(5)
        self.drop_client()
        self.tcp.close()
        self.udp.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    # The server's thread: accepts, reads frames and datagrams, answers.
    def _run(self):
        buffered = b""
        while not self.stopping:
            watch = [self.udp]
            if self.listening:
                watch.append(self.tcp)
            with self.client_lock:
                client = self.client
            if client is not None:
                watch.append(client)
            ready, _, _ = select.select(watch, [], [], 0.05)
            if self.tcp in ready:
                conn, peer = self.tcp.accept()
                self.peers.append(peer[0])
                with self.client_lock:
                    if self.client is not None:
                        self.client.close()
                    self.client = conn
                    self.connections += 1
                buffered = b""
            if self.udp in ready:
                data, sender = self.udp.recvfrom(65536)
                self.annex = sender
                if len(data) >= 2 and data[0] == MARKER:
                    self.udp_inbox.add(data[1], data[2:])
                    fn = self.udp_replies.get(data[1])
                    for op, payload in (fn(data[2:]) if fn else []):
                        self.udp.sendto(u8(MARKER) + u8(op) + payload, sender)
            if client is not None and client in ready:
                try:
                    chunk = client.recv(65536)
                except OSError:
                    chunk = b""
                if not chunk:
                    with self.client_lock:
                        if self.client is client:
                            self.client.close()
                            self.client = None
                    continue
                buffered += chunk
                buffered = self._frames(buffered, client)

    def _frames(self, data, client):
        while True:
            body, data = split_frame(data)
            if body is None:
                break
            op = body[0]
            self.inbox.add(op, body[1:])
            for answer_op, payload in self.replies.get(op, []):
                client.sendall(frame(answer_op, payload))
        return data
