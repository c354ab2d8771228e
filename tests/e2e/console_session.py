"""Shared helpers of the end-to-end tests: start tornavel in a fresh base
directory on a pseudo-terminal or on plain pipes, with bounded waits."""

import os
import re
import select
import socket
import subprocess
import sys
import tempfile
import termios
import time

from waiting import EVENT_TIMEOUT

WELCOME = ("Welcome to Tornavel command line client 0.50.1\n"
           "Enter commands at any time (type '?' for help)\n")
PROMPT = "> "
UNKNOWN = "Unrecognized command. type ? for help\n\n"
QUESTION = "Are you sure you want to exit?(y or n): \n"
LOG_LINE = re.compile(r"^\[ (Mon|Tue|Wed|Thu|Fri|Sat|Sun) "
                      r"(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                      r"[ 123]\d \d\d:\d\d:\d\d \d{4} \]: (.*)\n$")


# What the transfer side prints on its own: the hashing thread when a pass over the
# shared directories starts and ends, the load when there is no upload queue to take up
# (every first start) and when another client on the machine holds the peer door's port.
# It comes at any moment, even between the pieces of another line, so tests of other
# output leave it out; the sharing and upload tests ask for it.
HASHING_LINES = ("Loading shared files...\n", "Done loading shared files.\n",
                 "Upload Queue not loaded\n")
DOOR_ERROR = re.compile(r"ERROR: can't listen on port \d+\.\n|Port is probably in use\.\n"
                        r"Change port by typing: 'port ####' at the prompt\.\n")
# What the transfer side keeps in the base directory beside the core's files. They are
# made when it loads, which a quick quit may come before.
TRANSFER_STATE = ("incoming", "temp", "known.met", "share.dat", "friend.met", "uploadq.dat")


def without_hashing_lines(text):
    for line in HASHING_LINES:
        text = text.replace(line, "")
    return DOOR_ERROR.sub("", text)


def core_files(names):
    """The names without the transfer side's state and the temporary files of its
    saves."""
    return sorted(n for n in names if n not in TRANSFER_STATE
                  and not n.startswith(("known.met.tmp-", "share.dat.tmp-", "friend.met.tmp-",
                                         "uploadq.dat.tmp-")))


def binary():
    if len(sys.argv) < 2:
        sys.exit("usage: %s path/to/tornavel" % sys.argv[0])
    return os.path.abspath(sys.argv[1])


# Every client started and not yet closed, so that a base directory is removed only once the
# clients started in it are gone (a live one keeps writing its state files there).
_running = []


class _BaseDirectory(tempfile.TemporaryDirectory):
    def __exit__(self, *exc):
        for c in list(_running):
            if os.path.commonpath([c.cwd, self.name]) == self.name:
                c.close()
        return super().__exit__(*exc)


def base_directory():
    return _BaseDirectory(prefix="tornavel-e2e-")


def run_piped(cwd, stdin_text, args=(), timeout=EVENT_TIMEOUT, hashing_lines=False):
    """Runs the client with stdin and stdout on pipes until it ends."""
    done = subprocess.run([binary()] + list(args), cwd=cwd, input=stdin_text.encode(),
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          timeout=timeout)
    out = done.stdout.decode(errors="replace")
    return done.returncode, out if hashing_lines else without_hashing_lines(out)


def wait_listening(port, failure, poll=0.05):
    """Waits until the loopback port takes connections; fails with the text given."""
    deadline = time.monotonic() + EVENT_TIMEOUT
    while True:
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return
        except OSError:
            check(time.monotonic() < deadline, failure)
            time.sleep(poll)


def log_lines(cwd):
    with open(os.path.join(cwd, "log.txt"), newline="") as f:
        return f.read().splitlines(keepends=True)


def check_log(cwd):
    """log.txt holds exactly the start and the end line."""
    lines = log_lines(cwd)
    texts = []
    for line in lines:
        m = LOG_LINE.match(line)
        check(m is not None, "malformed log line %r" % line)
        texts.append(m.group(3))
    check(texts == ["Start Tornavel", "End Tornavel"], "log holds %r" % lines)


def check(condition, message):
    if not condition:
        raise AssertionError(message)


