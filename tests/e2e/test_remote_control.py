"""The real client started with "-" and driven by a scripted controller over loopback:
the login and its refusals, command lines and what they print where, status reports
and their spacing, a download started and mapped by the controller, one controller at
a time, hostile frames before the login, the stop, and the admin port's settings."""

import multiprocessing
import os
import select
import signal
import socket
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from console_session import (PROMPT, Terminal, base_directory, check, main, run_piped,  # noqa: E402
                             wait_listening)
from pref_file import free_port, parse_pref, put, setting, write_pref  # noqa: E402
from remote_controller import (COMMAND, DOWNLOAD, DOWNLOAD_RECORD, DOWNLOAD_STATUS,  # noqa: E402
                               DOWNLOAD_STATUS_OFF, DOWNLOAD_STATUS_ON, LINE, LOGIN, OPTIONS,
                               PART_MAP, PART_MAP_REQUEST, SLOT, STOP, TEXT, UPLOAD_STATUS,
                               UPLOAD_STATUS_ON, Controller, Fields)
from waiting import EVENT_TIMEOUT  # noqa: E402
from wire import (INT, MARKER, Reader, file_record, tag_int, tag_string, text, u8,  # noqa: E402
                  u32)

FILE_HASH = bytes(range(0xA0, 0xB0))
FILE_SIZE = 3 * 486400 + 1000
OPTION_LINES = 15


def prepared(cwd, commands="pass zet quimbal\n"):
    """A base directory set up by an earlier run that typed commands; its pref.met then
    gets a free peer door and a free admin port. Answers the admin port."""
    admin = free_port()
    code, out = run_piped(cwd, commands + "aport %d\nq\ny\n" % admin)
    check(code == 0, "the first run ended with %r: %r" % (code, out))
    path = os.path.join(cwd, "pref.met")
    user, values = parse_pref(path)
    put(values, INT, b"doorPort", free_port())
    write_pref(path, user, values)
    return admin


def started(cwd, admin):
    """The client with the remote UI, once its admin door takes connections."""
    t = Terminal(cwd, ["-"], ready=PROMPT)
    wait_listening(admin, "nothing listens on the admin port %d" % admin, poll=0.1)
    return t


def logged_in(admin):
    c = Controller(admin)
    c.login("zet", "quimbal")
    c.next_frame(OPTIONS)
    return c


def quiet(t, seconds=0.5):
    """What the console printed in the next while (nothing is typed)."""
    try:
        return t.expect("\0never\0", timeout=seconds)
    except AssertionError:
        seen, t.seen = t.seen, ""
        return seen


def read_options(body):
    f = Fields(body)
    o = {"version": f.u16(), "down": f.f32(), "up": f.f32(), "door": f.u16(), "maxcon": f.u16(),
         "name": f.string(), "temp": f.string(), "incoming": f.string()}
    f.take(3)
    o["flags"] = (f.u8(), f.u8(), f.u8())
    o["admin"] = f.u16()
    o["maxcon32"] = f.u32()
    o["built"] = f.u32()
    f.take(4)
    o["pid"] = f.u32()
    o["left"] = f.left()
    return o


