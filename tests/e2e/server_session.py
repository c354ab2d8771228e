"""The client on a pseudo-terminal as the server tests drive it: one command at a
time, waiting for a text with bounded retries, and the byte forms of server.met."""

import os
import select
import time

from console_session import PROMPT, WELCOME, Terminal, check, without_hashing_lines
from waiting import EVENT_TIMEOUT
from wire import Reader, dotted, ip_value, tags, u8, u16, u32


class Client(Terminal):
    def __init__(self, cwd, args=(), preexec=None):
        self.transcript = ""
        self.mark = 0
        super().__init__(cwd, args, preexec=preexec, ready=WELCOME + PROMPT)

    def expect(self, text, timeout=EVENT_TIMEOUT):
        before = super().expect(text, timeout)
        self.transcript += before + text
        return before

    def saw(self, text, timeout=EVENT_TIMEOUT):
        """Waits until text is printed after what the last saw found, wherever it falls
        among the commands' answers (a server's news may come before a prompt)."""
        deadline = time.monotonic() + timeout
        while True:
            at = (self.transcript + self.seen).find(text, self.mark)
            if at >= 0:
                self.mark = at + len(text)
                return
            left = deadline - time.monotonic()
            check(left > 0, "never saw %r; after the mark: %r" %
                  (text, (self.transcript + self.seen)[self.mark:]))
            ready, _, _ = select.select([self.master], [], [], left)
            if ready:
                chunk = os.read(self.master, 4096)
                check(chunk, "output ended before %r" % text)
                self.raw += chunk
                self.seen += chunk.decode(errors="replace").replace("\r", "")
                # As expect does: lines dropped later would move the mark past its text.
                if not self.hashing_lines:
                    self.seen = without_hashing_lines(self.seen)

    def cmd(self, line, timeout=EVENT_TIMEOUT):
        """Types the line; what the client printed until its next prompt."""
        self.send(line)
        return self.expect(PROMPT, timeout)

    def until(self, line, want, timeout=EVENT_TIMEOUT):
        """Types the line again and again until its answer holds want (a text, or a test
        of the answer)."""
        deadline = time.monotonic() + timeout
        while True:
            got = self.cmd(line)
            if (want(got) if callable(want) else want in got):
                return got
            check(time.monotonic() < deadline, "%r never showed %r; last %r" % (line, want, got))
            time.sleep(0.1)


def server_met(cwd):
    """server.met as {(dotted ip, port): {tag name: value}}."""
    with open(os.path.join(cwd, "server.met"), "rb") as f:
        r = Reader(f.read())
    check(r.u8() == 0x0E, "server.met lacks its mark")
    servers = {}
    for _ in range(r.u32()):
        ip = r.u32()
        port = r.u16()
        servers[(dotted(ip), port)] = {name: value for _, name, value in r.tags()}
    check(r.left() == 0, "bytes after the last server")
    return servers


def server_met_record(dotted, port, *encoded_tags):
    return u32(ip_value(dotted)) + u16(port) + tags(*encoded_tags)


def server_met_bytes(records):
    return u8(0x0E) + u32(len(records)) + b"".join(records)


def write_server_met(cwd, records):
    with open(os.path.join(cwd, "server.met"), "wb") as f:
        f.write(server_met_bytes(records))
