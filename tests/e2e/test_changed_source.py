"""A sharer whose file changes on disk while a download takes it: it stops serving the file
under its old hash and tells the downloader at once, hashes the file again and publishes
the new hash; the downloader leaves that source (also when it is the only one, past three
quarters of the file) and completes the file from another one, without a restart and
without receiving a changed byte."""

import contextlib
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from console_session import base_directory, check, main  # noqa: E402
from fake_index_server import NAME, PUBLISH, FakeIndexServer  # noqa: E402
from test_uploads import Peer, shared_file, wait_for_file  # noqa: E402
from wire import parse_files  # noqa: E402

SIZE = 6 * 1024 * 1024 + 777
NAME_TEXT = "moving.bin"


def overwrite(path):
    """Same size, other bytes from the middle on."""
    with open(path, "r+b") as f:
        f.seek(SIZE // 2)
        f.write(os.urandom(SIZE - SIZE // 2))


def truncate(path):
    with open(path, "r+b") as f:
        f.truncate(SIZE // 2)


def source_status(peer, user):
    """The status "m 1 v" shows for the source of that user name, or None."""
    for line in peer.client.cmd("m 1 v").splitlines():
        if ") user: %s\t\tstatus: " % user in line:
            return line.split("status: ", 1)[1].split(" speed:")[0]
    return None


def wait_until(what, test, timeout):
    """Waits for test to hold; what (a text, or a function giving it) says what failed."""
    deadline = time.monotonic() + timeout
    while not test():
        if time.monotonic() > deadline:
            check(False, what() if callable(what) else what)
        time.sleep(0.2)


def republished(server, name, old_hash, timeout=60):
    """Waits for a publication of the name under another hash."""
    deadline = time.monotonic() + timeout
    while True:
        left = deadline - time.monotonic()
        check(left > 0, "%s was never published under a new hash" % name)
        for file_hash, file_tags in parse_files(server.expect(PUBLISH, timeout=left)):
            if any(n == NAME and v == name.encode() for _, n, v in file_tags):
                if file_hash != old_hash:
                    return


def first_source_changes(change, second=True):
    """B's file changes once A holds a share of it; with second, C shares it too."""
    data = os.urandom(SIZE)
    with base_directory() as a_dir, base_directory() as b_dir, base_directory() as c_dir, \
            FakeIndexServer(name="A's") as a_server, FakeIndexServer(name="B's") as b_server, \
            FakeIndexServer(name="C's") as c_server:
        b_file = os.path.join(shared_file(b_dir, NAME_TEXT, data), NAME_TEXT)
        c_shared = shared_file(c_dir, NAME_TEXT, data)
        places = [(b_dir, b_server, "bee"), (a_dir, a_server, "ay")]
        if second:
            places.insert(1, (c_dir, c_server, "cee"))
        peers = []
        with contextlib.ExitStack() as running:
            for cwd, server, name in places:
                peers.append(running.enter_context(Peer(cwd, server)))
                peers[-1].client.cmd("name %s" % name)
            b, a = peers[0], peers[-1]
            file_hash = b.share(os.path.dirname(b_file), NAME_TEXT)
            # B sends steadily (alone, faster to reach its last quarter); C hardly at all
            # until B's file has changed.
            b.client.cmd("dumax 0 %d" % (100 if second else 300))
            if second:
                c = peers[1]
                check(c.share(c_shared, NAME_TEXT) == file_hash, "the copies hashed otherwise")
                c.client.cmd("dumax 0 2")
                a.fetch(file_hash, NAME_TEXT, SIZE, b, c)
            else:
                a.fetch(file_hash, NAME_TEXT, SIZE, b)
            # Alone, B is left with the last quarter to send.
            share = SIZE // 4 if second else SIZE * 3 // 4
            wait_until("A never took its share from B",
                       lambda: source_status(a, "bee") == "Transferring"
                       and a.transferred_kb() * 1024 >= share, 120)
            change(b_file)
            if second:
                c.client.cmd("dumax 0 0")
            # Long before a silent source's idle limit.
            wait_until(lambda: "B's source stayed transferring: %r" % a.client.cmd("m 1 v"),
                       lambda: source_status(a, "bee") != "Transferring", 60)
            if second:
                wait_for_file(a.incoming(NAME_TEXT), data, 120)
            seen = a.client.transcript + a.client.seen
            check("Corruption" not in seen, "A received changed bytes: %r" %
                  [line for line in seen.splitlines() if "Corruption" in line])
            if change is overwrite:
                republished(b_server, NAME_TEXT, file_hash)
            for p in peers:
                p.quit()


def test_a_source_whose_file_is_overwritten_is_left_for_the_other():
    first_source_changes(overwrite)


def test_a_source_whose_file_is_truncated_is_left_for_the_other():
    first_source_changes(truncate)


def test_a_lone_source_past_three_quarters_whose_file_is_truncated_is_left_at_once():
    first_source_changes(truncate, second=False)


if __name__ == "__main__":
    main([test_a_source_whose_file_is_overwritten_is_left_for_the_other,
          test_a_source_whose_file_is_truncated_is_left_for_the_other,
          test_a_lone_source_past_three_quarters_whose_file_is_truncated_is_left_at_once])
