"""The console on plain pipes: long lines, end of input and the arguments."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from console_session import (PROMPT, QUESTION, UNKNOWN, WELCOME, base_directory,  # noqa: E402
                             check, check_log, main, run_piped)
from pref_file import free_port  # noqa: E402
from server_session import server_met, server_met_record, write_server_met  # noqa: E402


def test_end_of_input_ends_with_status_0():
    for typed in ["", "foo\n", "foo"]:
        with base_directory() as cwd:
            status, out = run_piped(cwd, typed)
            check(status == 0, "status %r for input %r" % (status, typed))
            check(out.startswith(WELCOME + PROMPT), "output %r" % out)
            check(out.count(UNKNOWN) == (1 if typed else 0), "output %r" % out)
            check(QUESTION not in out, "asked although input ended: %r" % out)
            check_log(cwd)


def test_a_300_character_line_is_read_as_254_and_46():
    with base_directory() as cwd:
        status, out = run_piped(cwd, "z" * 300 + "\n")
        check(status == 0, "status %r" % status)
        check(out.count(UNKNOWN) == 2, "output %r" % out)
    # Character 255 starts a line of its own: "q" and 45 blanks is the quit
    # command run from the queue, and its question follows.
    with base_directory() as cwd:
        status, out = run_piped(cwd, "a" * 254 + "q" + " " * 45 + "\ny\n")
        check(status == 0, "status %r" % status)
        check(out == WELCOME + PROMPT + UNKNOWN + PROMPT + QUESTION, "output %r" % out)
        check_log(cwd)


def test_arguments_run_before_the_welcome_lines():
    with base_directory() as cwd:
        status, out = run_piped(cwd, "", args=["w", "w0", "foo"])
        check(status == 0, "status %r" % status)
        check(out.startswith("Waiting 0\nWaiting 0\n" + UNKNOWN + WELCOME), "output %r" % out)


def test_arguments_act_on_the_loaded_state():
    # Loading the settings, the transfer options and server.met must not undo what
    # the arguments changed, however fast the client reaches them.
    for _ in range(3):
        with base_directory() as cwd:
            write_server_met(cwd, [server_met_record("127.0.0.1", 4661)])
            port = free_port()
            args = ["port %d" % port, "asr -", "n 127.0.0.2 4665", "vm"]
            status, out = run_piped(cwd, "vo\n", args=args)
            check(status == 0, "status %r" % status)
            listing, _, typed = out.partition(WELCOME)
            check("127.0.0.1 : 4661" in listing and "127.0.0.2 : 4665" in listing,
                  "vm as an argument before the load: %r" % listing)
            check("Door Port:\t\t%d\n" % port in typed, "port undone: %r" % typed)
            check("AutoServerRemove:\t0\n" in typed, "asr undone: %r" % typed)
            check(set(server_met(cwd)) == {("127.0.0.1", 4661), ("127.0.0.2", 4665)},
                  "server.met %r" % server_met(cwd))


def test_texts_from_ui_xml():
    cases = [
        ('<UI><STRINGS><STRINGS_UNKNOWN_COMMAND label="Befehl unbekannt"/>'
         '<areYouSureExit label="Wirklich beenden"/></STRINGS></UI>',
         "Befehl unbekannt", "Wirklich beenden"),
        ('<UI><OTHER><STRINGS_UNKNOWN_COMMAND label="nicht hier"/></OTHER></UI>',
         UNKNOWN.rstrip("\n"), QUESTION.split("?")[0]),
        (None, UNKNOWN.rstrip("\n"), QUESTION.split("?")[0]),
    ]
    for xml, unknown, question in cases:
        with base_directory() as cwd:
            if xml is not None:
                os.makedirs(os.path.join(cwd, "skins", "default"))
                with open(os.path.join(cwd, "skins", "default", "ui.xml"), "w") as f:
                    f.write(xml)
            status, out = run_piped(cwd, "foo\nq\ny\n")
            check(status == 0, "status %r" % status)
            expected = (WELCOME + PROMPT + unknown + "\n\n" + PROMPT + question
                        + "?(y or n): \n")
            check(out == expected, "for %r got %r" % (xml, out))


if __name__ == "__main__":
    main([test_end_of_input_ends_with_status_0, test_a_300_character_line_is_read_as_254_and_46,
          test_arguments_run_before_the_welcome_lines, test_arguments_act_on_the_loaded_state,
          test_texts_from_ui_xml])
