"""The identity (the user hash in pref.met) and the last good copy of the
settings survive every way a user's base directory can go wrong: each case
sets the directory up, runs the real client and checks the identity bytes and
the files left. Where the identity cannot be kept the client says why. (A
client killed at random points of its save: test_core_start.)"""

import os
import resource
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from byte_compare import check_bytes  # noqa: E402
from console_session import (WELCOME, base_directory, binary, check, core_files, main,  # noqa: E402
                             run_piped, without_hashing_lines)
from pref_file import parse_pref, put, setting, with_free_door, write_pref  # noqa: E402
from waiting import EVENT_TIMEOUT  # noqa: E402
from wire import INT, STRING  # noqa: E402

NOBODY = 65534


def run(cwd, preexec_fn=None, as_nobody=False, timeout=EVENT_TIMEOUT):
    """Runs the client until the end of its (empty) input; status and output.
    As root, as_nobody runs a copy of the client that the user nobody can
    reach, as that user."""
    if not (as_nobody and os.geteuid() == 0):
        done = subprocess.run([binary()], cwd=cwd, input=b"", stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, timeout=timeout, preexec_fn=preexec_fn)
        return done.returncode, without_hashing_lines(done.stdout.decode(errors="replace"))
    with tempfile.TemporaryDirectory(prefix="tornavel-e2e-bin-") as bindir:
        os.chmod(bindir, 0o755)
        copy = shutil.copy(binary(), bindir)
        done = subprocess.run([copy], cwd=cwd, input=b"", stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, timeout=timeout, user=NOBODY,
                              group=NOBODY, extra_groups=[])
        return done.returncode, without_hashing_lines(done.stdout.decode(errors="replace"))


def full_disk():
    """In the child: writes past 4 KiB fail, as on a full disk."""
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    resource.setrlimit(resource.RLIMIT_FSIZE, (4096, 4096))


def stored_pref(cwd):
    """A pref.met the client wrote itself, with a known first setting and
    enough settings after it to make a save longer than the full disk allows."""
    pref = os.path.join(cwd, "pref.met")
    status, out = run(cwd)
    check(status == 0, "first run: status %r, %r" % (status, out))
    user, settings = parse_pref(pref)
    settings.insert(0, [INT, b"maxCon", 77])
    # A run that ends before its transfer side loaded stores no directories, and a
    # later run elsewhere would then store its own base's: pinned, as the cases expect.
    for name in (b"incoming", b"temp"):
        put(settings, STRING, name, os.path.join(cwd, name.decode()).encode())
    for i in range(60):
        put(settings, STRING, b"filler%02d" % i, b"x" * 100)
    write_pref(pref, user, settings)
    with open(pref, "rb") as f:
        data = f.read()
    os.unlink(pref)
    os.unlink(os.path.join(cwd, "log.txt"))
    return user["hash"], data


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def names(cwd):
    return core_files(os.listdir(cwd))


def identity_after_a_clean_run(cwd):
    """Whatever the case left, a plain run in a sound directory keeps the
    identity the files hold."""
    status, out = run(cwd)
    check(status == 0 and WELCOME in out, "clean run: status %r, %r" % (status, out))
    user, settings = parse_pref(os.path.join(cwd, "pref.met"))
    check(not os.path.exists(os.path.join(cwd, "pref.met.bak")), ".bak kept after a good save")
    return user["hash"], settings


def case_damaged_with_backup_and_a_full_disk(cwd):
    identity, good = stored_pref(cwd)
    pref = os.path.join(cwd, "pref.met")
    damaged = good[:30]
    write(pref, damaged)
    write(pref + ".bak", good)
    status, out = run(cwd, preexec_fn=full_disk)
    check(status == 0, "status %r" % status)
    check("%s is damaged: settings taken from %s.bak" % (pref, pref) in out, out)
    check("Settings couldn't be saved" in out and "was not replaced: File too large" in out, out)
    check_bytes(damaged, read(pref), "the damaged file and what is there now")
    check_bytes(good, read(pref + ".bak"), "the only good copy and what is there now")
    check(names(cwd) == ["log.txt", "pref.met", "pref.met.bak", "tornavel.lock"], names(cwd))
    return identity


def case_pref_met_a_directory_with_backup(cwd):
    identity, good = stored_pref(cwd)
    pref = os.path.join(cwd, "pref.met")
    os.mkdir(pref)
    write(pref + ".bak", good)
    status, out = run(cwd)
    check(status == 0, "status %r" % status)
    check("%s cannot be read (Is a directory): settings taken from %s.bak" % (pref, pref) in out,
          out)
    check("%s was not replaced: Is a directory" % pref in out, out)
    check(os.path.isdir(pref), "pref.met is no longer a directory")
    check_bytes(good, read(pref + ".bak"), "the good copy and what is there now")
    os.rmdir(pref)
    return identity