def test_logins_and_what_a_controller_sees():
    with base_directory() as cwd:
        admin = prepared(cwd)
        with started(cwd, admin) as t:
            # A first packet other than the login: closed, nothing run, nothing printed.
            with Controller(admin) as c:
                c.command("vo")
                c.expect_close()
            check(quiet(t) == "", "a stranger's command printed something")

            with Controller(admin) as c:
                c.login("zet", "wrong")
                c.expect_close()
            t.expect("Invalid name and pass\n")

            c = logged_in(admin)
            body = c.next_frame(OPTIONS)
            o = read_options(body)
            strings = len(o["name"].encode()) + len(o["temp"].encode()) + len(o["incoming"].encode())
            check(len(body) + 1 == 45 + strings, "199 is %d bytes" % (len(body) + 1))
            check(o["version"] == 10501 and o["left"] == 0, "199 reads %r" % o)
            check(o["pid"] == t.proc.pid, "199 names pid %d, not %d" % (o["pid"], t.proc.pid))
            check(o["admin"] == admin, "199 names admin port %d" % o["admin"])
            year, month, day = o["built"] >> 16, (o["built"] >> 8) & 255, o["built"] & 255
            check(year >= 26 and 1 <= month <= 12 and 1 <= day <= 31, "build date %r" % o["built"])
            # Then one 201 for each of the two upload slots a new client has.
            c.wait_for(lambda got: [op for _, op, _ in got].count(SLOT) >= 2)
            check(c.opcodes() == [OPTIONS, SLOT, SLOT],
                  "a client without downloads sent %r" % c.opcodes())

            # "vo": one 180 per option line, the admin ones among them.
            c.command("vo")
            lines = c.wait_for(lambda got: len([1 for _, op, _ in got if op == LINE]) >=
                               OPTION_LINES and c.texts(LINE))
            check(len(lines) == OPTION_LINES, "vo gave %r" % lines)
            check("AdminName:\t\tzet" in lines and "AdminPass:\t\tquimbal" in lines and
                  "AdminPort:\t\t%d" % admin in lines, "the admin lines: %r" % lines)

            # Text without a line end reaches only the controller.
            t.expect("ScreenLines:")
            quiet(t)
            c.command("a")
            c.next_frame(TEXT)
            check(c.texts(TEXT) == ["Invalid arguments."], "a answered %r" % c.texts(TEXT))
            check(quiet(t) == "", "the console showed the 181 text")
            # "vr" prints a line: both see it.
            c.command("vr")
            c.wait_for(lambda got: "None." in c.texts(LINE))
            check("None." in c.texts(LINE), "vr sent %r" % c.texts(LINE))
            t.expect("None.\n")

            # A second login is refused while one is attached; the first hears of it.
            with Controller(admin) as second:
                second.login("zet", "quimbal")
                second.expect_close()
            c.wait_for(lambda got: "Another Control attempt" in c.texts(LINE))
            check("Another Control attempt" in c.texts(LINE), "the first never heard")
            t.expect("Another Control attempt\n")
            c.close()
            # Once the first has gone, a new login works.
            deadline = time.monotonic() + EVENT_TIMEOUT
            while True:
                again = Controller(admin)
                again.login("zet", "quimbal")
                if again.wait_for(lambda got: OPTIONS in [op for _, op, _ in got]):
                    break
                again.close()
                check(time.monotonic() < deadline, "no login after the first left")
                time.sleep(0.2)
            again.close()


def test_downloads_reports_part_map_and_stop():
    with base_directory() as cwd:
        admin = prepared(cwd)
        with started(cwd, admin) as t:
            c = logged_in(admin)
            record = file_record(FILE_HASH, tag_string(b"\x01", "remote.bin"),
                                 tag_int(b"\x02", FILE_SIZE))
            c.send(DOWNLOAD_RECORD, record)
            f = Fields(c.next_frame(DOWNLOAD))
            check(f.take(16) == FILE_HASH, "188 names another file")
            c.close()

            # A new login gets the options, then one 188 per download.
            c = logged_in(admin)
            # A slot that changes meanwhile is sent again, under its handle.
            slots = lambda got: {Reader(body[:4]).u32()  # noqa: E731
                                 for _, op, body in got if op == SLOT}
            c.wait_for(lambda got: len(slots(got)) >= 2)
            # A line the client prints meanwhile (opcode 180) may come between them.
            state = [op for op in c.opcodes() if op not in (LINE, TEXT)]
            check(state[:2] == [OPTIONS, DOWNLOAD] and set(state[2:]) == {SLOT}
                  and len(slots(c.got)) == 2,
                  "the initial state was %r, lines %r" % (c.opcodes(), c.texts(LINE)))
            body = next(body for _, op, body in c.got if op == DOWNLOAD)
            check(body[:16] == FILE_HASH, "188 names another file")
            # Record, u8 priority, string path of the partial file, u32 handle.
            handle = Reader(body[-4:]).u32()
            check(("/temp/" in body.decode(errors="replace")), "188 lacks the partial file's path")
            check(handle != 0, "the download has no handle")

            c.send(PART_MAP_REQUEST, FILE_HASH)
            f = Fields(c.next_frame(PART_MAP))
            check(f.u32() == handle, "174 names another handle")
            check(f.u16() == 1, "a new download's map has more than one run")
            check((f.u32(), f.u32(), f.u16()) == (0, FILE_SIZE, 0), "the run covers otherwise")

            # Both reports: 200 then 197, a little more than 3 s apart.
            c.send(DOWNLOAD_STATUS_ON)
            c.send(UPLOAD_STATUS_ON)
            reports = lambda got: [(when, op, body) for when, op, body in got  # noqa: E731
                                   if op in (UPLOAD_STATUS, DOWNLOAD_STATUS)]
            c.wait_for(lambda got: len(reports(got)) >= 6)
            got = reports(c.got)[:6]
            check([op for _, op, _ in got] == [UPLOAD_STATUS, DOWNLOAD_STATUS] * 3,
                  "reports came as %r" % [op for _, op, _ in got])
            # Not one a pass: the exact interval is the unit tests', on a clock they step. Seen
            # here on arrival, where a loaded machine may delay one read by a second.
            for later, earlier in ((got[2], got[0]), (got[4], got[2])):
                gap = later[0] - earlier[0]
                check(gap >= 2, "reports %.2f s apart" % gap)
            f = Fields(got[1][2])
            check(f.u16() == 1 and f.u32() == handle, "197 lists otherwise")
            # The two slots a new client starts with, idle.
            f = Fields(got[0][2])
            n = f.u16()
            slots = [(f.u32(), f.f32()) for _ in range(min(n, 2))]
            check(n == 2 and slots[0][0] != slots[1][0] and slots[0][1] == slots[1][1] == 0,
                  "200 lists otherwise")

            # Download reports off: only upload reports come. The answer to a command sent
            # after the 218 marks where they start, as frames are taken in order.
            c.send(DOWNLOAD_STATUS_OFF)
            nones = c.texts(LINE).count("None.")
            c.command("vr")
            c.wait_for(lambda got: c.texts(LINE).count("None.") > nones)
            mark = 1 + max(i for i, (_, op, body) in enumerate(c.got)
                           if op == LINE and Fields(body).string() == "None.")
            c.wait_for(lambda got: len(reports(got[mark:])) >= 2)
            check([op for _, op, _ in reports(c.got[mark:])][:2] == [UPLOAD_STATUS] * 2,
                  "after 218: %r" % [op for _, op, _ in reports(c.got[mark:])])

            before = os.path.getmtime(os.path.join(cwd, "pref.met"))
            time.sleep(0.05)
            c.send(STOP)
            status = t.wait()
            check(status == 0, "101 ended the client with %r" % status)
            check(os.path.getmtime(os.path.join(cwd, "pref.met")) > before, "pref.met not saved")
            records = [n for _, _, names in os.walk(os.path.join(cwd, "temp")) for n in names
                       if n.endswith(".part.met")]
            check(len(records) == 1, "the download's records: %r" % records)
            c.close()