class ClientProcess:
    """The client started in cwd, until it is closed; as a context manager, closed at the
    end of the block. Subclasses say how it is talked to: send, expect."""

    def __init__(self, cwd, args=(), **popen):
        self.cwd = os.path.abspath(cwd)
        self.proc = subprocess.Popen([binary()] + list(args), cwd=cwd, **popen)
        _running.append(self)

    def _ready(self, text):
        """Waits for text after the start; a client that does not print it is closed."""
        try:
            self.expect(text)
        except BaseException:
            self.close()
            raise

    def wait(self, timeout=EVENT_TIMEOUT):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise AssertionError("client still running after %d s" % timeout)

    def running(self):
        return self.proc.poll() is None

    def resident_kib(self):
        with open("/proc/%d/status" % self.proc.pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        raise AssertionError("no VmRSS for the client")

    def quit(self, timeout=EVENT_TIMEOUT, question=QUESTION):
        """Types "q" and, once the question came (at once when question is None), "y"; the
        client must end with status 0 within timeout."""
        self.send("q")
        if question is not None:
            self.expect(question)
        self.send("y")
        status = self.wait(timeout)
        check(status == 0, "exit status %r" % status)

    def kill(self, timeout=None):
        """Kills the client if it still runs and waits until it is gone."""
        if self.running():
            self.proc.kill()
        self.proc.wait(timeout=timeout)

    def close(self):
        """Kills the client if it still runs, waits until it is gone and lets go of its
        input and output; closing again does nothing."""
        self.kill()
        if self in _running:
            _running.remove(self)
            self._release()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


class Terminal(ClientProcess):
    """The client on a pseudo-terminal without echo; output with the
    terminal's carriage returns removed (raw keeps every byte read, as read).
    With ready, waits for that text first."""

    def __init__(self, cwd, args=(), hashing_lines=False, preexec=None, ready=None):
        master, slave = os.openpty()
        attrs = termios.tcgetattr(slave)
        attrs[3] &= ~termios.ECHO
        termios.tcsetattr(slave, termios.TCSANOW, attrs)
        self.master = master
        try:
            super().__init__(cwd, args, stdin=slave, stdout=slave, stderr=slave,
                             start_new_session=True, preexec_fn=preexec)
        except BaseException:
            os.close(master)
            raise
        finally:
            os.close(slave)
        self.seen = ""
        self.raw = b""
        self.hashing_lines = hashing_lines
        if ready is not None:
            self._ready(ready)

    def expect(self, text, timeout=EVENT_TIMEOUT):
        """Waits until the output since the last match ends with more output
        containing text; returns what came before it."""
        deadline = time.monotonic() + timeout
        while text not in self.seen:
            left = deadline - time.monotonic()
            check(left > 0, "waited for %r, got %r" % (text, self.seen))
            ready, _, _ = select.select([self.master], [], [], left)
            if ready:
                try:
                    chunk = os.read(self.master, 4096)
                except OSError:
                    chunk = b""
                check(chunk, "output ended before %r; got %r" % (text, self.seen))
                self.raw += chunk
                self.seen += chunk.decode(errors="replace").replace("\r", "")
                if not self.hashing_lines:
                    self.seen = without_hashing_lines(self.seen)
        before, _, self.seen = self.seen.partition(text)
        return before

    def send(self, line):
        os.write(self.master, (line + "\n").encode())

    def _release(self):
        os.close(self.master)


class Piped(ClientProcess):
    """The client with its input and output on pipes. What it printed stays in seen (bytes,
    which the test may clear) and in raw (every byte read); without output it goes
    nowhere."""

    def __init__(self, cwd, args=(), hashing_lines=False, output=True):
        out = subprocess.PIPE if output else subprocess.DEVNULL
        super().__init__(cwd, args, stdin=subprocess.PIPE, stdout=out,
                         stderr=subprocess.STDOUT if output else subprocess.DEVNULL)
        self.seen = b""
        self.raw = b""
        self.hashing_lines = hashing_lines

    def send(self, line):
        self.proc.stdin.write((line + "\n").encode())
        self.proc.stdin.flush()

    def end_input(self):
        self.proc.stdin.close()

    def _holds(self, text):
        if self.hashing_lines:
            return self.seen.count(text.encode())
        return without_hashing_lines(self.seen.decode(errors="replace")).count(text)

    def expect(self, text, timeout=EVENT_TIMEOUT, times=1):
        """Reads until seen holds text times over (leaving out what the transfer side prints
        on its own, unless hashing_lines); nothing read is taken out of seen."""
        deadline = time.monotonic() + timeout
        while self._holds(text) < times:
            left = deadline - time.monotonic()
            check(left > 0, "waited for %r, got %r" % (text, self.seen[-2000:]))
            ready, _, _ = select.select([self.proc.stdout], [], [], left)
            if ready:
                chunk = os.read(self.proc.stdout.fileno(), 65536)
                check(chunk, "output ended before %r: %r" % (text, self.seen[-2000:]))
                self.seen += chunk
                self.raw += chunk

    def _release(self):
        for pipe in (self.proc.stdin, self.proc.stdout):
            if pipe:
                pipe.close()


def main(tests):
    failed = 0
    for test in tests:
        try:
            test()
            print("ok   %s" % test.__name__)
        except Exception as e:  # report every case, then fail
            failed += 1
            print("FAIL %s: %s" % (test.__name__, e))
            # A failure while cleaning up comes after the one that made the test end.
            while e.__context__ is not None and not e.__suppress_context__:
                e = e.__context__
                print("     after: %s" % e)
    sys.exit(1 if failed else 0)
