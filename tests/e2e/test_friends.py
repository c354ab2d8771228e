"""Friends and chat in the real client against scripted peers at its door: a friend
added from a connection and kept in friend.met over a restart, browsing a friend's
directories and files, "frAllow" against strangers, and
"pmAllow" deciding whose chat messages are shown and who is refused."""

import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from console_session import (PROMPT, Terminal, base_directory, check, main,  # noqa: E402
                             run_piped)
from pref_file import free_port, parse_pref, put, setting, write_pref  # noqa: E402
from scripted_peer import (CHAT, DIRECTORY_FILES, DIRECTORY_FILES_REQUEST, DIRECTORY_LIST,  # noqa: E402
                           DIRECTORY_LIST_REQUEST, HELLO_ANSWER, NO_CHAT, NO_FILE_VIEW, PING,
                           PING_ANSWER, ScriptedPeer, directory_files, directory_list,
                           named_file)
from wire import INT, Reader, ip_value, text  # noqa: E402

NAME = b"\x01"


def prepared(cwd, **settings):
    """A base directory whose pref.met has a free door port and the given int settings."""
    code, out = run_piped(cwd, "q\ny\n")
    check(code == 0, "the first start ended with %r: %r" % (code, out))
    path = os.path.join(cwd, "pref.met")
    user, values = parse_pref(path)
    port = free_port()
    put(values, INT, b"doorPort", port)
    for key, value in settings.items():
        put(values, INT, key.encode(), value)
    write_pref(path, user, values)
    return port


class Client(Terminal):
    """The client on a terminal: run() answers what a command printed before the next
    prompt."""

    def __init__(self, cwd):
        super().__init__(cwd, ready=PROMPT)

    def run(self, line):
        self.send(line)
        return self.expect(PROMPT)

    def run_until(self, line, wanted, tries=50):
        """Runs the command until its output holds wanted (a peer's answer is handled on
        the client's own time)."""
        for _ in range(tries):
            out = self.run(line)
            if wanted in out:
                return out
            time.sleep(0.1)
        raise AssertionError("%r never printed %r; last %r" % (line, wanted, out))

    def quit(self, timeout=30):
        super().quit(timeout)


def greeted(port, name, seed):
    """A scripted peer at the door that said hello as name, with a user hash of its own."""
    peer = ScriptedPeer.connect(port)
    peer.user_hash = bytes(range(seed, seed + 16))
    peer.hello(name=name)
    peer.expect(HELLO_ANSWER)
    return peer


def answered(peer, opcode, body=b""):
    """Sends a frame and then a ping; answers the opcodes that came before the ping's
    answer."""
    peer.send(opcode, body)
    peer.send(PING)
    seen = []
    while True:
        got = peer.recv_frame()
        check(got is not None, "no answer to the ping after %d" % opcode)
        if got[0] == PING_ANSWER:
            return seen
        seen.append(got[0])


def friend_records(path):
    """The user records of friend.met: address, port, hash, tags; fails unless whole."""
    with open(path, "rb") as f:
        r = Reader(f.read())
    check(r.u8() == 0x0E, "friend.met lacks its list mark")
    records = []
    for _ in range(r.u32()):
        records.append({"ip": r.u32(), "port": r.u16(), "hash": r.hash(), "tags": r.file_tags()})
    check(r.left() == 0, "friend.met has bytes after its records")
    return records


def test_a_friend_is_kept_over_a_restart():
    with base_directory() as cwd:
        port = prepared(cwd)
        with Client(cwd) as c:
            alice = greeted(port, "alice", 0x10)
            c.run_until("vp", "(1) alice")
            check(c.run("afr 1") == "added friend.\n", "afr answered otherwise")
            out = c.run("gfr")
            check(out == "(1)\talice\t [connected]\n", "gfr listed %r" % out)
            alice_port = alice.sock.getsockname()[1]
            c.quit()
        records = friend_records(os.path.join(cwd, "friend.met"))
        check(len(records) == 1, "friend.met holds %d records" % len(records))
        record = records[0]
        check(record["ip"] == ip_value("127.0.0.1") and record["port"] == alice_port,
              "the friend's address is %r" % record)
        check(record["hash"] == bytes(range(0x10, 0x20)), "the friend's hash is %r" % record)
        check(setting(record["tags"], NAME) == b"alice", "the friend's name is missing")
        alice.close()

        with Client(cwd) as c:
            out = c.run("gfr")
            check(out == "(1)\t127.0.0.1\t%d\t [not connected]\n" % alice_port,
                  "after the restart gfr listed %r" % out)
            c.quit()


