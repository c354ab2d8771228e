"""Sharing in the real client: the transfer settings and directories of a fresh
start, the peer door and its port, share.dat, known.met read back by a parser of
this test (with every hash computed here), files that did not change, renamed
files, an old known.met, "a+" over a tree with a link loop, and a quit in the
middle of hashing a large file."""

import math
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from console_session import (PROMPT, Terminal, base_directory, check, main,  # noqa: E402
                             without_hashing_lines)
from md4 import md4  # noqa: E402
from pref_file import parse_pref, setting  # noqa: E402
from scripted_peer import HELLO_ANSWER, ScriptedPeer  # noqa: E402
from waiting import EVENT_TIMEOUT  # noqa: E402
from wire import FLOAT, INT, STRING, Reader, tag, tags, text, u8, u32  # noqa: E402

PART = 9728000
CRUMB = 486400
DONE = "Done loading shared files.\n"
NAME, SIZE, PRIORITY = b"\x01", b"\x02", b"\x13"


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def stored_paths(paths):
    return b"".join(text(p) for p in paths)


def door_of(port, name):
    """True when a hello on the port is answered by the client of that name."""
    try:
        peer = ScriptedPeer.connect(port, timeout=5)
    except OSError:
        return False
    try:
        peer.hello()
        return name.encode() in peer.expect(HELLO_ANSWER)
    except (AssertionError, EOFError, OSError):
        return False
    finally:
        peer.close()


def cannot_listen(client, port):
    """The client said that another program holds the port: then its door cannot be
    checked there."""
    if "can't listen on port %d." % port not in client.transcript:
        return False
    print("note: port %d is held by another program here; the door was not checked on it" % port)
    return True


class Client(Terminal):
    """The client on a terminal; run() sends a command and answers what it printed
    before the next prompt."""

    def __init__(self, cwd):
        self.transcript = ""
        super().__init__(cwd, hashing_lines=True, ready=PROMPT)

    def expect(self, text, timeout=EVENT_TIMEOUT):
        before = super().expect(text, timeout)
        self.transcript += before + text
        return before

    def run(self, line):
        """What the command printed, without what the transfer side prints on its own
        (the transcript keeps that)."""
        self.send(line)
        return without_hashing_lines(self.expect(PROMPT))

    def wait_for_pass(self):
        """Until a hashing pass has ended and its lists are on the disk."""
        self.expect(DONE, timeout=60)

    def name(self):
        return [line for line in self.run("vo").splitlines() if line.startswith("Name:")][0].split()[1]

    def saw(self, text, timeout=EVENT_TIMEOUT):
        """Waits for text unless it came already."""
        if text not in self.transcript:
            self.expect(text, timeout)

    def quit(self, timeout=30):
        super().quit(timeout)


def one_pass(cwd):
    """Runs the client until a hashing pass has ended, then quits it; the client, whose
    transcript stays."""
    with Client(cwd) as client:
        client.wait_for_pass()
        client.quit()
    return client


def share_listing(client):
    """The shared directories as "vs" numbers them."""
    out = client.run("vs")
    return [line.split(") ", 1)[1] for line in out.splitlines() if line.startswith("(")]


def parse_known(path):
    """The records of known.met: time, hash, tags and both hash sets; fails
    unless the file is whole."""
    with open(path, "rb") as f:
        r = Reader(f.read())
    check(r.u8() == 0x0E, "known.met lacks its list mark")
    records = []
    for _ in range(r.u32()):
        check(r.u8() == 2, "a record of another layout")
        record = {"time": r.u32(), "hash": r.hash(), "tags": r.file_tags()}
        size = setting(record["tags"], SIZE)
        parts, crumbs = math.ceil(size / PART), math.ceil(size / CRUMB)
        record["parts"] = record["crumbs"] = None
        if size and parts >= 2 and r.u8():
            record["parts"] = [r.take(16) for _ in range(parts)]
        if size and crumbs >= 2 and r.u8():
            record["crumbs"] = [r.take(8) for _ in range(crumbs)]
        records.append(record)
    check(r.left() == 0, "known.met has %d bytes after its records" % r.left())
    return {setting(rec["tags"], NAME).decode(): rec for rec in records}


def expected_hashes(data, digest=md4):
    """File hash, part hashes (two parts or more) and crumb hashes (two crumbs or
    more) as the record must hold them."""
    parts = [digest(data[i:i + PART]) for i in range(0, len(data), PART)] or [digest(b"")]
    crumbs = [digest(data[i:i + CRUMB])[:8] for i in range(0, len(data), CRUMB)]
    file_hash = digest(b"".join(parts)) if len(parts) >= 2 else parts[0]
    return file_hash, parts if len(parts) >= 2 else None, crumbs if len(crumbs) >= 2 else None


