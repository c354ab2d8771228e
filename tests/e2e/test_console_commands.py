"""The general and settings commands on the real client: the help listing
through the pager, master mode, the option lines, settings kept from one run to
the next, and the settings commands' answers."""

import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from console_session import (PROMPT, QUESTION, UNKNOWN, WELCOME, Terminal,  # noqa: E402
                             base_directory, check, main, run_piped)

# The help listing, one entry per printed line; the last holds a line end of
# its own.
HELP = [
    "Commands: (optional arguments)",
    "add new server: n servername",
    "\tExample: n 192.0.2.10",
    "b # : remove server",
    "\tExample: b 2",
    "connect: c (#) [# is the number displayed in the server view]",
    "\tExample: c",
    "\tExample: c 2",
    "search: s searchstring (-searchtype[Audio, Video, Image, Pro, Doc, Col ])",
    "\tExample: s fat day -Audio",
    "view results: vr",
    "extend search: xs",
    "space: show space available and the amount of space needed by downloads",
    "download: d # ",
    "\tExample: d 5",
    "view downloads: vd",
    "change download: m # [option] [# is the number displayed in the download view]",
    "\toptions: c -cancel the download",
    "\toptions: p -pause the download",
    "\toptions: r -resume the download",
    "\toptions: l -change download priority to low",
    "\toptions: n -change download priority to normal",
    "\toptions: h -change download priority to high",
    "\toptions: v -view the details of the download",
    "g\t\t: get server stats",
    "name [desired name]\t: change your user name",
    "temp [dirname]\t: sets the temp directory.",
    "in [dirname]\t: sets the incoming directory.",
    "lang [string table name]\t: changes the string table used.",
    "dumax # #\t: sets the maximum download and upload bandwidth.(in KB/sec)",
    "line #\t: Sets the maximum possible download speed of your line.(in KB/sec)",
    "auto (-)\t: sets auto connect on or off(-).",
    "save (-)\t: sets 'save corrupted complete downloads' on or off(-).",
    "asr (-)\t: sets 'automatically remove dead servers' on or off(-).",
    "mcon #\t: sets max. number of connections from peers allowed to your machine.",
    "dllink\t: starts a download from an tnv4-link - usage:",
    "dllink tnv4://|file|<filename>|<size in bytes>|<hash>|",
    "glist [url]\t: updates the server list from a URL",
    "pass (name password)\t: sets the name and password to allow a remote controller",
    "\t\t\t of this client. If name ans password are left blank then the username",
    "\t\t\t and password are cleared and no remote control is allowed.",
    "\tExample: pass zet quimbal",
    "verbose (-)\t: sets debugging messages on or off(-).",
    "port #\t: sets the port that you listen for other clients on. Takes effect upon restart.",
    "aport #\t: sets the port that you listen for controllers on. Takes effect upon restart.",
    "vo\tview options",
    "vu\tView Uploads",
    "vq\tView Upload Queue",
    "vm\tview servers",
    "vf\tview shared files",
    "vs\tview shared directories",
    "vp\tview connections to other clients",
    "a dirname\t:add shared directory.",
    "\tExample: a usr/movies",
    "a+ dirname\t:add shared directory include subdirectories",
    "\tExample: a+ c:\\program files",
    "unshared directory: u # ",
    "\tExample: u 7",
    "disconnect: x",
    "quit: q",
    "\nhttps://tornavel.example.org/",
]
NEXT_PAGE = "press space bar for next page, 'q' to quit"


def page_text(lines):
    return "".join(line + "\n" for line in lines)


def options(name="", down="0.00", up="0.00", line="0.00", verbose=0, max_con=45, lines=24):
    return ("Name:\t\t\t%s\nAdminName:\t\t\nAdminPass:\t\t\nAdminPort:\t\t4663\n"
            "Max Download Speed:\t%s\nMax Upload Speed:\t%s\n"
            "Line Speed Down:\t%s\nDoor Port:\t\t4662\nAutoConnect:\t\t0\nAutoReconnect:\t\t1\n"
            "Verbose:\t\t%d\nSaveCorrupted:\t\t1\nAutoServerRemove:\t1\n"
            "MaxConnections:\t\t%d\nScreenLines:\t\t%d\n"
            % (name, down, up, line, verbose, max_con, lines))


def read_help(t, page):
    """Types "?" and pages through the whole listing with the space bar."""
    t.send("?")
    for start in range(0, len(HELP), page):
        chunk = HELP[start:start + page]
        last = start + page >= len(HELP)
        got = t.expect(PROMPT if last else NEXT_PAGE)
        check(got == page_text(chunk), "page at line %d:\n%r\nwanted\n%r"
              % (start + 1, got, page_text(chunk)))
        if not last:
            os.write(t.master, b" ")
            t.expect("\n")


