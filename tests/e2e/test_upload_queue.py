"""A real client as the uploader with every slot taken: a downloader that waits in the queue
and lets its connection go is called back when a slot frees and gets the whole file; three
real clients downloading one file from a fourth whose upload limit keeps a queue all end
with the file."""

import os
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from byte_compare import check_bytes  # noqa: E402
from console_session import base_directory, check, main  # noqa: E402
from fake_index_server import NAME, PUBLISH, FakeIndexServer  # noqa: E402
from scripted_peer import (ADDRESS_DIFFERS, DATA, HELLO, HELLO_ANSWER, NO_SUCH_FILE,  # noqa: E402
                           QUEUE_RANK, REQUEST_RANGES, SLOT_GRANTED, UPLOAD_REQUEST,
                           ScriptedPeer, accept, data_range, listen, ranges_request)
from test_uploads import Peer, shared_file, wait_for_file, watching  # noqa: E402
from wire import Reader, parse_files  # noqa: E402

HOLDERS_FILE = 10000000
CALLED_FILE = 400000


def publish_all(peer, directory, names):
    """Shares the directory; {name: hash} once each name was published."""
    peer.client.cmd("a %s" % directory)
    found = {}
    deadline = time.monotonic() + 60
    while len(found) < len(names):
        left = deadline - time.monotonic()
        check(left > 0, "published only %r" % sorted(found))
        for file_hash, file_tags in parse_files(peer.server.expect(PUBLISH, timeout=left)):
            for _, n, v in file_tags:
                if n == NAME and v.decode() in names:
                    found[v.decode()] = file_hash
    return found


class Holder:
    """A scripted downloader that takes a slot, asks for a range that lasts, and drains
    what comes until the test lets it go."""

    def __init__(self, door, seed, file_hash):
        self.peer = ScriptedPeer.connect(door, timeout=30)
        self.peer.user_hash = bytes(range(seed, seed + 16))
        self.peer.hello(name="holder%d" % seed, port=seed)
        self.peer.send(UPLOAD_REQUEST, file_hash)
        self.peer.expect(SLOT_GRANTED, skip=(HELLO_ANSWER, QUEUE_RANK, ADDRESS_DIFFERS))
        self.peer.send(REQUEST_RANGES, ranges_request(file_hash, [(0, HOLDERS_FILE)]))
        self.peer.expect(DATA)
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self._drain, daemon=True)
        self.thread.start()

    def _drain(self):
        sock = self.peer.sock
        sock.settimeout(0.2)
        while not self.stop.is_set():
            try:
                if not sock.recv(1 << 16):
                    return
            except OSError:
                continue

    def leave(self):
        self.stop.set()
        self.thread.join(5)
        self.peer.close()


def receive(peer, file_hash, size, timeout):
    """Asks for the whole file in one request of three ranges; the bytes that came."""
    third = size // 3
    pairs = [(0, third), (third, 2 * third), (2 * third, size)]
    peer.send(REQUEST_RANGES, ranges_request(file_hash, pairs))
    data = bytearray(size)
    have = 0
    deadline = time.monotonic() + timeout
    while have < size:
        left = deadline - time.monotonic()
        check(left > 0, "only %d of %d bytes came" % (have, size))
        try:
            got = peer.recv_frame(left)
        except EOFError:
            raise AssertionError("the uploader closed the connection after %d of %d bytes"
                                 % (have, size))
        check(got is not None, "only %d of %d bytes came" % (have, size))
        opcode, body = got
        if opcode != DATA:
            continue
        check(body[:16] == bytes(file_hash), "data of another file")
        start, end, block = data_range(body)
        check(start < end <= size and end - start == len(block),
              "a data packet for [%d, %d) with %d bytes" % (start, end, len(block)))
        data[start:end] = block
        have += end - start
    return bytes(data)


