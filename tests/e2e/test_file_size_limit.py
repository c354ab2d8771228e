"""A downloader under a file-size limit (as "ulimit -f" sets) smaller than the file: first
below one part, so that writing a part fails; then, raised on the running client, above a
part but below the file, so that the join fails. Each time the download goes to
"Insufficient Disk Space." and the client keeps running; once the limit is lifted the
download goes on by itself and completes byte for byte."""

import os
import resource
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from console_session import base_directory, check, main  # noqa: E402
from fake_index_server import FakeIndexServer  # noqa: E402
from pref_file import INT  # noqa: E402
from test_uploads import PART, Peer, shared_file, wait_for_file  # noqa: E402

NAME = "limit.bin"
SIZE = 2 * PART + 3000000
MIB = 1024 * 1024
BELOW_A_PART = 4 * MIB
BELOW_THE_FILE = 12 * MIB
FULL = "Insufficient Disk Space."


def limit_files(size):
    """For the child: writes past size bytes fail. The hard limit stays open, so that the
    test can raise the soft one on the running client."""
    def apply():
        resource.setrlimit(resource.RLIMIT_FSIZE, (size, resource.RLIM_INFINITY))
    return apply


def raise_limit(client, size):
    resource.prlimit(client.proc.pid, resource.RLIMIT_FSIZE, (size, resource.RLIM_INFINITY))


def test_a_file_size_limit_is_a_failed_write_and_the_download_resumes():
    data = os.urandom(SIZE)
    with base_directory() as a_dir, base_directory() as b_dir, \
            FakeIndexServer(name="A's") as a_server, FakeIndexServer(name="B's") as b_server:
        shared = shared_file(b_dir, NAME, data)
        b = Peer(b_dir, b_server)
        a = Peer(a_dir, a_server, settings=[(INT, b"resHD", 0)],
                 preexec=limit_files(BELOW_A_PART))
        try:
            file_hash = b.share(shared, NAME)
            a.fetch(file_hash, NAME, len(data), b)
            a.client.saw("%s: %s" % (NAME, FULL), timeout=60)
            a.client.until("vd", lambda out: FULL in out, timeout=20)
            check(a.client.running(), "the client ended at the limit")
            # Room for every part, not for the joined file. The space check comes once
            # a minute and lets the download go on.
            raise_limit(a.client, BELOW_THE_FILE)
            a.client.saw("Error assembling complete file", timeout=150)
            a.client.until("vd", lambda out: FULL in out, timeout=20)
            check(a.client.running(), "the client ended while joining")
            check(not os.path.exists(a.incoming(NAME)), "complete past the limit")
            raise_limit(a.client, resource.RLIM_INFINITY)
            wait_for_file(a.incoming(NAME), data, 150)
            a.quit()
            b.quit()
        finally:
            a.client.close()
            b.client.close()


if __name__ == "__main__":
    main([test_a_file_size_limit_is_a_failed_write_and_the_download_resumes])
