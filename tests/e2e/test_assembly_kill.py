"""A downloader killed while it joins the parts of a finished three-part download: at a
seeded random moment after the join began, SIGKILL; after a restart the file completes
byte for byte, and at most one part is fetched again."""

import os
import random
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from console_session import base_directory, check, main  # noqa: E402
from fake_index_server import FakeIndexServer  # noqa: E402
from test_uploads import PART, Peer, sent_copies, shared_file, wait_for_file  # noqa: E402

SIZE = 2 * PART + 6543210
NAME = "three.bin"
SEEDS = (11, 12, 13, 14, 15)
# The window after the join began in which the kill falls: the join and the check of
# the whole file take about that long here.
WINDOW_S = 0.15


def kill_during_join(a, rng):
    """Waits until the first part's file grows past the part (the join has begun), then
    kills A a seeded random while later. The moment as a text."""
    first = os.path.join(a.cwd, "temp", NAME, "1.1.part")
    deadline = time.monotonic() + 120
    while True:
        try:
            if os.stat(first).st_size > PART:
                break
        except OSError:
            pass
        # On a loaded machine the whole join may fall between two looks.
        if os.path.exists(a.incoming(NAME)):
            break
        check(time.monotonic() < deadline, "the join never began")
    began = time.monotonic()
    delay = rng.random() * WINDOW_S
    while time.monotonic() - began < delay:
        pass
    a.kill()
    left = sorted(os.listdir(os.path.join(a.cwd, "temp", NAME))) \
        if os.path.isdir(os.path.join(a.cwd, "temp", NAME)) else []
    sizes = ["%s:%d" % (n, os.path.getsize(os.path.join(a.cwd, "temp", NAME, n)))
             for n in left if n.endswith(".part")]
    done = os.path.exists(a.incoming(NAME))
    return "%.0f ms after the join began, %s%s" % (
        delay * 1000, " ".join(sizes) or "no part files", ", already complete" if done else "")


def test_a_kill_during_the_join_costs_at_most_one_part():
    data = os.urandom(SIZE)
    figures = []
    with base_directory() as b_dir, FakeIndexServer(name="B's") as b_server:
        shared = shared_file(b_dir, NAME, data)
        with Peer(b_dir, b_server) as b:
            file_hash = b.share(shared, NAME)
            sent_before = 0.0
            # A first run without a kill measures what one download costs B beyond the
            # file (ranges that crossed a request in flight, counted once more).
            overhead = None
            for seed in (None,) + SEEDS:
                with base_directory() as a_dir, FakeIndexServer(name="A's") as a_server:
                    with Peer(a_dir, a_server) as a:
                        a.fetch(file_hash, NAME, len(data), b)
                        if seed is not None:
                            moment = kill_during_join(a, random.Random(seed))
                            a.start()
                        wait_for_file(a.incoming(NAME), data, 90)
                        a.quit()
                # B counts the copies it sent when it quits; it starts again for the
                # next run in the same directory, sharing the same file.
                b.quit()
                sent = sent_copies(b, NAME)
                beyond = sent - sent_before - 1.0
                sent_before = sent
                b.client.close()
                b.start()
                b.published(NAME)
                if seed is None:
                    overhead = beyond
                    print("one download without a kill: %.3f parts beyond the file"
                          % (overhead * SIZE / PART))
                    continue
                again = round((beyond - overhead) * SIZE / PART, 3) + 0.0
                figures.append(again)
                print("seed %d: killed %s; parts fetched again: %.3f" % (seed, moment, again))
                check(again <= 1.05, "seed %d: %.3f parts fetched again" % (seed, again))
            b.quit()
    print("parts fetched again per run: %s" % ", ".join("%.3f" % f for f in figures))


if __name__ == "__main__":
    main([test_a_kill_during_the_join_costs_at_most_one_part])