def test_hostile_strangers_and_blank_credentials():
    with base_directory() as cwd:
        admin = prepared(cwd, commands="")
        with started(cwd, admin) as t:
            for name, password in (("", ""), ("zet", ""), ("", "x")):
                with Controller(admin) as c:
                    c.login(name, password)
                    c.expect_close()
                t.expect("Invalid name and pass\n")

            before = t.resident_kib()
            with Controller(admin) as c:
                c.send_raw(u8(MARKER) + u32(0xFFFFFFF0) + b"\x64" + b"x" * 60000)
                c.expect_close()
            with Controller(admin) as c:
                c.send_raw(u8(MARKER) + u32(0))
                c.expect_close()
            check(t.resident_kib() - before < 16 * 1024,
                  "memory grew by %d KiB" % (t.resident_kib() - before))
            check(quiet(t) == "", "the dropped frames printed something")


def test_only_the_exact_name_and_password_log_in():
    """Each field is all its bytes: a zero byte inside or after one, bytes after the two
    fields, a blank field or another case is refused; only the pair as set logs in."""
    refused = [
        (b"adm", b"s3cretPW\0anything", b""),
        (b"adm", b"s3cretPW\0", b""),
        (b"adm\0zzz", b"s3cretPW", b""),
        (b"adm\0", b"s3cretPW", b""),
        (b"ad\0m", b"s3cretPW", b""),
        (b"adm", b"s3cret\0PW", b""),
        (b"adm", b"s3cretPW", b"x"),
        (b"adm", b"s3cretPW", b"\0"),
        (b"adm", b"s3cretPW", text("more")),
        (b"", b"s3cretPW", b""),
        (b"adm", b"", b""),
        (b"", b"", b""),
        (b"ADM", b"s3cretPW", b""),
        (b"adm", b"S3CRETPW", b""),
        (b"adm", b"s3cretpw", b""),
        (b"adm", b"s3cretP", b""),
        (b"s3cretPW", b"adm", b""),
    ]
    with base_directory() as cwd:
        admin = prepared(cwd, commands="pass adm s3cretPW\n")
        with started(cwd, admin) as t:
            for name, password, after in refused:
                with Controller(admin) as c:
                    c.send(LOGIN, text(name) + text(password) + after)
                    c.expect_close()
                    check(OPTIONS not in c.opcodes(),
                          "%r / %r + %r logged in" % (name, password, after))
                t.expect("Invalid name and pass\n")
            with Controller(admin) as c:
                c.send(LOGIN, text(b"adm") + text(b"s3cretPW"))
                c.next_frame(OPTIONS)


def held_at(port):
    """Connections to the local port that a process has accepted and holds open (those
    still in the listening queue belong to no process: their inode is 0)."""
    local = "0100007F:%04X" % port
    with open("/proc/net/tcp") as f:
        rows = [line.split() for line in f.readlines()[1:]]
    return sum(1 for r in rows if r[1] == local and r[3] == "01" and r[9] != "0")