def called_back(then):
    """Both slots held, a downloader queued for called.bin lets its connection go, a holder
    leaves; then (peer, hashes, called.bin's bytes) runs on the connection the uploader
    opened to the downloader, once the slot was granted on it."""
    big = os.urandom(HOLDERS_FILE)
    small = os.urandom(CALLED_FILE)
    with base_directory() as u_dir, FakeIndexServer(name="U's") as server:
        shared = shared_file(u_dir, "held.bin", big)
        with open(os.path.join(shared, "called.bin"), "wb") as f:
            f.write(small)
        holders = []
        with Peer(u_dir, server) as u, listen(timeout=60) as door:
            try:
                hashes = publish_all(u, shared, ("held.bin", "called.bin"))
                # Two slots, both busy: a limit that the two uploads fill keeps the slot tuner
                # from adding a third.
                u.client.cmd("dumax 0 200")
                holders = [Holder(u.door, seed, hashes["held.bin"]) for seed in (0x10, 0x30)]

                waiting = ScriptedPeer.connect(u.door)
                waiting.user_hash = bytes(range(0x60, 0x70))
                waiting.hello(name="waiting", port=door.getsockname()[1])
                waiting.send(UPLOAD_REQUEST, hashes["called.bin"])
                rank = waiting.expect(QUEUE_RANK, skip=(HELLO_ANSWER, ADDRESS_DIFFERS))
                check(Reader(rank).u32() >= 1, "rank %r: not queued" % rank)
                # Queued after a long wait: the downloader lets its connection go and never
                # comes back by itself.
                waiting.close()

                holders.pop(0).leave()
                called = accept(door, timeout=60)
                called.user_hash = waiting.user_hash
                called.expect(HELLO)
                called.hello(name="waiting", port=door.getsockname()[1], answer=True)
                called.expect(SLOT_GRANTED, timeout=30, skip=(QUEUE_RANK, ADDRESS_DIFFERS))
                then(called, hashes, small)
                called.close()
                u.quit()
            finally:
                for h in holders:
                    h.leave()


def test_a_queued_peer_that_let_its_connection_go_is_called_back_and_served():
    def served(called, hashes, small):
        got = receive(called, hashes["called.bin"], len(small), 120)
        check_bytes(small, got, "the file shared and what the called-back peer got")
    called_back(served)


def test_a_called_back_peer_asking_for_a_file_not_shared_is_told_so():
    def refused(called, hashes, small):
        unknown = bytes([0xEE] * 16)
        called.send(REQUEST_RANGES, ranges_request(unknown, [(0, 1000)]))
        try:
            body = called.expect(NO_SUCH_FILE, timeout=30)
        except EOFError:
            raise AssertionError("the uploader closed the connection without an answer")
        check(body[:16] == unknown, "72 for another hash: %s" % body[:16].hex())
    called_back(refused)


def test_three_clients_download_one_file_from_a_fourth_that_keeps_a_queue():
    data = os.urandom(3000000)
    with base_directory() as u_dir, base_directory() as a_dir, base_directory() as b_dir, \
            base_directory() as c_dir, FakeIndexServer(name="U's") as u_server, \
            FakeIndexServer(name="A's") as a_server, FakeIndexServer(name="B's") as b_server, \
            FakeIndexServer(name="C's") as c_server:
        shared = shared_file(u_dir, "one.bin", data)
        with Peer(u_dir, u_server) as u, Peer(a_dir, a_server) as a, \
                Peer(b_dir, b_server) as b, Peer(c_dir, c_server) as c:
            downloaders = [a, b, c]
            file_hash = u.share(shared, "one.bin")
            # Slow enough that two uploads hold both slots while the third waits.
            u.client.cmd("dumax 0 300")
            for d in downloaders:
                d.fetch(file_hash, "one.bin", len(data), u)
            look, queued = watching(u.client, "vq", "\t1) ")
            for d in downloaders:
                wait_for_file(d.incoming("one.bin"), data, 150, look)
            check(queued, "no downloader ever waited in the queue")
            for p in downloaders + [u]:
                p.quit()


if __name__ == "__main__":
    main([test_a_queued_peer_that_let_its_connection_go_is_called_back_and_served,
          test_a_called_back_peer_asking_for_a_file_not_shared_is_told_so,
          test_three_clients_download_one_file_from_a_fourth_that_keeps_a_queue])
