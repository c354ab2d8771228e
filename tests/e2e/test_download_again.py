"""A file downloaded again soon after its first download ended, by a cancel or by a
completion whose copy was then deleted: the new download asks the index server for sources
as any new download does, and the file completes."""

import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from console_session import check, main  # noqa: E402
from fake_index_server import GET_SOURCES  # noqa: E402
from test_uploads import sharer_and_downloader, wait_for_file  # noqa: E402

SIZE = 3 * 1024 * 1024 + 4321
# A source request comes at the earliest 7 s after a download starts.
ASKED_WITHIN = 45


def no_download_of(peer, name):
    peer.client.until("vd", lambda out: name not in out, timeout=20)


def wait_for_bytes(peer):
    deadline = time.monotonic() + 60
    while peer.transferred_kb() == 0:
        check(time.monotonic() < deadline, "no bytes arrived")
        time.sleep(0.2)


def fetch_asking(a, b, file_hash, name, data):
    """A starts the download; its index server is asked for sources."""
    a.fetch(file_hash, name, len(data), b)
    a.server.expect(GET_SOURCES, timeout=ASKED_WITHIN)


def test_a_cancelled_download_started_again_asks_for_sources():
    data = os.urandom(SIZE)
    with sharer_and_downloader("again.bin", data) as (a, b, file_hash):
        # Slow, so the cancel comes while bytes arrive.
        a.client.cmd("dumax 20 0")
        fetch_asking(a, b, file_hash, "again.bin", data)
        wait_for_bytes(a)
        a.client.cmd("m 1 c")
        no_download_of(a, "again.bin")
        a.client.cmd("dumax 0 0")
        fetch_asking(a, b, file_hash, "again.bin", data)
        wait_for_file(a.incoming("again.bin"), data, 60)
        a.quit()
        b.quit()


def test_a_completed_file_deleted_and_downloaded_again_asks_for_sources():
    data = os.urandom(SIZE)
    with sharer_and_downloader("twice.bin", data) as (a, b, file_hash):
        # Slow enough to be asked for sources before it completes: the request is still
        # pending when the download ends.
        a.client.cmd("dumax 200 0")
        fetch_asking(a, b, file_hash, "twice.bin", data)
        wait_for_file(a.incoming("twice.bin"), data, 60)
        no_download_of(a, "twice.bin")
        a.client.cmd("dumax 0 0")
        os.remove(a.incoming("twice.bin"))
        # The rescan finds the copy gone: the file is no longer one A has.
        a.client.cmd("a %s" % os.path.join(a.cwd, "incoming"))
        a.client.until("vf", lambda out: "twice.bin" not in out, timeout=30)
        fetch_asking(a, b, file_hash, "twice.bin", data)
        wait_for_file(a.incoming("twice.bin"), data, 60)
        a.quit()
        b.quit()


if __name__ == "__main__":
    main([test_a_cancelled_download_started_again_asks_for_sources,
          test_a_completed_file_deleted_and_downloaded_again_asks_for_sources])
