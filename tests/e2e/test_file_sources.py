"""A download from a scripted uploader peer: the client learns of the peer from the fake
index server's answer to its source request, is told its place in the peer's queue and lets
the connection go, is called back with a slot, asks for the crumb hashes, fetches the
ranges, fetches again a crumb the peer spoiled, sees the peer go ("Gone") and come back,
and ends with the file in incoming, byte for byte."""

import contextlib
import os
import random
import socket
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import scripted_peer as sp  # noqa: E402
from byte_compare import check_bytes  # noqa: E402
from console_session import base_directory, check, main  # noqa: E402
from fake_index_server import GET_SOURCES, LOGIN, FakeIndexServer, found_sources, id_change  # noqa: E402
from md4 import md4 as python_md4  # noqa: E402
from pref_file import with_free_door  # noqa: E402
from server_session import Client  # noqa: E402
from test_server_protocol import connect  # noqa: E402
from waiting import EVENT_TIMEOUT  # noqa: E402
from wire import ip_value, u16, u32  # noqa: E402

SIZE = 25000000
PART = 9728000
CRUMB = 486400
GO_AFTER = 12000000  # bytes sent before the peer goes away
BLOCK = 40960
QUEUE_PLACE = 3  # the rank the uploader reports while the client waits

OP_DATA, OP_RANGES, OP_FILE_NAME_REQUEST, OP_FILE_NAME = 70, 71, 88, 89
OP_STATUS_REQUEST, OP_STATUS, OP_UPLOAD_REQUEST, OP_SLOT = 79, 80, 84, 85
OP_PART_HASH_REQUEST, OP_PART_HASHES, OP_CRUMB_HASHES, OP_CRUMB_HASH_REQUEST = 81, 82, 104, 105


def md4(data):
    """MD4 through the stock openssl tool when it offers it (much faster), else in Python."""
    try:
        done = subprocess.run(["openssl", "dgst", "-md4", "-binary", "-provider", "legacy",
                               "-provider", "default"], input=data, capture_output=True,
                              timeout=60)
        if done.returncode == 0 and len(done.stdout) == 16:
            return done.stdout
    except (OSError, subprocess.TimeoutExpired):
        pass
    return python_md4(data)


