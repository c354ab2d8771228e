"""Shared files whose records name their own bytes: two files of one name, size and time
in two directories, each served under its own hash; a rescan of a share where nothing
changed, during which a peer asking for the files never hears "no such file"; and a
finished download whose record keeps the upload priority given while it downloaded and
is in known.met at once, so that the next start reads nothing."""

import os
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from byte_compare import check_bytes  # noqa: E402
from console_session import base_directory, check, main  # noqa: E402
from fake_index_server import FakeIndexServer  # noqa: E402
from md4 import md4  # noqa: E402
from pref_file import free_port, setting, with_free_door  # noqa: E402
from remote_controller import OPTIONS, Controller  # noqa: E402
from scripted_peer import (ADDRESS_DIFFERS, DATA, DIRECTORY_FILES,  # noqa: E402
                           DIRECTORY_FILES_REQUEST, FILE_STATUS, FILE_STATUS_REQUEST,
                           HELLO_ANSWER, NO_SUCH_FILE, QUEUE_RANK, REQUEST_RANGES, SLOT_GRANTED,
                           UPLOAD_REQUEST, ScriptedPeer, data_range, ranges_request)
import test_share  # noqa: E402
from test_share import CRUMB, PART, expected_hashes, parse_known, stored_paths, write  # noqa: E402
from test_uploads import Peer, shared_file, wait_for_file  # noqa: E402
from wire import Reader, parse_files, text as peer_string  # noqa: E402

UPLOAD_PRIORITY, SHARED_FILES_REQUEST, SHARED_FILES = 229, 224, 173
PRIORITY = b"\x13"


def filed_under(port, directory, name):
    """True when the client's door lists the file under the shared directory."""
    peer = ScriptedPeer.connect(port)
    try:
        peer.hello()
        peer.expect(HELLO_ANSWER)
        peer.send(DIRECTORY_FILES_REQUEST, peer_string(directory))
        # An empty directory gets no answer.
        while True:
            got = peer.recv_frame(timeout=2)
            if got is None:
                return False
            if got[0] == DIRECTORY_FILES:
                r = Reader(got[1])
                r.take(r.u16())
                return any(setting(t, test_share.NAME) == name.encode()
                           for _, t in parse_files(r.rest()))
    finally:
        peer.close()


def shared_priority(controller, file_hash):
    """The upload priority of the client's shared record of the file, None when it is not
    shared. The answer comes after everything the controller sent before."""
    mark = len(controller.got)
    controller.send(SHARED_FILES_REQUEST)
    body = controller.next_frame(SHARED_FILES, after=mark)
    tags_of = {h: t for h, t in parse_files(body)}
    return setting(tags_of[file_hash], PRIORITY) if file_hash in tags_of else None


def test_a_finished_download_keeps_its_priority_and_is_known_at_once():
    data = os.urandom(PART + 2 * CRUMB + 123)
    file_hash, parts, crumbs = expected_hashes(data)
    admin = free_port()
    with base_directory() as a_dir, base_directory() as b_dir, \
            FakeIndexServer(name="A's") as a_server, FakeIndexServer(name="B's") as b_server:
        shared = shared_file(b_dir, "big.bin", data)
        with Peer(b_dir, b_server) as b, \
                Peer(a_dir, a_server, first_run="pass zet quimbal\naport %d\n" % admin,
                     args=["-"]) as a:
            check(b.share(shared, "big.bin") == file_hash, "B hashed the file otherwise")
            # Slow enough that the priority comes while the download runs.
            a.client.cmd("dumax 800 0")
            a.fetch(file_hash, "big.bin", len(data), b)
            deadline = time.monotonic() + 60
            while a.transferred_kb() == 0:
                check(time.monotonic() < deadline, "the download never began")
                time.sleep(0.1)
            with Controller(admin) as c:
                c.login("zet", "quimbal")
                c.next_frame(OPTIONS)
                c.send(UPLOAD_PRIORITY, file_hash + bytes([2]))
                check(shared_priority(c, file_hash) in (None, 2), "the priority was not taken")
                check(not os.path.exists(a.incoming("big.bin")), "the download ended first")
                wait_for_file(a.incoming("big.bin"), data, 180)

                # known.met holds the finished file before any quit, with the download's
                # hashes and the priority.
                known = os.path.join(a_dir, "known.met")
                deadline = time.monotonic() + 30
                while not (os.path.exists(known) and "big.bin" in parse_known(known)):
                    check(time.monotonic() < deadline, "known.met never held the download")
                    time.sleep(0.1)
                record = parse_known(known)["big.bin"]
                check(record["hash"] == file_hash, "known.met: file hash")
                check(record["parts"] == parts, "known.met: part hashes")
                check(record["crumbs"] == crumbs, "known.met: crumb hashes")
                check(setting(record["tags"], PRIORITY) == 2, "known.met: upload priority")

                # The shared record, once the finished file is filed under incoming.
                incoming = os.path.join(a_dir, "incoming")
                deadline = time.monotonic() + 30
                while not filed_under(a.door, incoming, "big.bin"):
                    check(time.monotonic() < deadline, "the finished file was never filed")
                check(shared_priority(c, file_hash) == 2, "the completion lost the priority")
            a.quit()
            b.quit()

        # The next start reads nothing: other bytes of the same size behind the same time
        # keep the download's hash.
        path = a.incoming("big.bin")
        st = os.stat(path)
        with open(path, "r+b") as f:
            f.write(b"\0" * 4096)
        os.utime(path, ns=(st.st_atime_ns, st.st_mtime_ns))
        test_share.one_pass(a_dir)
        check(parse_known(known)["big.bin"]["hash"] == file_hash, "the file was read again")


