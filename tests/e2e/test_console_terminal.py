"""The console on a terminal: welcome lines, prompt, unknown commands and the
confirmed quit."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from console_session import (PROMPT, QUESTION, UNKNOWN, WELCOME, Terminal,  # noqa: E402
                             base_directory, check, check_log, main)


def test_welcome_then_prompt():
    with base_directory() as cwd:
        t = Terminal(cwd)
        try:
            check(t.expect(WELCOME + PROMPT) == "", "text before the welcome lines")
        finally:
            t.close()


def test_unknown_command():
    with base_directory() as cwd:
        t = Terminal(cwd)
        try:
            t.expect(PROMPT)
            for line in ["foo", "", "Q", "VR", "echo hi"]:
                t.send(line)
                check(t.expect(UNKNOWN + PROMPT) == "", "extra output for %r" % line)
        finally:
            t.close()


def test_quit_no_keeps_running_yes_ends_with_status_0():
    with base_directory() as cwd:
        t = Terminal(cwd)
        try:
            t.expect(PROMPT)
            t.send("q")
            t.expect(QUESTION)
            t.send("n")
            t.expect(PROMPT)
            check(t.running(), "client ended after answering n")
            t.send("q")
            t.expect(QUESTION)
            t.send("y")
            status = t.wait()
            check(status == 0, "exit status %r" % status)
            check_log(cwd)
        finally:
            t.close()


def test_log_from_an_earlier_run_is_replaced():
    with base_directory() as cwd:
        with open(os.path.join(cwd, "log.txt"), "w") as f:
            f.write("left over\n" * 3)
        t = Terminal(cwd)
        try:
            t.expect(PROMPT)
            t.send("q")
            t.expect(QUESTION)
            t.send("y")
            check(t.wait() == 0, "bad exit status")
            check_log(cwd)
        finally:
            t.close()


if __name__ == "__main__":
    main([test_welcome_then_prompt, test_unknown_command,
          test_quit_no_keeps_running_yes_ends_with_status_0,
          test_log_from_an_earlier_run_is_replaced])
