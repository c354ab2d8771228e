"""A web source that never answers does not hold up a quit: the client, given a
download whose only source is a closed loopback port or a port that takes the
connection and then says nothing, ends on "q" while the source still waits."""

import os
import select
import socket
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from console_session import Piped, base_directory, check, main  # noqa: E402
from pref_file import free_port, with_free_door  # noqa: E402
from waiting import EVENT_TIMEOUT  # noqa: E402

HASH = "00112233445566778899aabbccddeeff"


def quits_promptly(url, connected=lambda: None):
    with base_directory() as cwd:
        with_free_door(cwd)
        with Piped(cwd, hashing_lines=True) as client:
            client.send("dllink tnv4://|file|web.bin|20000000|%s|" % HASH)
            client.expect("Downloading: web.bin")
            client.send("xsrc %s %s" % (HASH, url))
            client.expect("posted")
            # The source takes a turn or two at its connect before the quit.
            client.send("vd")
            client.expect("Total: ")
            check(b"No sources for: web.bin" not in client.seen,
                  "no source made of %s: %r" % (url, client.seen))
            connected()
            client.quit(question=None)


def test_a_closed_port_does_not_hold_up_the_quit():
    quits_promptly("http://127.0.0.1:%d/web.bin" % free_port())


def test_a_silent_server_does_not_hold_up_the_quit():
    with socket.socket() as silent:
        silent.bind(("127.0.0.1", 0))
        silent.listen(8)
        def connected():
            # The connection waits in the backlog, unanswered, when the quit comes.
            ready, _, _ = select.select([silent], [], [], EVENT_TIMEOUT)
            check(ready, "the source never connected")

        quits_promptly("http://127.0.0.1:%d/web.bin" % silent.getsockname()[1], connected)


if __name__ == "__main__":
    main([test_a_closed_port_does_not_hold_up_the_quit,
          test_a_silent_server_does_not_hold_up_the_quit])