def test_browsing_a_friend():
    with base_directory() as cwd:
        port = prepared(cwd)
        with Client(cwd) as c:
            bob = greeted(port, "bob", 0x20)
            c.run_until("vp", "(1) bob")
            c.run("afr 1")
            out = c.run("gfr 1")
            check(out == "Asking bob for file list.\nfetching requested dirs...\n",
                  "gfr 1 printed %r" % out)
            bob.expect(DIRECTORY_LIST_REQUEST)
            bob.send(DIRECTORY_LIST, directory_list(["music", "video"]))
            out = c.run_until("gfr 1", "2 directories:")
            check(out == "2 directories:\n1) music\n2) video\n", "the cached list: %r" % out)

            out = c.run("gfr 1 1")
            check(out == "Asking bob for file list.\nfetching requested files...\n",
                  "gfr 1 1 printed %r" % out)
            check(bob.expect(DIRECTORY_FILES_REQUEST) == text("music"), "94 names music")
            song = bytes(range(0x60, 0x70))
            bob.send(DIRECTORY_FILES, directory_files("music", [named_file(song, "song.ogg", 12345)]))
            out = c.run_until("gfr 1 1", "1 files:")
            check("song.ogg" in out, "the cached files: %r" % out)

            out = c.run("gfr 1 2 1")
            check(out == "Attempting to download invalid file: 1\n", "gfr 1 2 1 printed %r" % out)
            # The friend's file becomes a download of that name.
            c.run("gfr 1 1 1")
            c.run_until("vd", "song.ogg")
            c.quit()
        bob.close()


def test_fr_allow_one_keeps_strangers_out_even_after_an_unsolicited_list():
    with base_directory() as cwd:
        port = prepared(cwd, frAllow=1)
        with Client(cwd) as c:
            eve = greeted(port, "eve", 0x30)
            check(answered(eve, DIRECTORY_LIST_REQUEST) == [NO_FILE_VIEW], "93 not refused")
            check(answered(eve, DIRECTORY_LIST, directory_list(["bait"])) == [], "95 answered")
            check(answered(eve, DIRECTORY_LIST_REQUEST) == [NO_FILE_VIEW],
                  "a stranger's own list let it in")
            check(answered(eve, DIRECTORY_FILES_REQUEST, text("bait")) == [NO_FILE_VIEW],
                  "94 not refused")
            check(c.run("gfr") == "", "the stranger became a friend")
            c.quit()
        eve.close()


def test_pm_allow_decides_whose_messages_are_shown():
    with base_directory() as cwd:
        port = prepared(cwd, pmAllow=2)
        with Client(cwd) as c:
            carol = greeted(port, "carol", 0x40)
            check(answered(carol, CHAT, text("first")) == [NO_CHAT], "pmAllow 2 took a message")
            c.run("afr 1")
            c.quit()
        carol.close()

        path = os.path.join(cwd, "pref.met")
        user, values = parse_pref(path)
        put(values, INT, b"pmAllow", 1)
        write_pref(path, user, values)
        with Client(cwd) as c:
            carol = greeted(port, "carol", 0x40)
            dave = greeted(port, "dave", 0x50)
            check(answered(carol, CHAT, text("hi there")) == [], "a friend was refused")
            c.expect("Message from carol: hi there\n")
            check(answered(carol, CHAT, text("%s%n\x1b[2J")) == [], "the second was refused")
            c.expect("Message from carol: %s%n?[2J\n")
            check(answered(dave, CHAT, text("let me in")) == [NO_CHAT], "a stranger was heard")
            out = c.run("vp")
            check("let me in" not in out, "a refused message was shown")
            c.quit()
        carol.close()
        dave.close()


if __name__ == "__main__":
    main([
        test_a_friend_is_kept_over_a_restart,
        test_browsing_a_friend,
        test_fr_allow_one_keeps_strangers_out_even_after_an_unsolicited_list,
        test_pm_allow_decides_whose_messages_are_shown,
    ])
