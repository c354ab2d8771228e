"""A web source that never answers does not hold up a quit: the client, given a
download whose only source is a closed loopback port or a port that takes the
connection and then says nothing, ends on "q" while the source still waits."""

import os
import select
import socket
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from console_session import base_directory, binary, check, main  # noqa: E402
from pref_file import free_port, with_free_door  # noqa: E402
from waiting import EVENT_TIMEOUT  # noqa: E402

HASH = "00112233445566778899aabbccddeeff"


def read_until(proc, text, seen, timeout=EVENT_TIMEOUT):
    deadline = time.monotonic() + timeout
    while text.encode() not in seen:
        left = deadline - time.monotonic()
        check(left > 0, "waited for %r, got %r" % (text, seen[-2000:]))
        ready, _, _ = select.select([proc.stdout], [], [], left)
        if ready:
            chunk = os.read(proc.stdout.fileno(), 65536)
            check(chunk, "output ended before %r: %r" % (text, seen[-2000:]))
            seen += chunk
    return seen


def quits_promptly(url, connected=lambda: None):
    with base_directory() as cwd:
        with_free_door(cwd)
        proc = subprocess.Popen([binary()], cwd=cwd, stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        try:
            def send(line):
                proc.stdin.write((line + "\n").encode())
                proc.stdin.flush()

            seen = b""
            send("dllink tnv4://|file|web.bin|20000000|%s|" % HASH)
            seen = read_until(proc, "Downloading: web.bin", seen)
            send("xsrc %s %s" % (HASH, url))
            seen = read_until(proc, "posted", seen)
            # The source takes a turn or two at its connect before the quit.
            send("vd")
            seen = read_until(proc, "Total: ", seen)
            check(b"No sources for: web.bin" not in seen, "no source made of %s: %r" % (url, seen))
            connected()
            send("q")
            send("y")
            status = proc.wait(timeout=EVENT_TIMEOUT)
            check(status == 0, "status %r" % status)
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()


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
