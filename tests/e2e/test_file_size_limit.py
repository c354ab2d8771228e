"""A downloader under a file-size limit (as "ulimit -f" sets) smaller than the file: first
below one part, so that writing a part fails; then, raised on the running client, above a
part but below the file, so that the join fails. Each time the download goes to
"Insufficient Disk Space." and the client keeps running; once the limit is lifted the
download goes on by itself and completes byte for byte."""

import os
import resource
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from console_session import base_directory, main  # noqa: E402
from test_disk_full import FULL, MIB, SIZE, fetching, waits_for_room  # noqa: E402
from test_uploads import wait_for_file  # noqa: E402

NAME = "limit.bin"
BELOW_A_PART = 4 * MIB
BELOW_THE_FILE = 12 * MIB


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
    with base_directory() as a_dir, \
            fetching(a_dir, data, NAME, preexec=limit_files(BELOW_A_PART)) as (a, b, start):
        start()
        waits_for_room(a, NAME, "%s: %s" % (NAME, FULL))
        # Room for every part, not for the joined file. The space check comes once a
        # minute and lets the download go on.
        raise_limit(a.client, BELOW_THE_FILE)
        waits_for_room(a, NAME, "Error assembling complete file")
        raise_limit(a.client, resource.RLIM_INFINITY)
        wait_for_file(a.incoming(NAME), data, 150)


if __name__ == "__main__":
    main([test_a_file_size_limit_is_a_failed_write_and_the_download_resumes])