class Uploader:
    """The scripted peer that has the whole file: it answers the first 84 with its place in
    the queue (92), calls the client and grants the slot (85) once the test lets it, sends
    70 blocks for every new range of a 71, and can go away and come back on the same
    port."""

    def __init__(self, data, file_hash, part_hashes, crumb_hashes):
        self.data = data
        self.file_hash = file_hash
        self.part_hashes = part_hashes
        self.crumb_hashes = crumb_hashes
        self.user_hash = bytes(range(0x70, 0x80))
        self.lock = threading.Lock()
        self.upload_requests = 0
        self.hash_requests = 0
        self.asked = []  # (start, end) of every range served, in order
        self.sent = 0
        self.spoilt = None  # the offset of the byte flipped in the first range served
        self.queued = threading.Event()
        self.rank_sent = False
        self.ranked = threading.Event()  # the client closed the connection on its queue rank
        self.grant = threading.Event()
        self.granted = False
        self.looked = threading.Event()
        self.gone = threading.Event()
        self.connections = 0
        self.failure = None
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind((sp.LOOPBACK, 0))
        self.port = self.listener.getsockname()[1]
        self.listener.listen(4)
        self.stopping = False
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def come_back(self, door_port):
        """Calls the client at its door, as a peer that is back (or has a slot free) does."""
        peer = sp.ScriptedPeer.connect(door_port, timeout=60)
        self.thread = threading.Thread(target=self.call, args=(peer,), daemon=True)
        self.thread.start()

    def call(self, peer):
        try:
            self.connections += 1
            if self.serve(peer, outgoing=True):
                # Gone: the client finds nobody at the peer's port.
                self.listener.close()
        except Exception as e:  # reported by the test's thread
            self.failure = repr(e)

    def stop(self):
        self.stopping = True
        try:
            self.listener.close()
        except OSError:
            pass

    def run(self):
        try:
            while True:
                peer = sp.accept_next(self.listener, lambda: self.stopping)
                if not peer:
                    return
                self.connections += 1
                if self.serve(peer):
                    # Gone: the peer comes back by calling the client.
                    self.listener.close()
                    return
        except Exception as e:  # reported by the test's thread
            self.failure = repr(e)

    def serve(self, peer, outgoing=False):
        """True when the peer went away on purpose."""
        served = set()
        ranked = False
        peer.user_hash = self.user_hash
        try:
            if outgoing:
                peer.hello(name="uploader", port=self.port)
                peer.expect(sp.HELLO_ANSWER)
            elif not sp.answer_hello(peer, "uploader", self.port):
                return False
            while not self.stopping:
                frame = peer.recv_frame(timeout=0.2)
                if frame is None:
                    if self.queued.is_set() and self.grant.is_set() and not self.granted:
                        self.granted = True
                        peer.send(OP_SLOT)
                    continue
                op, body = frame
                # Asked for a partnership, it says no: the client goes on as an ordinary
                # downloader.
                if sp.answer_asks(peer, op, body, "big.bin"):
                    continue
                if op in (OP_CRUMB_HASH_REQUEST, OP_PART_HASH_REQUEST):
                    self.hash_requests += 1
                    peer.send(*sp.hash_sets_answer(op, self.file_hash, self.part_hashes,
                                                   self.crumb_hashes))
                elif op == OP_UPLOAD_REQUEST:
                    self.upload_requests += 1
                    self.granted = self.grant.is_set()
                    if self.granted:
                        peer.send(OP_SLOT)
                    elif not self.rank_sent:
                        # Its place in the queue, after which the client lets the
                        # connection go until the peer calls with a slot.
                        peer.send(sp.QUEUE_RANK, u32(QUEUE_PLACE))
                        self.rank_sent = ranked = True
                    self.queued.set()
                elif op == OP_RANGES:
                    if self.ranges(peer, body, served):
                        self.gone.set()
                        peer.close()
                        return True
        except EOFError:
            if ranked and not self.granted:
                self.ranked.set()
        finally:
            peer.close()
        return False

    def ranges(self, peer, body, served):
        """Sends every new range; True once it is time to go away."""
        check(body[:16] == self.file_hash, "71 for another file")
        for start, end in sp.range_pairs(body):
            if (start, end) in served:
                continue
            check(start < end <= SIZE, "range %d-%d" % (start, end))
            served.add((start, end))
            self.asked.append((start, end))
            for at in range(start, end, BLOCK):
                stop = min(end, at + BLOCK)
                block = bytearray(self.data[at:stop])
                if self.spoilt is None:
                    self.spoilt = at + 1000
                    block[1000] ^= 0xFF
                    # A peer that sent spoilt bytes sends them again when asked.
                    served.discard((start, end))
                peer.send(OP_DATA, sp.data_body(self.file_hash, at, block))
                self.sent += stop - at
            # The first range waits until the test has seen the source transferring.
            self.looked.wait(30)
            if not self.gone.is_set() and self.sent >= GO_AFTER:
                return True
        return False


@contextlib.contextmanager
def downloading_from(up, *file_hashes):
    """A client connected to an index server that names the uploader as the source of each
    of the files; (base directory, door port, index server, client). The uploader stops at
    the end, before the client does."""
    here = ip_value(sp.LOOPBACK)
    with base_directory() as cwd, FakeIndexServer() as server:
        door = with_free_door(cwd)
        server.reply(LOGIN, id_change(0x0100007F))
        server.reply(GET_SOURCES, *(found_sources(h, [(here, up.port)]) for h in file_hashes))
        with Client(cwd) as client:
            try:
                connect(client, server)
                client.saw("Connected to: 127.0.0.1\n")
                yield cwd, door, server, client
            finally:
                up.stop()


def sources_listing(client):
    return client.cmd("m 1 v")