def test_a_fresh_start_keeps_the_defaults_and_listens():
    with base_directory() as cwd:
        with Client(cwd) as client:
            # Once a command has run, the transfer side has loaded.
            check(share_listing(client) == [os.path.join(cwd, "incoming")], "vs")
            if not cannot_listen(client, 4662):
                check(door_of(4662, client.name()), "no door on 4662")
            client.quit()
        check(os.path.isdir(os.path.join(cwd, "incoming")), "no incoming directory")
        check(os.path.isdir(os.path.join(cwd, "temp")), "no temp directory")
        _, settings = parse_pref(os.path.join(cwd, "pref.met"))
        defaults = [(INT, b"doorPort", 4662), (STRING, b"incoming", os.path.join(cwd, "incoming").encode()),
                    (STRING, b"temp", os.path.join(cwd, "temp").encode()), (INT, b"saveCor", 1),
                    (INT, b"verifyCancel", 1), (INT, b"pmAllow", 0), (INT, b"frAllow", 0),
                    (INT, b"resHD", 102400)]
        for kind, key, value in defaults:
            found = [t for t in settings if t[1] == key]
            check(found == [[kind, key, value]], "%s: %r" % (key, found))

        with Client(cwd) as client:
            share_listing(client)
            name = client.name()
            check(client.run("port 4700") == "TCP port changed to 4700\n", "port 4700")
            if not cannot_listen(client, 4700):
                check(door_of(4700, name) and not door_of(4662, name), "the door did not move")
            again = client.run("port 4700")
            check(again == "TCP port changed to 4700\n", "port 4700 again: %r" % again)
            if not cannot_listen(client, 4700):
                check(door_of(4700, name), "the door went away")
            check(client.run("port") == "4700\n", "port")
            check(client.run("port 0") == "4700\n", "port 0")
            client.quit()
        _, settings = parse_pref(os.path.join(cwd, "pref.met"))
        check(setting(settings, b"doorPort") == 4700, "the port was not kept")


def test_shared_directories_and_share_dat():
    with base_directory() as cwd:
        incoming = os.path.join(cwd, "incoming")
        s1, s2 = os.path.join(cwd, "S1"), os.path.join(cwd, "S2")
        os.mkdir(s1)
        os.mkdir(s2)
        with Client(cwd) as client:
            client.run("a S1")
            client.run("a S2")
            check("directory already added.\n" in client.run("a S2"), "duplicate accepted")
            check(client.run("a nothere") == "directory not valid: %s\n" % os.path.join(cwd, "nothere"),
                  "a on a missing directory")
            check(client.run("a") == "Invalid arguments.", "a without a directory")
            client.quit()
        with open(os.path.join(cwd, "share.dat"), "rb") as f:
            check(f.read() == stored_paths([incoming, s1, s2]), "share.dat")

        with Client(cwd) as client:
            check(share_listing(client) == [incoming, s1, s2], "the directories read back")
            client.run("u 1")
            check(share_listing(client) == [s1, s2, incoming], "u 1 drops incoming")
            check(client.run("u") == "Invalid Directory number.\n", "u without a number")
            client.quit()

        write(os.path.join(cwd, "share.dat"),
              stored_paths([incoming + "/", "", os.path.join(cwd, "gone")]))
        with Client(cwd) as client:
            check(share_listing(client) == [incoming + "/"], "incoming listed other than once")
            client.quit()


