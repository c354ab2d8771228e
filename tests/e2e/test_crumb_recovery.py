"""A download from a scripted uploader that spoils one crumb once, on a file that arrives in
about a second: the client asks for the hash sets as soon as it is connected, finds the bad
crumb by its hash and fetches only that crumb again. When the uploader answers no request for
the hash sets until it has sent the whole file, the whole-file check fails first; the client
keeps the data, goes back to the uploader at once for the hash sets and fetches again only
what they show bad. Either way the file completes, byte for byte, without a restart, and the
bytes fetched twice are at most one part."""

import os
import random
import socket
import sys
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import scripted_peer as sp  # noqa: E402
from console_session import check, main  # noqa: E402
from test_file_sources import downloading_from, md4  # noqa: E402
from test_uploads import wait_for_file  # noqa: E402
from waiting import EVENT_TIMEOUT  # noqa: E402

SIZE = 25000001
PART = 9728000
CRUMB = 486400
BLOCK = 40960
SPOILT = 25 * CRUMB + 1000  # a byte of crumb 25, in the second part

OP_DATA, OP_RANGES, OP_UPLOAD_REQUEST, OP_SLOT = 70, 71, 84, 85
OP_PART_HASH_REQUEST, OP_CRUMB_HASH_REQUEST = sp.PART_HASH_REQUEST, sp.CRUMB_HASH_REQUEST


class Uploader:
    """A peer with the whole file that grants a slot at once and sends every new range of a
    71; the first block that holds SPOILT goes out with that byte flipped, once. With
    answer_early it answers every request for the hash sets; otherwise only those that come
    once it has sent every byte of the file."""

    def __init__(self, data, answer_early):
        self.data = data
        self.answer_early = answer_early
        parts = [md4(data[i:i + PART]) for i in range(0, len(data), PART)]
        crumbs = [md4(data[i:i + CRUMB])[:8] for i in range(0, len(data), CRUMB)]
        self.file_hash = md4(b"".join(parts))
        self.parts = parts
        self.crumbs = crumbs
        self.user_hash = bytes(range(0x60, 0x70))
        self.lock = threading.Lock()
        self.served = 0  # bytes sent in 70s
        self.unsent = bytearray(b"\x01") * len(data)
        self.all_sent = False
        self.spoilt = False
        self.hash_requests = 0
        self.hash_answers = 0
        self.connections = 0
        self.failure = None
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.bind((sp.LOOPBACK, 0))
        self.listener.listen(4)
        self.port = self.listener.getsockname()[1]
        self.stopping = False
        threading.Thread(target=self.accept, daemon=True).start()

    def stop(self):
        self.stopping = True
        self.listener.close()

    def accept(self):
        while True:
            peer = sp.accept_next(self.listener, lambda: self.stopping)
            if not peer:
                return
            self.connections += 1
            threading.Thread(target=self.serve, args=(peer,), daemon=True).start()

    def serve(self, peer):
        peer.user_hash = self.user_hash
        outstanding = set()
        try:
            if not sp.answer_hello(peer, "uploader", self.port):
                return
            while not self.stopping:
                frame = peer.recv_frame(timeout=0.2)
                if frame is None:
                    continue
                op, body = frame
                if sp.answer_asks(peer, op, body, "spoilt.bin"):
                    continue
                if op in (OP_CRUMB_HASH_REQUEST, OP_PART_HASH_REQUEST):
                    with self.lock:
                        self.hash_requests += 1
                        answer = self.answer_early or self.all_sent
                        if answer:
                            self.hash_answers += 1
                    if answer:
                        peer.send(*sp.hash_sets_answer(op, self.file_hash, self.parts,
                                                       self.crumbs))
                elif op == OP_UPLOAD_REQUEST:
                    peer.send(OP_SLOT)
                elif op == OP_RANGES:
                    outstanding = self.ranges(peer, body, outstanding)
        except EOFError:
            pass
        except Exception as e:  # reported by the test's thread
            self.failure = repr(e)
        finally:
            peer.close()

    def ranges(self, peer, body, outstanding):
        """Sends the ranges of the 71 that its previous one did not hold; the pairs of this
        one."""
        check(body[:16] == self.file_hash, "71 for another file")
        pairs = set(sp.range_pairs(body))
        for start, end in sorted(pairs - outstanding):
            check(start < end <= len(self.data), "range %d-%d" % (start, end))
            for at in range(start, end, BLOCK):
                stop = min(end, at + BLOCK)
                block = bytearray(self.data[at:stop])
                with self.lock:
                    if not self.spoilt and at <= SPOILT < stop:
                        self.spoilt = True
                        block[SPOILT - at] ^= 0xFF
                peer.send(OP_DATA, sp.data_body(self.file_hash, at, block))
                with self.lock:
                    self.served += stop - at
                    self.unsent[at:stop] = bytes(stop - at)
            with self.lock:
                self.all_sent = self.all_sent or self.unsent.find(1) < 0
        return pairs


def download(answer_early):
    """Downloads the file from the uploader; (uploader, client output)."""
    data = random.Random(33).randbytes(SIZE)
    up = Uploader(data, answer_early)
    with downloading_from(up, up.file_hash) as (cwd, _, _, client):
        client.cmd("dllink tnv4://|file|spoilt.bin|%d|%s|" % (SIZE, up.file_hash.hex()))
        incoming = os.path.join(cwd, "incoming", "spoilt.bin")
        try:
            wait_for_file(incoming, data, 2 * EVENT_TIMEOUT,
                          lambda: check(up.failure is None, up.failure))
        except AssertionError as e:
            raise AssertionError(
                "%s; vd: %r; m 1 v: %r; connections %d, hash requests %d, answered %d, "
                "served %d" % (e, client.cmd("vd"), client.cmd("m 1 v"), up.connections,
                               up.hash_requests, up.hash_answers, up.served))
        client.quit()
        return up, client.transcript


def test_a_crumb_spoilt_once_costs_at_most_a_part():
    for answer_early in (True, False):
        up, out = download(answer_early)
        twice = up.served - SIZE
        print("hash sets %s: bytes fetched twice %d (crumb %d, part %d); connections %d"
              % ("at once" if answer_early else "after the whole file", twice, CRUMB, PART,
                 up.connections))
        check(up.spoilt, "the spoilt byte was never sent")
        check(0 < twice <= PART, "bytes fetched twice: %d" % twice)
        check("Corruption found in spoilt.bin" in out, out[-3000:])
        if answer_early:
            # The crumb's own hash found it: the whole-file check never failed.
            check(twice <= CRUMB, "bytes fetched twice: %d" % twice)
            check("Corrupted Download" not in out, out[-3000:])
        else:
            check("Corrupted Download: spoilt.bin" in out, out[-3000:])
            check(up.hash_answers > 0, "the hash sets were never asked for after the check")


if __name__ == "__main__":
    main([test_a_crumb_spoilt_once_costs_at_most_a_part])
