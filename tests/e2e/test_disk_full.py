"""A downloader whose base directory lies in a small file system (a tmpfs mounted by the
test, so it needs root) that fills up mid-download: the download goes to "Insufficient
Disk Space.", the client keeps running, and once space is freed the download resumes by
itself and completes byte for byte."""

import contextlib
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from console_session import base_directory, check, main  # noqa: E402
from fake_index_server import FakeIndexServer  # noqa: E402
from test_uploads import PART, Peer, shared_file, wait_for_file  # noqa: E402
from wire import INT  # noqa: E402

NAME = "fill.bin"
SIZE = 2 * PART + 3000000
MIB = 1024 * 1024
# Room for the file and for the join, which holds one part twice for a moment.
FS_SIZE = 48 * MIB
# What is left free while the ballast is there: the download stops about halfway.
LEFT_FREE = 12 * MIB
NO_RESERVE = [(INT, b"resHD", 0)]
FULL = "Insufficient Disk Space."


@contextlib.contextmanager
def small_file_system(size):
    """A tmpfs of the size, mounted on a fresh directory; None when it cannot be mounted."""
    with base_directory() as where:
        done = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%d" % size, "tmpfs", where],
                              capture_output=True)
        if done.returncode != 0:
            yield None
            return
        try:
            yield where
        finally:
            subprocess.run(["umount", where], capture_output=True)
            if os.path.ismount(where):
                subprocess.run(["umount", "-l", where], capture_output=True)


@contextlib.contextmanager
def fetching(a_dir, data, name, preexec=None):
    """B shares the file and A, in a_dir with no disk reserve, starts its download from B;
    yields (A, B). Both quit at the end of a run that went through."""
    with base_directory() as b_dir, FakeIndexServer(name="A's") as a_server, \
            FakeIndexServer(name="B's") as b_server:
        shared = shared_file(b_dir, name, data)
        with Peer(b_dir, b_server) as b, \
                Peer(a_dir, a_server, settings=NO_RESERVE, preexec=preexec) as a:
            file_hash = b.share(shared, name)
            yield a, b, lambda: a.fetch(file_hash, name, len(data), b)
            a.quit()
            b.quit()


def waits_for_room(a, name, first_sign):
    """A prints the first sign, lists the download as out of space, keeps running and has
    not finished the file."""
    a.client.saw(first_sign, timeout=150)
    a.client.until("vd", lambda out: FULL in out)
    check(a.client.running(), "the client ended")
    check(not os.path.exists(a.incoming(name)), "complete without room for it")


def test_a_full_disk_waits_and_resumes_once_space_is_freed():
    data = os.urandom(SIZE)
    with small_file_system(FS_SIZE) as small:
        if small is None:
            print("skip: a small tmpfs cannot be mounted here (the test needs root)")
            return
        a_dir = os.path.join(small, "a")
        os.mkdir(a_dir)
        with fetching(a_dir, data, NAME) as (a, b, start):
            ballast = os.path.join(small, "ballast")
            st = os.statvfs(small)
            with open(ballast, "wb") as f:
                f.write(b"\0" * (st.f_bavail * st.f_frsize - LEFT_FREE))
            start()
            waits_for_room(a, NAME, "%s: %s" % (NAME, FULL))
            os.unlink(ballast)
            # The space check comes once a minute: the download goes on by itself.
            wait_for_file(a.incoming(NAME), data, 150)


if __name__ == "__main__":
    main([test_a_full_disk_waits_and_resumes_once_space_is_freed])