def case_pref_met_unreadable(cwd):
    identity, good = stored_pref(cwd)
    pref = os.path.join(cwd, "pref.met")
    write(pref, good)
    os.chmod(pref, 0)
    if os.geteuid() == 0:
        os.chown(cwd, NOBODY, NOBODY)
        for name in names(cwd):
            if name != "pref.met":
                os.chown(os.path.join(cwd, name), NOBODY, NOBODY)
    status, out = run(cwd, as_nobody=True)
    check(status == 0, "status %r: %r" % (status, out))
    check("%s cannot be read (Permission denied): starting with a new identity" % pref in out, out)
    check("%s was not replaced: Permission denied" % pref in out, out)
    os.chmod(pref, 0o644)
    check_bytes(good, read(pref), "the unreadable file and what is there now")
    return identity


def case_pref_met_a_fifo(cwd):
    identity, good = stored_pref(cwd)
    pref = os.path.join(cwd, "pref.met")
    os.mkfifo(pref)
    write(pref + ".bak", good)
    status, out = run(cwd)  # a client blocked on the FIFO never ends
    check(status == 0, "status %r" % status)
    check("%s cannot be read (not a regular file): settings taken from %s.bak" % (pref, pref)
          in out, out)
    check(stat.S_ISFIFO(os.stat(pref).st_mode), "the FIFO was replaced")
    os.unlink(pref)
    return identity


def case_settings_cut_after_a_whole_user_record(cwd):
    identity, good = stored_pref(cwd)
    pref = os.path.join(cwd, "pref.met")
    write(pref, good[:-5])
    status, out = run(cwd)
    check(status == 0, "status %r" % status)
    check("%s is damaged: the identity and the settings before the damage are kept" % pref in out,
          out)
    check("Meta::" not in out and "error in tag" not in out, "reader's lines on the console: %r" % out)
    user, settings = parse_pref(pref)
    check(setting(settings, b"maxCon") == 77, "the setting before the damage was lost")
    return identity


def case_base_path_over_1024_bytes_with_backup(cwd):
    identity, good = stored_pref(cwd)
    deep = cwd
    while len(deep) < 1500:
        deep = os.path.join(deep, "d" * 200)
        os.mkdir(deep)
    pref = os.path.join(deep, "pref.met")
    write(pref + ".bak", good)
    status, out = run(deep)
    check(status == 0, "status %r: %r" % (status, out))
    check("%s is missing: settings taken from %s.bak" % (pref, pref) in out, out)
    user, _ = parse_pref(pref)
    check(user["hash"] == identity, "new identity in a deep directory")
    shutil.move(pref, os.path.join(cwd, "pref.met"))
    shutil.rmtree(os.path.join(cwd, "d" * 200))
    return identity


CASES = [
    case_damaged_with_backup_and_a_full_disk,
    case_pref_met_a_directory_with_backup,
    case_pref_met_unreadable,
    case_pref_met_a_fifo,
    case_settings_cut_after_a_whole_user_record,
    case_base_path_over_1024_bytes_with_backup,
]


def test_the_identity_survives_every_case():
    failed = []
    for case in CASES:
        with base_directory() as cwd:
            try:
                identity = case(cwd)
                if os.geteuid() == 0:
                    os.chown(cwd, 0, 0)
                kept, _ = identity_after_a_clean_run(cwd)
                check(kept == identity, "identity %s became %s" % (identity.hex(), kept.hex()))
                left = names(cwd)
                check(left == ["log.txt", "pref.met", "tornavel.lock"], "files left: %r" % left)
            except Exception as e:  # every case is reported
                failed.append("%s: %s" % (case.__name__, e))
    check(not failed, "\n".join(failed))


def test_directories_that_cannot_be_made_are_refused():
    """"in" and "temp" with a directory that cannot be made (under /proc, or under a plain
    file) say so and keep the directory in force, in the client and in pref.met."""
    with base_directory() as cwd:
        with_free_door(cwd)
        write(os.path.join(cwd, "blocker"), b"a plain file")
        incoming = os.path.join(cwd, "my in")
        temp = os.path.join(cwd, "my temp")
        bad = ["/proc/nope/inc", os.path.join(cwd, "blocker", "inc")]
        typed = ["in " + incoming, "temp " + temp]
        for path in bad:
            typed += ["in " + path, "temp " + path]
        typed += ["in", "temp"]
        status, out = run_piped(cwd, "\n".join(typed) + "\n")
        check(status == 0, "status %r: %s" % (status, out))
        lines = [line[2:] if line.startswith("> ") else line for line in out.splitlines()]
        for path in bad:
            check(lines.count("Can't make directory: " + path) == 2, "%r: %s" % (path, out))
            check(not os.path.exists(path), "%s was made" % path)
            check(path not in out.replace("Can't make directory: " + path, ""), out)
        # What "in" and "temp" show at the end: the directories set first.
        check(lines.count(incoming) == 1 and lines.count(temp) == 1, out)
        _, settings = parse_pref(os.path.join(cwd, "pref.met"))
        check(setting(settings, b"incoming") == incoming.encode(), "pref.met incoming %r"
              % setting(settings, b"incoming"))
        check(setting(settings, b"temp") == temp.encode(), "pref.met temp %r"
              % setting(settings, b"temp"))


if __name__ == "__main__":
    main([test_the_identity_survives_every_case,
          test_directories_that_cannot_be_made_are_refused])
