"""One download fed by three real clients at once: each shares the file, the downloader's
index server names all three, all three are listed as its sources and send it bytes, and
the file arrives whole."""

import contextlib
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from console_session import base_directory, check, main  # noqa: E402
from fake_index_server import FakeIndexServer  # noqa: E402
from pref_file import with_free_door  # noqa: E402
from server_session import Client  # noqa: E402
from test_share import expected_hashes  # noqa: E402
from test_uploads import Peer, sent_copies, shared_file, wait_for_file  # noqa: E402

SIZE = 8 * 1024 * 1024 + 1234
FILE = "three.bin"
NAMES = ("one", "two", "three")


class Sharer:
    """A client that shares the file and talks to no index server: the downloader learns of
    it from its own."""

    def __init__(self, cwd, name, data):
        self.cwd = cwd
        self.door = with_free_door(cwd)
        shared = shared_file(cwd, FILE, data)
        self.client = Client(cwd)
        self.client.cmd("name %s" % name)
        # Slow enough that the download needs all three at once.
        self.client.cmd("dumax 0 100")
        self.client.cmd("a %s" % shared)
        self.client.until("vf", FILE, timeout=60)

    def quit(self):
        self.client.quit()


def sources_listed(peer):
    """The user names "m 1 v" lists as sources."""
    return {line.split("user: ", 1)[1].split("\t")[0]
            for line in peer.client.cmd("m 1 v").splitlines() if ") user: " in line}


def test_one_download_from_three_sharers_at_once():
    data = os.urandom(SIZE)
    file_hash = expected_hashes(data)[0]
    with base_directory() as a_dir, base_directory() as d1, base_directory() as d2, \
            base_directory() as d3, FakeIndexServer(name="A's") as server:
        sharers = []
        with contextlib.ExitStack() as running:
            for cwd, name in zip((d1, d2, d3), NAMES):
                sharers.append(Sharer(cwd, name, data))
                running.enter_context(sharers[-1].client)
            a = running.enter_context(Peer(a_dir, server))
            # A download limit far above the three sharers' rates: without one, the
            # client opens no more sources once its rate reaches the fastest it has seen,
            # and two sharers alone can hold it there to the end.
            a.client.cmd("dumax 100000 0")
            a.fetch(file_hash, FILE, SIZE, *sharers)
            seen = set()
            wait_for_file(a.incoming(FILE), data, 150, lambda: seen.update(sources_listed(a)))
            check(seen >= set(NAMES), "sources listed: %r" % sorted(seen))
            a.quit()
            for s in sharers:
                s.quit()
            # Each of them sent a share of the bytes.
            sent = [sent_copies(s, FILE) for s in sharers]
            print("copies sent: %s" % ", ".join("%.3f" % c for c in sent))
            check(all(c > 0 for c in sent), "not every sharer sent bytes: %r" % sent)


if __name__ == "__main__":
    main([test_one_download_from_three_sharers_at_once])
