"""The client from start to end: the self-tests with the download they leave, the
console's reports of a server while a listing pages, a stop while "!" waits saving
every state file, and "- !" ended by a controller."""

import os
import signal
import socket
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from console_session import (PROMPT, WELCOME, Terminal, base_directory, check,  # noqa: E402
                             check_log, main, run_piped)
from fake_index_server import (ID_RECEIVED, LOGIN, NAME, SEARCH, SIZE, UDP_SEARCH,  # noqa: E402
                               UDP_SEARCH_RESULT, FakeIndexServer, id_change, search_results)
from pref_file import free_port, with_free_door, write_pref  # noqa: E402
from remote_controller import STOP, Controller  # noqa: E402
from server_session import Client, server_met  # noqa: E402
from test_remote_control import prepared  # noqa: E402
from waiting import EVENT_TIMEOUT  # noqa: E402
from wire import INT, file_record, tag_int, tag_string  # noqa: E402

TITLES = [" HashTable32 test:", " i4_strtok test:", " stristr test:", " BoolArray test:",
          " LL test:", " ListIterator test:", " UniqueID test:", " TransferTest test:",
          " TransferTest::testFileSource()", "\ttest1", "\ttest2"]
NEXT_PAGE = "press space bar for next page, 'q' to quit"


def everything_printed(t, before):
    """What an ended client printed: before, with whatever the terminal still holds."""
    out = before
    while True:
        try:
            chunk = os.read(t.master, 4096)
        except OSError:
            return out
        if not chunk:
            return out
        out += chunk.decode(errors="replace").replace("\r", "")


def test_self_tests_go_and_leave_their_download():
    with base_directory() as cwd:
        with_free_door(cwd)
        # The first "vd" lets the load of temp/ run before the self-tests start a download
        # there (else it finds that download's record and says it is already downloading).
        status, out = run_piped(cwd, "vd\ntest\ntest\nvd\n", timeout=30)
        check(status == 0, "status %r" % status)
        turns = out.split(PROMPT)
        for run in turns[2:4]:
            at = [run.find(title + "\n") for title in TITLES]
            check(-1 not in at and at == sorted(at), "titles out of order: %r" % run)
            check(run.endswith("go.\n"), "no verdict at the end: %r" % run)
            check("ERRORS" not in run, "a self-test failed: %r" % run)
        rows = [line for line in turns[4].split("\n") if line.startswith("(")]
        check(rows == ["(1) test.file:", "(2) test.file:"], "vd: %r" % turns[4])
        # Each run made a download of its own: two records in temp/.
        records = [n for _, _, names in os.walk(os.path.join(cwd, "temp")) for n in names
                   if n.endswith(".part.met")]
        check(len(records) == 2, "records in temp/: %r" % records)


def test_server_reports_reach_the_console_while_a_listing_pages():
    with base_directory() as cwd, FakeIndexServer(name="first") as server, \
            FakeIndexServer(name="second") as other:
        with_free_door(cwd)
        with Client(cwd) as client:
            client.cmd("n 127.0.0.1 %d" % server.port)
            client.cmd("n 127.0.0.1 %d" % other.port)
            client.cmd("c 1")
            server.expect(LOGIN)
            # The login completes while "?" waits at its first page: the news is shown
            # at once, not gathered behind the listing.
            client.send("?")
            client.expect(NEXT_PAGE)
            server.send(*id_change(0x0100007F))
            client.expect("Connected to: 127.0.0.1\n")
            os.write(client.master, b"q")
            client.expect(PROMPT)
            server.expect(ID_RECEIVED)

            def batch(*names):
                return search_results([file_record(bytes([65 + i]) * 16, tag_string(NAME, n),
                                                   tag_int(SIZE, 10 + i))
                                       for i, n in enumerate(names)])

            client.cmd("s day")
            server.expect(SEARCH)
            server.send(*batch("day one", "day two", "day three"))
            client.saw("Results returned\n")
            # A single result from a second server joins the batch.
            client.cmd("xs")
            other.expect_udp(UDP_SEARCH)
            other.send_udp(UDP_SEARCH_RESULT, file_record(b"z" * 16, tag_string(NAME, "day four"),
                                                          tag_int(SIZE, 4)))
            rows = client.until("vr", "(4) ")
            check(rows.endswith("(1) day one\t10\t\n(2) day two\t11\t\n(3) day three\t12\t\n"
                                "(4) day four\t4\t\n"), "vr: %r" % rows)
            # A new batch replaces all four.
            client.cmd("s night")
            server.expect(SEARCH)
            server.send(*batch("night one"))
            client.saw("Results returned\n")
            rows = client.until("vr", "night")
            check(rows.endswith("Size\t\n(1) night one\t10\t\n"), "vr: %r" % rows)
            check("day" not in rows, "the old results stayed: %r" % rows)

            server.drop_client()
            client.saw("Disconnected\n")
            client.quit()


