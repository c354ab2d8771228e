"""The console on a terminal: welcome lines, prompt, unknown commands, the
confirmed quit, and what a server's texts may put on it."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from byte_compare import hex_window  # noqa: E402
from console_session import (PROMPT, QUESTION, UNKNOWN, WELCOME, Terminal,  # noqa: E402
                             base_directory, check, check_log, main)
from fake_index_server import (DESCRIPTION, ID_RECEIVED, LOGIN, NAME, SEARCH, SIZE,  # noqa: E402
                               FakeIndexServer, id_change, own_record, search_results,
                               server_message)
from server_session import Client  # noqa: E402
from wire import file_record, tag_int, tag_string  # noqa: E402


def test_welcome_then_prompt():
    with base_directory() as cwd:
        with Terminal(cwd) as t:
            check(t.expect(WELCOME + PROMPT) == "", "text before the welcome lines")


def test_unknown_command():
    with base_directory() as cwd:
        with Terminal(cwd) as t:
            t.expect(PROMPT)
            for line in ["foo", "", "Q", "VR", "echo hi"]:
                t.send(line)
                check(t.expect(UNKNOWN + PROMPT) == "", "extra output for %r" % line)


def test_quit_no_keeps_running_yes_ends_with_status_0():
    with base_directory() as cwd:
        with Terminal(cwd) as t:
            t.expect(PROMPT)
            t.send("q")
            t.expect(QUESTION)
            t.send("n")
            t.expect(PROMPT)
            check(t.running(), "client ended after answering n")
            t.quit()
            check_log(cwd)


def test_log_from_an_earlier_run_is_replaced():
    with base_directory() as cwd:
        with open(os.path.join(cwd, "log.txt"), "w") as f:
            f.write("left over\n" * 3)
        with Terminal(cwd) as t:
            t.expect(PROMPT)
            t.quit()
            check_log(cwd)


# Control bytes a hostile server can put in its texts: escape sequences (colour, clearing
# the screen, the window title), the bell, a C1 control in UTF-8 and on its own, and DEL.
# Each must show as '?' (one per character); UTF-8 text stays readable.
HOSTILE = [
    (b"hello \x1b[31mRED\x1b[0m", "hello ?[31mRED?[0m"),
    (b"bell\x07 csi\xc2\x9b2J lone\x9b1m del\x7f", "bell? csi?2J lone?1m del?"),
]
SERVER_NAME = (b"Evil\x1b]0;owned\x07Name", "Evil?]0;owned?Name")
DESCRIPTION_TEXT = (b"desc \x1b[2J\x1b[H", "desc ?[2J?[H")
RESULTS = [
    (b"song \x1b[5mblink\x1b[0m.mp3", "song ?[5mblink?[0m.mp3"),
    ("caf\u00e9 \u2615 \x1b[1m.mp3".encode(), "caf\u00e9 \u2615 ?[1m.mp3"),
    # A row of its own: its line end and tab make no row or column.
    (b"two\n(9) lines\there.mp3", "two?(9) lines?here.mp3"),
]
CONTROLS = (b"\x1b", b"\x07", b"\x7f", b"\x9b")


def test_a_servers_texts_reach_the_terminal_without_their_control_bytes():
    with base_directory() as cwd, FakeIndexServer() as server:
        server.reply(LOGIN, id_change(0x0100007F),
                     *[server_message(sent) for sent, _ in HOSTILE],
                     own_record(SERVER_NAME[0], tag_string(DESCRIPTION, DESCRIPTION_TEXT[0])))
        with Client(cwd) as client:
            client.cmd("n 127.0.0.1 %d" % server.port)
            client.cmd("c")
            server.expect(ID_RECEIVED)
            for _, shown in HOSTILE:
                client.saw(shown + "\n")
            client.saw("Connected to: %s\n" % SERVER_NAME[1])
            listing = client.until("vm", SERVER_NAME[1])
            check(DESCRIPTION_TEXT[1] in listing, "vm: %r" % listing)

            client.cmd("s song")
            server.expect(SEARCH)
            server.send(*search_results([
                file_record(bytes([n]) * 16, tag_string(NAME, sent), tag_int(SIZE, 1000 + n))
                for n, (sent, _) in enumerate(RESULTS, 1)]))
            client.saw("Results returned\n")
            rows = client.cmd("vr")
            for n, (_, shown) in enumerate(RESULTS, 1):
                check("(%d) %s\t%d\t\n" % (n, shown, 1000 + n) in rows, "vr: %r" % rows)
            client.cmd("d 3")
            downloads = client.until("vd", RESULTS[2][1])
            check("(1) %s:\n" % RESULTS[2][1] in downloads, "vd: %r" % downloads)
            client.quit()
        for byte in CONTROLS:
            at = client.raw.find(byte)
            check(at < 0, "%r reached the terminal: %s" % (byte, hex_window(client.raw, at)))


if __name__ == "__main__":
    main([test_welcome_then_prompt, test_unknown_command,
          test_quit_no_keeps_running_yes_ends_with_status_0,
          test_log_from_an_earlier_run_is_replaced,
          test_a_servers_texts_reach_the_terminal_without_their_control_bytes])
