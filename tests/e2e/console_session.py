"""Shared helpers of the end-to-end tests: start tornavel in a fresh base
directory on a pseudo-terminal or on plain pipes, with bounded waits."""

import os
import re
import select
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


def base_directory():
    return tempfile.TemporaryDirectory(prefix="tornavel-e2e-")


def run_piped(cwd, stdin_text, args=(), timeout=EVENT_TIMEOUT, hashing_lines=False):
    """Runs the client with stdin and stdout on pipes until it ends."""
    done = subprocess.run([binary()] + list(args), cwd=cwd, input=stdin_text.encode(),
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          timeout=timeout)
    out = done.stdout.decode(errors="replace")
    return done.returncode, out if hashing_lines else without_hashing_lines(out)


def read_until_welcome(proc, timeout=EVENT_TIMEOUT):
    """Reads a piped client's output until its welcome lines, which the transfer side's own
    lines may fall among."""
    seen = b""
    deadline = time.monotonic() + timeout
    while WELCOME not in without_hashing_lines(seen.decode(errors="replace")):
        left = deadline - time.monotonic()
        check(left > 0, "no welcome lines: %r" % seen)
        ready, _, _ = select.select([proc.stdout], [], [], left)
        if ready:
            chunk = os.read(proc.stdout.fileno(), 4096)
            check(chunk, "output ended: %r" % seen)
            seen += chunk
    return seen


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


class Terminal:
    """The client on a pseudo-terminal without echo; output with the
    terminal's carriage returns removed (raw keeps every byte read, as read)."""

    def __init__(self, cwd, args=(), hashing_lines=False, preexec=None):
        master, slave = os.openpty()
        attrs = termios.tcgetattr(slave)
        attrs[3] &= ~termios.ECHO
        termios.tcsetattr(slave, termios.TCSANOW, attrs)
        self.master = master
        self.proc = subprocess.Popen([binary()] + list(args), cwd=cwd, stdin=slave,
                                     stdout=slave, stderr=slave, start_new_session=True,
                                     preexec_fn=preexec)
        os.close(slave)
        self.seen = ""
        self.raw = b""
        self.hashing_lines = hashing_lines

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

    def wait(self, timeout=EVENT_TIMEOUT):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise AssertionError("client still running after %d s" % timeout)

    def running(self):
        return self.proc.poll() is None

    def close(self):
        if self.running():
            self.proc.kill()
            self.proc.wait()
        os.close(self.master)


def main(tests):
    failed = 0
    for test in tests:
        try:
            test()
            print("ok   %s" % test.__name__)
        except Exception as e:  # report every case, then fail
            failed += 1
            print("FAIL %s: %s" % (test.__name__, e))
    sys.exit(1 if failed else 0)