def test_known_met_holds_every_hash():
    with base_directory() as cwd:
        shared = os.path.join(cwd, "S")
        os.mkdir(shared)
        crumb = bytes((i * 7 + (i >> 9)) & 0xFF for i in range(CRUMB))
        files = {"empty": b"", "small": b"hello", "two crumbs": crumb + b"!",
                 "two parts": crumb * 20 + b"?"}
        for name, data in files.items():
            write(os.path.join(shared, name), data)
        write(os.path.join(cwd, "share.dat"), stored_paths([shared]))
        one_pass(cwd)

        known = parse_known(os.path.join(cwd, "known.met"))
        check(sorted(known) == sorted(files), "records %r" % sorted(known))
        for name, data in files.items():
            rec = known[name]
            file_hash, parts, crumbs = expected_hashes(data)
            check(rec["hash"] == file_hash, "%s: file hash" % name)
            check(rec["parts"] == parts, "%s: part hashes" % name)
            check(rec["crumbs"] == crumbs, "%s: crumb hashes" % name)
            check(setting(rec["tags"], SIZE) == len(data), "%s: size" % name)
            check(setting(rec["tags"], PRIORITY) == 0, "%s: upload priority" % name)
            check(setting(rec["tags"], b"# Sent") == 0.0, "%s: copies sent" % name)
            check([t[0] for t in rec["tags"] if t[1] == b"# Sent"] == [FLOAT], "%s: # Sent" % name)
            check(rec["time"] == int(os.stat(os.path.join(shared, name)).st_mtime), "%s: time" % name)

        # A file whose size, time and name did not change is not read again: new bytes
        # behind the same time keep the old hash. A renamed file is hashed again.
        small = os.path.join(shared, "small")
        st = os.stat(small)
        write(small, b"HELLO")
        os.utime(small, ns=(st.st_atime_ns, st.st_mtime_ns))
        os.rename(os.path.join(shared, "two crumbs"), os.path.join(shared, "renamed"))
        one_pass(cwd)
        again = parse_known(os.path.join(cwd, "known.met"))
        check(again["small"]["hash"] == md4(b"hello"), "an unchanged file was read again")
        check("two crumbs" not in again, "the old name stayed")
        check(again["renamed"]["hash"] == known["two crumbs"]["hash"], "the renamed file")
        check(len(again) == len(known), "records %r" % sorted(again))


def test_an_old_known_met_is_hashed_again():
    with base_directory() as cwd:
        shared = os.path.join(cwd, "S")
        os.mkdir(shared)
        data = bytes(range(256)) * 2000
        write(os.path.join(shared, "f"), data)
        file_hash, _, _ = expected_hashes(data)
        mtime = int(os.stat(os.path.join(shared, "f")).st_mtime)
        # Its first file of more than one crumb has no crumb hashes.
        record = (u8(2) + u32(mtime) + file_hash
                  + tags(tag(STRING, NAME, b"f"), tag(INT, SIZE, len(data))) + b"\x00")
        write(os.path.join(cwd, "known.met"), u8(0x0E) + u32(1) + record)
        write(os.path.join(cwd, "share.dat"), stored_paths([shared]))
        client = one_pass(cwd)
        check("Old known.met\n" in client.transcript, "said %r" % client.transcript)
        known = parse_known(os.path.join(cwd, "known.met"))
        check(known["f"]["crumbs"] == expected_hashes(data)[2], "no crumb hashes after the pass")


def test_a_plus_adds_each_real_directory_once():
    with base_directory() as cwd:
        tree, outside = os.path.join(cwd, "T"), os.path.join(cwd, "E")
        for d in ("T/a", "T/b/c", "T/.hidden/d", "E"):
            os.makedirs(os.path.join(cwd, d))
        os.symlink("..", os.path.join(tree, "b", "loop"))
        os.symlink(tree, os.path.join(tree, "a", "up"))
        os.symlink(outside, os.path.join(tree, "ext"))
        with Client(cwd) as client:
            share_listing(client)
            client.run("a+ T")
            listed = share_listing(client)
            client.quit()
        expected = [os.path.join(cwd, "incoming"), tree] + [os.path.join(tree, d) for d in ("a", "b", "b/c", "ext")]
        check(sorted(listed) == sorted(expected) and len(listed) == len(set(listed)), "listed %r" % listed)


def test_a_quit_ends_the_hash_of_a_large_file():
    with base_directory() as cwd:
        shared = os.path.join(cwd, "S")
        os.mkdir(shared)
        with open(os.path.join(shared, "big"), "wb") as f:
            f.truncate(3 * 1000 * 1000 * 1000)
        write(os.path.join(shared, "small"), b"x")
        write(os.path.join(cwd, "share.dat"), stored_paths([shared]))
        with Client(cwd) as client:
            client.saw("Loading shared files...\n")
            time.sleep(0.5)
            start = time.monotonic()
            client.quit()
            took = time.monotonic() - start
        known = parse_known(os.path.join(cwd, "known.met"))
        check("big" not in known, "a record of the file whose hash was cut short")
        print("quit while hashing 3 GB: ended in %.1f s" % took)


if __name__ == "__main__":
    main([test_a_fresh_start_keeps_the_defaults_and_listens,
          test_shared_directories_and_share_dat,
          test_known_met_holds_every_hash,
          test_an_old_known_met_is_hashed_again,
          test_a_plus_adds_each_real_directory_once,
          test_a_quit_ends_the_hash_of_a_large_file])
