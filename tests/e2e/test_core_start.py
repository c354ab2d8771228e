"""The client runs the real core: pref.met is written at quit, the settings
and the identity are kept from one run to the next, and a client killed while
it saves still leaves a readable pref.met."""

import os
import random
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from console_session import (WELCOME, Piped, base_directory, check, core_files, main,  # noqa: E402
                             run_piped)
from pref_file import parse_pref, put, setting, user_name, write_pref  # noqa: E402
from waiting import EVENT_TIMEOUT  # noqa: E402
from wire import FLOAT, INT, STRING  # noqa: E402


def quit_cleanly(cwd, timeout=EVENT_TIMEOUT):
    status, out = run_piped(cwd, "", timeout=timeout)
    check(status == 0, "status %r, output %r" % (status, out))
    check(WELCOME in out, "no welcome lines in %r" % out)
    return out


def test_pref_met_is_written_at_the_first_start_and_at_quit():
    with base_directory() as cwd:
        pref = os.path.join(cwd, "pref.met")
        with Piped(cwd) as client:
            client.expect(WELCOME)
            # The core is up, and the first start has written its new identity at once.
            made, _ = parse_pref(pref)
            first = os.stat(pref).st_ino
            client.end_input()
            status = client.wait()
            check(status == 0, "status %r" % status)
        user, settings = parse_pref(pref)
        check(os.stat(pref).st_ino != first, "pref.met was not written again at quit")
        check(user["hash"] == made["hash"], "the identity changed at quit")
        check(user["hash"] != bytes(16), "all-zero user hash")
        name = user_name(user)
        check(name is not None and len(name) == 5 and all(97 <= c <= 121 for c in name),
              "name %r" % name)
        check(setting(user["tags"], b"pr") is None, "pref.met holds the tag pr")
        for key, expected in [(b"maxCon", 45), (b"screenLines", 24), (b"pType", 0)]:
            check(setting(settings, key) == expected,
                  "%r is %r, not %r" % (key, setting(settings, key), expected))
        check(setting(settings, b"maxUpSpeed") == 5.0, "maxUpSpeed %r" % setting(settings, b"maxUpSpeed"))


def test_settings_and_identity_are_kept_between_runs():
    with base_directory() as cwd:
        pref = os.path.join(cwd, "pref.met")
        quit_cleanly(cwd)
        user, settings = parse_pref(pref)
        kept = [(INT, b"maxCon", 77), (INT, b"screenLines", 40), (FLOAT, b"userMaxUpF", 12.0),
                # A proxy is loaded, installed and saved again; nothing connects through it.
                (INT, b"pType", 1), (STRING, b"pSName", b"127.0.0.1"), (INT, b"pPort", 1080),
                (INT, b"someoneElsesKey", 5)]
        for kind, key, value in kept:
            put(settings, kind, key, value)
        write_pref(pref, user, settings)

        for run in range(2):
            quit_cleanly(cwd)
            again, stored = parse_pref(pref)
            check(again["hash"] == user["hash"], "run %d: new user hash" % run)
            check(user_name(again) == user_name(user), "run %d: name %r" % (run, user_name(again)))
            for _, key, expected in kept:
                check(setting(stored, key) == expected,
                      "run %d: %r is %r, not %r" % (run, key, setting(stored, key), expected))


def test_killed_while_saving_leaves_a_readable_pref_met():
    with base_directory() as cwd:
        pref = os.path.join(cwd, "pref.met")
        quit_cleanly(cwd)
        user, settings = parse_pref(pref)
        # A big settings record makes the save long enough to be hit by the kill.
        for i in range(3000):
            put(settings, STRING, b"filler%04d" % i, b"x" * 120)
        write_pref(pref, user, settings)

        start = time.monotonic()
        quit_cleanly(cwd)
        lifetime = time.monotonic() - start

        rng = random.Random(9)
        for attempt in range(25):
            with Piped(cwd, output=False) as client:
                client.end_input()  # quits at once: the run is mostly the save
                time.sleep(rng.uniform(0, lifetime * 1.2))
                client.kill(timeout=EVENT_TIMEOUT)
            again, kept = parse_pref(pref)
            check(again["hash"] == user["hash"], "attempt %d: identity lost" % attempt)
            check(setting(kept, b"filler2999") == b"x" * 120, "attempt %d: settings cut" % attempt)
            # At most the temporary file of the save that was cut short.
            left = set(core_files(os.listdir(cwd))) - {"log.txt", "pref.met", "tornavel.lock"}
            check(all(n.startswith("pref.met.tmp-") for n in left), "left behind: %r" % left)
        # The next start clears what the killed saves left.
        quit_cleanly(cwd)
        left = core_files(os.listdir(cwd))
        check(left == ["log.txt", "pref.met", "tornavel.lock"], "files left: %r" % left)


if __name__ == "__main__":
    main([test_pref_met_is_written_at_the_first_start_and_at_quit,
          test_settings_and_identity_are_kept_between_runs,
          test_killed_while_saving_leaves_a_readable_pref_met])