def test_help_pages_by_24_and_q_ends_it():
    with base_directory() as cwd:
        with Terminal(cwd) as t:
            t.expect(WELCOME + PROMPT)
            read_help(t, 24)
            # 'q' after the first page: nothing more of the listing.
            t.send("?")
            got = t.expect(NEXT_PAGE)
            check(got == page_text(HELP[:24]), "first page %r" % got)
            os.write(t.master, b"q")
            check(t.expect(PROMPT) == "\n", "more after q: %r" % t.seen)
            t.send("vo")
            check(HELP[24] not in t.expect(PROMPT), "listing went on after q")
            t.quit()


def test_master_and_fresh_options():
    with base_directory() as cwd:
        status, out = run_piped(cwd, "master\nmaster foo\nmaster -x\nmaster\nvo\n")
        check(status == 0, "status %r" % status)
        turns = out[len(WELCOME):].split(PROMPT)
        check(turns[1:5] == ["Master mode on.\n", "Master mode on.\n", "Master mode off.\n",
                             "Master mode on.\n"], "master gave %r" % turns[1:5])
        name = turns[5].split("\n")[0].split("\t")[-1]
        check(len(name) == 5 and name.isalpha() and name.islower(), "fresh name %r" % name)
        check(turns[5] == options(name), "fresh options %r" % turns[5])


def test_options_as_arguments_around_a_wait():
    with base_directory() as cwd:
        started = time.monotonic()
        status, out = run_piped(cwd, "", args=["vo", "w1", "vo"])
        took = time.monotonic() - started
        check(status == 0, "status %r" % status)
        check(took >= 1.0, "took only %.2f s" % took)
        name = out.split("\n")[0].split("\t")[-1]
        want = options(name) + "Waiting 1\n" + options(name) + WELCOME + PROMPT
        check(out.startswith(want), "got %r" % out)


def test_settings_are_kept_for_the_next_run():
    with base_directory() as cwd:
        status, out = run_piped(cwd, "name alice\nmcon 77\nlines 10\nq\ny\n")
        check(status == 0, "status %r" % status)
        check(out == WELCOME + PROMPT + "ok.\n" + PROMPT + "Done.\n" + PROMPT + "set.\n"
              + PROMPT + QUESTION, "run 1 %r" % out)
        with Terminal(cwd) as t:
            t.expect(WELCOME + PROMPT)
            t.send("vo")
            got = t.expect(PROMPT)
            check(got == options("alice", max_con=77, lines=10), "run 2 options %r" % got)
            read_help(t, 10)
            t.send("lines 0")
            check(t.expect(PROMPT) == "", "lines 0 answered")
            t.send("lines")
            check(t.expect(PROMPT) == "10\n", "lines 0 changed the page")
            read_help(t, 10)
            t.quit()


def test_settings_commands_answer():
    steps = [
        ("mcon 12x", ""),
        ("mcon", "45\n"),
        ("mcon -5", "Done.\n"),
        ("dumax 40 3", "Done.\n"),
        ("dumax 1", "d/u: 9.00/3.00\n"),
        ("line 12.7", "Done.\n"),
        ("line", "12\n"),
        ("lang nosuch", "ok.\n"),
        ("lang", "Invalid arguments.\n"),
        ("verbose", "Verbose mode on.\n"),
        ("name", "bob\n"),
        ("cps 1", ""),
        ("echo %s%s%s%s", UNKNOWN),
        ("vr", "None.\n"),
        ("vo", options("bob", down="9.00", up="3.00", line="12.70", verbose=1, max_con=-5)),
    ]
    with base_directory() as cwd:
        typed = "name bob\n" + "".join(line + "\n" for line, _ in steps)
        status, out = run_piped(cwd, typed)
        check(status == 0, "status %r" % status)
        turns = out[len(WELCOME):].split(PROMPT)[2:]
        for (line, want), got in zip(steps, turns):
            check(got == want, "%r gave %r, wanted %r" % (line, got, want))
        check(len(turns) == len(steps) + 1, "turns %r" % turns)


def test_self_tests_go():
    with base_directory() as cwd:
        # The "vd" lets the load of temp/ run first: it would find the self-test's download.
        status, out = run_piped(cwd, "vd\ntest\n")
        check(status == 0, "status %r" % status)
        check(out.endswith("go.\n" + PROMPT + "\n"), "got %r" % out)
        check("ERRORS" not in out, "got %r" % out)


if __name__ == "__main__":
    main([test_help_pages_by_24_and_q_ends_it, test_master_and_fresh_options,
          test_options_as_arguments_around_a_wait, test_settings_are_kept_for_the_next_run,
          test_settings_commands_answer, test_self_tests_go])