def test_a_file_from_a_scripted_uploader():
    rnd = random.Random(19)
    data = rnd.randbytes(SIZE)
    part_hashes = [md4(data[i:i + PART]) for i in range(0, SIZE, PART)]
    crumb_hashes = [md4(data[i:i + CRUMB])[:8] for i in range(0, SIZE, CRUMB)]
    file_hash = md4(b"".join(part_hashes))
    check(len(part_hashes) == 3 and len(crumb_hashes) == 52, "units")
    up = Uploader(data, file_hash, part_hashes, crumb_hashes)
    with downloading_from(up, file_hash) as (cwd, door, server, client):
        client.cmd("dllink tnv4://|file|big.bin|%d|%s|" % (SIZE, file_hash.hex()))
        check(server.expect(GET_SOURCES, timeout=30)[:16] == file_hash, "source request")

        # Waiting in the peer's queue with its rank, the client lets the connection go;
        # the source listing gives the waiting source an empty row.
        check(up.queued.wait(30),
              "no upload request came; %r; connections %d; server saw %r; %r; %r"
              % (up.failure, up.connections, server.received, client.cmd("m 1 v"),
                 client.cmd("vd")))
        check(up.ranked.wait(30), "the client kept the connection after its queue rank")
        queued = sources_listing(client)
        check(queued == "Showing user, filename, and status for 1 sources\n\n",
              "queue place: %r" % queued)
        # A slot comes free: the peer calls the client, which asks for the crumb hashes
        # on the new connection; then the peer grants the slot.
        up.come_back(door)
        deadline = time.monotonic() + EVENT_TIMEOUT
        while up.hash_requests == 0 and time.monotonic() < deadline:
            time.sleep(0.1)
        check(up.hash_requests > 0, "the crumb hashes were never asked for")
        up.grant.set()

        client.until("m 1 v", "status: Transferring", timeout=30)
        up.looked.set()
        check(up.gone.wait(90), "the transfer never got far; %r" % up.failure)
        client.until("m 1 v", "status: Gone", timeout=30)
        up.come_back(door)
        incoming = os.path.join(cwd, "incoming", "big.bin")
        deadline = time.monotonic() + 120
        while not os.path.exists(incoming) and time.monotonic() < deadline:
            check(up.failure is None, up.failure)
            time.sleep(0.2)
        check(os.path.exists(incoming),
              "the file never reached incoming; vd: %r; m 1 v: %r; server saw %r;"
              " connections %d; %r"
              % (client.cmd("vd"), client.cmd("m 1 v"), server.received, up.connections,
                 up.failure))
        with open(incoming, "rb") as f:
            check_bytes(data, f.read(), "the file shared and the file in incoming")
        # The crumb with the spoilt byte failed its check and was fetched again, once.
        again = [r for r in up.asked if r[0] <= up.spoilt < r[1]]
        check(len(again) == 2, "the spoilt byte was asked for in %r" % again)
        # The client's, the peer's call with the slot and its call when it is back.
        check(up.connections == 3, "connections: %d" % up.connections)
        # One upload request before the rank and one after "Gone": the call with the slot
        # finds the client already asked.
        check(up.upload_requests == 2, "upload requests: %d" % up.upload_requests)
        client.quit()


def test_two_files_of_one_peer_make_one_upload_request():
    """Also: a bad status closes a connection; partner requests are accepted or denied."""
    a_hash, b_hash = bytes(range(0x10, 0x20)), bytes(range(0x20, 0x30))
    up = Uploader(b"", a_hash, [], [])
    with downloading_from(up, a_hash, b_hash) as (cwd, door, server, client):
        client.cmd("dllink tnv4://|file|three.bin|20000000|%s|" % a_hash.hex())
        client.cmd("dllink tnv4://|file|small.bin|1000000|%s|" % b_hash.hex())
        check(up.queued.wait(30), "no upload request came; %r" % up.failure)
        # Both sources wait in the peer's queue (their rows are left blank).
        for n in (1, 2):
            client.until("m %d v" % n, "for 1 sources\n\n", timeout=30)
        check(up.upload_requests == 1, "upload requests: %d" % up.upload_requests)

        # A status of 7 bits for a file of 3 parts (and 42 crumbs) closes the connection.
        liar = sp.ScriptedPeer.connect(door)
        liar.user_hash = bytes(range(0x90, 0xA0))
        liar.hello(name="liar")
        liar.expect(sp.HELLO_ANSWER)
        liar.send(OP_STATUS, a_hash + u16(7) + b"\x7f")
        check(liar.closed(), "a 7-bit status for a 3-part file was taken")
        liar.close()

        # A partner request for the highest download, with room: accepted; for a file
        # the client does not download: denied.
        partner = sp.ScriptedPeer.connect(door)
        partner.user_hash = bytes(range(0xA0, 0xB0))
        partner.hello(name="partner")
        partner.expect(sp.HELLO_ANSWER)
        partner.send(sp.PARTNER_REQUEST, bytes(range(0x40, 0x50)))
        check(partner.expect(sp.PARTNER_DENIED) == bytes(range(0x40, 0x50)), "denied")
        partner.send(sp.PARTNER_REQUEST, a_hash)
        # The new trial partner is asked its name, the hash sets and its status on the way.
        asks = (sp.ADDRESS_DIFFERS, OP_FILE_NAME_REQUEST, OP_CRUMB_HASH_REQUEST,
                OP_STATUS_REQUEST, OP_RANGES)
        check(partner.expect(sp.PARTNER_ACCEPTED, skip=asks) == a_hash, "accepted")
        check("0) partner" in client.cmd("vpart"), "vpart lacks the partner")
        partner.close()
        client.quit()


if __name__ == "__main__":
    main([test_a_file_from_a_scripted_uploader,
          test_two_files_of_one_peer_make_one_upload_request])