def asker(port):
    """A scripted peer at the client's door, past the hello."""
    peer = ScriptedPeer.connect(port)
    peer.hello(name="asker")
    peer.expect(HELLO_ANSWER)
    return peer


def fetched(port, file_hash, size):
    """The whole file as the client's door sends it for the hash."""
    peer = asker(port)
    try:
        peer.send(UPLOAD_REQUEST, file_hash)
        peer.expect(SLOT_GRANTED, skip=(ADDRESS_DIFFERS, QUEUE_RANK))
        peer.send(REQUEST_RANGES, ranges_request(file_hash, [(0, size)]))
        got = bytearray(size)
        left = size
        while left > 0:
            body = peer.expect(DATA)
            check(body[:16] == file_hash, "data of another file")
            start, end, block = data_range(body)
            check(start < end <= size and len(block) == end - start, "a bad data frame")
            got[start:end] = block
            left -= end - start
        return bytes(got)
    finally:
        peer.close()


def test_files_of_one_name_in_two_directories_keep_their_own_bytes():
    with base_directory() as cwd:
        port = with_free_door(cwd)
        content = {}
        for d in ("S", "T"):
            os.mkdir(os.path.join(cwd, d))
            content[d] = os.urandom(1000)
            path = os.path.join(cwd, d, "same.bin")
            write(path, content[d])
            os.utime(path, (1700000000, 1700000000))
        write(os.path.join(cwd, "share.dat"),
              stored_paths([os.path.join(cwd, "S"), os.path.join(cwd, "T")]))
        # The second start finds both in known.met.
        for start in ("first start", "next start"):
            with test_share.Client(cwd) as client:
                client.wait_for_pass()
                for d, data in content.items():
                    check_bytes(data, fetched(port, md4(data), len(data)),
                                "%s, %s/same.bin" % (start, d))
                client.quit()


def test_a_rescan_keeps_unchanged_files_shared():
    with base_directory() as cwd:
        port = with_free_door(cwd)
        shared = os.path.join(cwd, "S")
        os.mkdir(shared)
        kept = []
        for i in range(40):
            data = ("unchanged %d " % i).encode() * (i + 1)
            write(os.path.join(shared, "u%02d" % i), data)
            kept.append(md4(data))
        write(os.path.join(cwd, "share.dat"), stored_paths([shared]))
        with test_share.Client(cwd) as client:
            client.wait_for_pass()
            # New files among them keep the rescan's pass busy reading.
            for i in range(10):
                write(os.path.join(shared, "n%02d" % i), os.urandom(2 * CRUMB))
            peer = asker(port)
            stop = threading.Event()
            answers = {FILE_STATUS: 0, NO_SUCH_FILE: 0}
            missing = set()
            failed = []

            def ask():
                """Asks for every unchanged file, round after round, until the pass is over."""
                try:
                    while not stop.is_set():
                        for h in kept:
                            peer.send(FILE_STATUS_REQUEST, h)
                        for _ in kept:
                            op, body = None, b""
                            while op not in answers:
                                got = peer.recv_frame()
                                check(got is not None, "no answer to a status request")
                                op, body = got
                            answers[op] += 1
                            if op == NO_SUCH_FILE:
                                missing.add(body[:16])
                except Exception as e:  # reported by the test
                    failed.append(e)
            thread = threading.Thread(target=ask)
            thread.start()
            try:
                client.send("a %s" % shared)
                client.wait_for_pass()
            finally:
                stop.set()
                thread.join(60)
            check(not failed, "the asker failed: %r" % failed)
            check(answers[FILE_STATUS] > 0, "no answers during the rescan")
            check(not missing, "%d of the unchanged files were not shared during the rescan "
                  "(%d answers)" % (len(missing), sum(answers.values())))
            # The rescan shared the new files too.
            peer.send(FILE_STATUS_REQUEST, md4(open(os.path.join(shared, "n00"), "rb").read()))
            peer.expect(FILE_STATUS)
            peer.close()
            client.quit()


if __name__ == "__main__":
    main([test_files_of_one_name_in_two_directories_keep_their_own_bytes,
          test_a_rescan_keeps_unchanged_files_shared,
          test_a_finished_download_keeps_its_priority_and_is_known_at_once])