def flood_idle(port, count, reopened, stopping, limit):
    """Holds count connections that never log in, each opened again as soon as the client
    drops it, until stopping is set or limit seconds have passed."""
    socks = [socket.create_connection(("127.0.0.1", port), timeout=5) for _ in range(count)]
    deadline = time.monotonic() + limit
    while not stopping.is_set() and time.monotonic() < deadline:
        ready, _, _ = select.select(socks, [], [], 0.05)
        for s in ready:
            try:
                gone = s.recv(1) == b""
            except OSError:
                gone = True
            if gone:
                s.close()
                socks[socks.index(s)] = socket.create_connection(("127.0.0.1", port), timeout=5)
                with reopened.get_lock():
                    reopened.value += 1
    for s in socks:
        s.close()


class IdleFlood:
    """flood_idle in a process of its own, so that it never holds back the test's own
    controller between its connect and its login."""

    def __init__(self, port, count, limit=120):
        ctx = multiprocessing.get_context("fork")
        self.count = ctx.Value("i", 0)
        self.stopping = ctx.Event()
        self.process = ctx.Process(target=flood_idle,
                                   args=(port, count, self.count, self.stopping, limit),
                                   daemon=True)
        self.process.start()

    @property
    def reopened(self):
        return self.count.value

    def stop(self):
        self.stopping.set()
        self.process.join(5)
        if self.process.is_alive():
            self.process.kill()
            self.process.join()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


def test_idle_connections_cannot_keep_the_controller_out():
    with base_directory() as cwd:
        admin = prepared(cwd)
        with started(cwd, admin) as t, IdleFlood(admin, 8) as flood:
            for attempt in range(6):
                # Every one of the eight waits at the client before the controller comes.
                deadline = time.monotonic() + 10
                while held_at(admin) < 8:
                    check(time.monotonic() < deadline, "the client holds %d idle connections"
                          % held_at(admin))
                    time.sleep(0.02)
                closed_before = flood.reopened
                # The login is there when the client takes the connection, as a real
                # controller's is: on loopback the test could otherwise be slower to send it
                # than the flood is to follow up.
                os.kill(t.proc.pid, signal.SIGSTOP)
                try:
                    c = Controller(admin)
                    c.login("zet", "quimbal")
                finally:
                    os.kill(t.proc.pid, signal.SIGCONT)
                with c:
                    check(c.wait_for(lambda got: OPTIONS in [op for _, op, _ in got]),
                          "login %d got %r and closed=%r" % (attempt, c.opcodes(), c.closed))
                    # Gone from the client before the next one comes.
                    c.sock.shutdown(socket.SHUT_WR)
                    c.expect_close()
                # It came while eight waited: one of them made room.
                deadline = time.monotonic() + 10
                while flood.reopened == closed_before:
                    check(time.monotonic() < deadline, "no idle connection was closed")
                    time.sleep(0.02)


def test_admin_port_settings():
    with base_directory() as cwd:
        admin = prepared(cwd)
        moved = free_port()
        with started(cwd, admin) as t:
            t.send("aport %d" % moved)
            check(t.expect(PROMPT) == "Port will change when you restart.\n", "aport answered")
            for wrong in ("x", "70000"):
                t.send("aport " + wrong)
                check(t.expect(PROMPT) == "%d\n" % moved, "aport %s changed the port" % wrong)
            socket.create_connection(("127.0.0.1", admin), timeout=5).close()
            t.send("vo")
            check("AdminPort:\t\t%d\n" % moved in t.expect(PROMPT), "vo shows another port")
            t.quit(question="(y or n)")
        _, values = parse_pref(os.path.join(cwd, "pref.met"))
        check(setting(values, b"adminDoorPort") == moved, "pref.met keeps another port")
        with started(cwd, moved) as t:
            refused = False
            try:
                socket.create_connection(("127.0.0.1", admin), timeout=2).close()
            except OSError:
                refused = True
            check(refused, "the old admin port still listens")

        # Another process holds the admin port: the client runs on without remote control.
        with socket.socket() as holder:
            holder.bind(("127.0.0.1", 0))
            holder.listen()
            taken = holder.getsockname()[1]
            path = os.path.join(cwd, "pref.met")
            user, values = parse_pref(path)
            put(values, INT, b"adminDoorPort", taken)
            write_pref(path, user, values)
            with Terminal(cwd, ["-"]) as t:
                t.expect(PROMPT)
                t.send("vo")
                check("AdminPort:\t\t%d\n" % taken in t.expect(PROMPT), "the client stopped")
                check(t.running(), "the client ended")


if __name__ == "__main__":
    main([test_logins_and_what_a_controller_sees, test_downloads_reports_part_map_and_stop,
          test_hostile_strangers_and_blank_credentials,
          test_only_the_exact_name_and_password_log_in,
          test_idle_connections_cannot_keep_the_controller_out, test_admin_port_settings])