def test_a_stop_while_waiting_saves_every_state_file():
    with base_directory() as cwd, base_directory() as shared:
        with_free_door(cwd)
        with open(os.path.join(shared, "kept.bin"), "wb") as f:
            f.write(os.urandom(5000))
        with Terminal(cwd, ["n 127.0.0.1 %d" % free_port(), "a %s" % shared, "!"],
                      hashing_lines=True) as t:
            before = t.expect("Done loading shared files.\n", timeout=30)
            t.proc.send_signal(signal.SIGTERM)
            status = t.wait(timeout=30)
            out = everything_printed(t, before + t.seen)
        check(status == 0, "status %r" % status)
        check(PROMPT not in out and WELCOME in out, "welcome without a prompt? %r" % out)
        check(len(server_met(cwd)) == 1, "server.met %r" % server_met(cwd))
        with open(os.path.join(cwd, "known.met"), "rb") as f:
            check(b"kept.bin" in f.read(), "known.met lacks the shared file")
        check(os.path.getsize(os.path.join(cwd, "pref.met")) > 0, "no pref.met")
        check(os.path.getsize(os.path.join(cwd, "uploadq.dat")) >= 8, "no uploadq.dat")
        check_log(cwd)


def test_a_controller_stops_a_client_started_with_minus_and_wait():
    with base_directory() as cwd:
        admin = prepared(cwd)
        with Terminal(cwd, ["-", "!"]) as t:
            deadline = time.monotonic() + EVENT_TIMEOUT
            while True:
                try:
                    c = Controller(admin)
                    break
                except OSError:
                    check(time.monotonic() < deadline, "nothing listens on port %d" % admin)
                    time.sleep(0.1)
            with c:
                c.login("zet", "quimbal")
                c.wait_for(lambda got: got)
                c.send(STOP)
                status = t.wait(timeout=EVENT_TIMEOUT)
            out = everything_printed(t, t.seen)
        check(status == 0, "status %r" % status)
        check(PROMPT not in out and WELCOME in out, "welcome without a prompt? %r" % out)


def listening_ports(pid):
    """The TCP ports that the process listens on."""
    inodes = set()
    fds = "/proc/%d/fd" % pid
    for fd in os.listdir(fds):
        try:
            target = os.readlink(os.path.join(fds, fd))
        except OSError:
            continue
        if target.startswith("socket:["):
            inodes.add(target[8:-1])
    ports = set()
    for table in ("/proc/net/tcp", "/proc/net/tcp6"):
        with open(table) as f:
            for line in f.readlines()[1:]:
                fields = line.split()
                if fields[3] == "0A" and fields[9] in inodes:
                    ports.add(int(fields[1].rsplit(":", 1)[1], 16))
    return ports


def test_a_port_argument_opens_the_door_once_on_that_port():
    """With the stored port held by another program, "port" given as an argument opens the
    door on its port alone, and nothing fails to listen on the stored one first."""
    with base_directory() as cwd, socket.socket() as holder:
        holder.bind(("", 0))
        holder.listen(1)
        stored = holder.getsockname()[1]
        user = {"address": 0, "port": 0, "hash": os.urandom(16), "tags": []}
        write_pref(os.path.join(cwd, "pref.met"), user, [[INT, b"doorPort", stored]])
        wanted = free_port()
        with Terminal(cwd, ["port %d" % wanted], hashing_lines=True) as t:
            before = t.expect(WELCOME + PROMPT, timeout=20)
            deadline = time.monotonic() + 20
            while wanted not in listening_ports(t.proc.pid):
                check(time.monotonic() < deadline, "the client never listened on %d" % wanted)
                time.sleep(0.05)
            ports = listening_ports(t.proc.pid)
            t.quit(timeout=30, question=None)
            out = everything_printed(t, before + t.seen)
        check(ports == {wanted}, "the client listened on %r" % sorted(ports))
        check("TCP port changed to %d\n" % wanted in out, out)
        check("can't listen" not in out and "probably in use" not in out, out)


if __name__ == "__main__":
    main([test_self_tests_go_and_leave_their_download,
          test_server_reports_reach_the_console_while_a_listing_pages,
          test_a_stop_while_waiting_saves_every_state_file,
          test_a_controller_stops_a_client_started_with_minus_and_wait,
          test_a_port_argument_opens_the_door_once_on_that_port])
