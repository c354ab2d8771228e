"""The peer protocol against the real client: scripted peers at its door, and two clients
that exchange hellos once a peer asks one to connect to the other."""

import os
import re
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from console_session import Terminal, base_directory, check, main, wait_listening  # noqa: E402
from md4 import md4  # noqa: E402
from pref_file import free_port, write_pref  # noqa: E402
from waiting import EVENT_TIMEOUT  # noqa: E402
import scripted_peer as sp  # noqa: E402
from wire import INT, MARKER, STRING, ip_value, text, u8, u16, u32  # noqa: E402

LOOPBACK_ID = ip_value(sp.LOOPBACK)
# The end of the quit's question.
ASKED = "(y or n): "


def start(cwd, door_port, name, fr_allow=None, hashing_lines=False):
    """The client on a terminal in cwd, its door on door_port, once the door answers."""
    settings = [[INT, b"doorPort", door_port]]
    if fr_allow is not None:
        settings.append([INT, b"frAllow", fr_allow])
    user = {"address": 0, "port": 0, "hash": os.urandom(16),
            "tags": [[STRING, b"\x01", name.encode()]]}
    write_pref(os.path.join(cwd, "pref.met"), user, settings)
    t = Terminal(cwd, hashing_lines=hashing_lines, ready="> ")
    wait_listening(door_port, "the door on %d never opened" % door_port)
    return t


def peer_lines(t):
    """The description lines of the peer connections, by "master" and "vp"."""
    t.send("master")
    t.expect("Master mode on.\n> ")
    t.send("vp")
    text = t.expect("> ")
    return [line for line in text.splitlines() if "keep:" in line]


def wait_listed(t, pattern, timeout=EVENT_TIMEOUT):
    deadline = time.monotonic() + timeout
    while True:
        lines = peer_lines(t)
        found = [line for line in lines if re.search(pattern, line)]
        if found:
            return found[0]
        check(time.monotonic() < deadline, "no peer line like %r in %r" % (pattern, lines))
        time.sleep(0.2)


def test_two_clients_exchange_hellos():
    with base_directory() as a_dir, base_directory() as b_dir:
        a_port, b_port = free_port(), free_port()
        with start(b_dir, b_port, "bob") as b, start(a_dir, a_port, "alice") as a:
            # A scripted peer at alice's door asks her to connect to bob (opcode 90).
            relay = sp.ScriptedPeer.connect(a_port)
            relay.hello(name="relay")
            relay.expect(sp.HELLO_ANSWER)
            relay.send(sp.CONNECT_REQUEST, u32(LOOPBACK_ID) + u16(b_port))
            line = wait_listed(a, r"^\(\d+\) bob ")
            check(re.search(r"\[127\.0\.0\.1:%d\] \(\d+\) 10501 \(.*\) \[1\] keep: 0$" % b_port,
                            line), "alice lists %r" % line)
            line = wait_listed(b, r"^\(\d+\) alice ")
            check(re.search(r"\[127\.0\.0\.1:%d\] \(\d+\) 10501 \(.*\) \[1\] keep: 0$" % a_port,
                            line), "bob lists %r" % line)
            a.quit(question=ASKED)
            b.quit(question=ASKED)


def test_scripted_peers_at_the_door():
    with base_directory() as cwd:
        port = free_port()
        with start(cwd, port, "carol", fr_allow=2) as t:
            good = sp.ScriptedPeer.connect(port)
            good.user_hash = bytes([1] * 16)
            good.hello(name="good")
            good.expect(sp.HELLO_ANSWER)
            bad = sp.ScriptedPeer.connect(port)
            bad.user_hash = bytes([2] * 16)
            bad.hello(name="spoilt", good_trailer=False)
            bad.expect(sp.HELLO_ANSWER)
            check(bad.quiet(0.3), "the peer with a bad trailer was not kept")
            check(re.search(r"\[1\] keep: 0$", wait_listed(t, r"^\(\d+\) good ")), "good not [1]")
            check(re.search(r"\[0\] keep: 0$", wait_listed(t, r"^\(\d+\) spoilt ")),
                  "spoilt not [0]")

            unknown = bytes(range(16))
            rows = [
                ("ping", sp.PING, b"", sp.PING_ANSWER, b""),
                ("status of a file not shared", sp.FILE_STATUS_REQUEST, unknown,
                 sp.NO_SUCH_FILE, unknown),
                ("upload request for a file not shared", sp.UPLOAD_REQUEST, unknown,
                 sp.NO_SUCH_FILE, unknown),
                ("partner request", sp.PARTNER_REQUEST, unknown, sp.PARTNER_DENIED, unknown),
                ("directory list with frAllow 2", sp.DIRECTORY_LIST_REQUEST, b"",
                 sp.NO_FILE_VIEW, b""),
                ("directory files with frAllow 2", sp.DIRECTORY_FILES_REQUEST, text("x"),
                 sp.NO_FILE_VIEW, b""),
            ]
            for what, op, body, answer, answer_body in rows:
                good.send(op, body)
                got = good.expect(answer)
                check(got == answer_body, "%s: answered %r" % (what, got))

            # A second hello is no hello: nothing answers it and the peer stays.
            good.hello(name="good")
            good.send(sp.PING)
            good.expect(sp.PING_ANSWER)

            # A header announcing 0xFFFFFFF0 bytes closes the connection before anything is
            # made for it.
            before = t.resident_kib()
            good.send_raw(u8(MARKER) + u32(0xFFFFFFF0))
            check(good.closed(), "the client kept a connection announcing 4 GiB")
            check(t.resident_kib() - before < 2048, "memory grew by %d KiB"
                  % (t.resident_kib() - before))
            # The other peer is untouched.
            bad.send(sp.PING)
            bad.expect(sp.PING_ANSWER)
            t.quit(question=ASKED)


DONE = "Done loading shared files.\n"


def test_shared_files_are_offered():
    with base_directory() as cwd:
        shared = os.path.join(cwd, "S")
        os.mkdir(shared)
        data = bytes(range(256)) * 40
        with open(os.path.join(shared, "song.ogg"), "wb") as f:
            f.write(data)
        file_hash = md4(data)
        port = free_port()
        with start(cwd, port, "dave", hashing_lines=True) as t:
            t.expect(DONE, timeout=60)
            t.send("a S")
            t.expect(DONE, timeout=60)
            peer = sp.ScriptedPeer.connect(port)
            peer.hello(name="asker")
            peer.expect(sp.HELLO_ANSWER)
            # A complete file's status: count 0 and one pad byte, 20 bytes in all.
            peer.send(sp.FILE_STATUS_REQUEST, file_hash)
            status = peer.expect(sp.FILE_STATUS)
            check(len(status) + 1 == 20 and status == file_hash + b"\0\0\0",
                  "file status %r" % status)
            peer.send(sp.FILE_NAME_REQUEST, file_hash)
            check(peer.expect(sp.FILE_NAME) == file_hash + text("song.ogg"), "file name")
            # Queued for the upload, then granted by an idle slot: not refused.
            peer.send(sp.UPLOAD_REQUEST, file_hash)
            peer.expect(sp.SLOT_GRANTED, skip=(sp.ADDRESS_DIFFERS, sp.QUEUE_RANK))
            t.quit(question=ASKED)


if __name__ == "__main__":
    main([test_two_clients_exchange_hellos, test_scripted_peers_at_the_door,
          test_shared_files_are_offered])
