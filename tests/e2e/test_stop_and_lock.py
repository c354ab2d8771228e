"""The ways a client ends and starts beside another: SIGINT, SIGTERM and SIGHUP
shut it down in order (pref.met written, the log's end line, status 0) at the
prompt and during "!"; a second client in the same base directory refuses
and changes no file; a huge filters.txt costs bounded time and memory."""

import os
import resource
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from console_session import (PROMPT, WELCOME, Terminal, base_directory, binary, check,  # noqa: E402
                             check_log, log_lines, main, run_piped)
from pref_file import parse_pref  # noqa: E402
from waiting import EVENT_TIMEOUT  # noqa: E402

LOCKED = "Another Tornavel client is running in %s; only one can use a directory at a time\n"


def wait_for(condition, what, timeout=EVENT_TIMEOUT):
    deadline = time.monotonic() + timeout
    while not condition():
        check(time.monotonic() < deadline, "waited for %s" % what)
        time.sleep(0.05)


def started(cwd):
    """The client has logged its start line."""
    try:
        return len(log_lines(cwd)) >= 1
    except OSError:
        return False


def test_stop_signals_save_and_end_the_log():
    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        for where in ("prompt", "!"):
            with base_directory() as cwd:
                args = ["!"] if where == "!" else []
                with Terminal(cwd, args) as term:
                    if where == "prompt":
                        term.expect(WELCOME + PROMPT)
                    else:
                        wait_for(lambda: started(cwd), "the start line")
                    # The first start wrote its identity; the stop writes the file anew.
                    before = os.stat(os.path.join(cwd, "pref.met")).st_ino
                    term.proc.send_signal(sig)
                    status = term.wait(timeout=EVENT_TIMEOUT)
                label = "%s at the %s" % (signal.Signals(sig).name, where)
                check(status == 0, "%s: status %r" % (label, status))
                user, _ = parse_pref(os.path.join(cwd, "pref.met"))
                check(user["hash"] != bytes(16), "%s: no identity saved" % label)
                check(os.stat(os.path.join(cwd, "pref.met")).st_ino != before,
                      "%s: pref.met was not saved" % label)
                check_log(cwd)


def snapshot(cwd):
    """Every file with its content and times."""
    out = {}
    for name in sorted(os.listdir(cwd)):
        path = os.path.join(cwd, name)
        st = os.stat(path)
        if os.path.isdir(path):
            out[name] = (sorted(os.listdir(path)), st.st_mtime_ns, st.st_ino)
            continue
        with open(path, "rb") as f:
            out[name] = (f.read(), st.st_mtime_ns, st.st_ctime_ns, st.st_ino)
    return out


def test_a_second_client_in_the_same_directory_refuses():
    with base_directory() as cwd:
        # A first run leaves every file a client keeps.
        status, _ = run_piped(cwd, "")
        check(status == 0, "first run: status %r" % status)
        with Terminal(cwd, hashing_lines=True) as first:
            # Its own saves are over once its hashing pass has ended.
            first.expect("Done loading shared files.\n")
            before = snapshot(cwd)
            status, out = run_piped(cwd, "")
            check(status == 1, "second client: status %r, %r" % (status, out))
            check(out == LOCKED % cwd, "second client said %r" % out)
            after = snapshot(cwd)
            changed = [n for n in set(before) | set(after) if before.get(n) != after.get(n)]
            check(not changed, "the second client changed %r" % changed)

            first.kill(timeout=EVENT_TIMEOUT)
        status, out = run_piped(cwd, "")
        check(status == 0 and WELCOME in out, "after a kill: status %r, %r" % (status, out))


def test_a_huge_filters_file_costs_bounded_time_and_memory():
    with base_directory() as cwd:
        path = os.path.join(cwd, "filters.txt")
        with open(path, "wb") as f:
            f.write(b"x\n" * (10 * 1024 * 1024))
        status, out = run_piped(cwd, "", timeout=60)
        peak_kib = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
        check(status == 0, "status %r, %r" % (status, out))
        message = "%s is longer than 65536 bytes: the words after them are dropped\n" % path
        check(out.count(message) == 1, "output %r" % out)
        # The peak of every child so far; loading the whole file took gigabytes.
        check(peak_kib < 256 * 1024,
              "the client peaked at %d MiB" % (peak_kib // 1024))


if __name__ == "__main__":
    main([test_stop_signals_save_and_end_the_log,
          test_a_second_client_in_the_same_directory_refuses,
          test_a_huge_filters_file_costs_bounded_time_and_memory])
