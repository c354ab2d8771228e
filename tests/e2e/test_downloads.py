"""Downloads at the console: file links, the download list and its changes,
downloads kept over a restart, records left in the temporary directory, and a
client killed while it saves."""

import os
import random
import re
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from console_session import Piped, base_directory, check, main, run_piped  # noqa: E402
from pref_file import with_free_door  # noqa: E402
from wire import tag_int, tag_string, tags, u8, u32  # noqa: E402

HASH = "0123456789abcdef0123456789abcdef"
NOT_VALID = "This is not a valid tnv4-link."


def link(name, size=20000000, hash_text=HASH):
    return "dllink tnv4://|file|%s|%d|%s|" % (name, size, hash_text)


def hash_of(i):
    return "%032x" % (0xabc000 + i)


def listed(out):
    """The names "vd" listed, in order, for each "vd" in the output."""
    lists, current = [], None
    for line in out.splitlines():
        if line.endswith("File Name\tStatus\tSize\tTransfered\tSpeed\tAvailable\tPriority"):
            current = []
            lists.append(current)
        elif current is not None and line.startswith("(") and line.endswith(":"):
            current.append(line[line.index(")") + 2:-1])
        elif current is not None and line.startswith("Total: "):
            current = None
    return lists


def statuses(out):
    return [line.split("\t")[2] for line in out.splitlines() if line.startswith("\t\t")]


def files_under(path):
    found = []
    for root, _, names in os.walk(path):
        found += [os.path.relpath(os.path.join(root, n), path) for n in names]
    return sorted(found)


def listing(client, done, tries=200):
    """Sends "vd" until done(names, statuses) holds (the downloads of the
    temporary directory are loaded and checked after the start, beside the
    console); answers the last names and statuses."""
    names, texts = [], []
    for _ in range(tries):
        client.send("vd")
        client.expect("Total: ")
        out = client.seen.decode(errors="replace")
        client.seen = b""
        names, texts = listed(out)[-1], statuses(out)
        if done(names, texts):
            break
        time.sleep(0.05)
    return names, texts


def test_links_list_pause_resume_cancel_and_restart():
    with base_directory() as cwd:
        with_free_door(cwd)
        typed = "\n".join([
            link("my+song.mp3"),
            link("again.mp3"),
            "dllink tnv4://|file|x|0|%s|" % HASH,
            "dllink tnv4://|file|x|100|%s|" % HASH[:31],
            "dllink tnv4://|file|x|100|",
            "dllink tnv4://|file|a%%0Ab|100|%s|" % HASH,
            link("second.bin", 1000, hash_of(2)),
            "m 2 p",
            "vd",
            "m 1 v",
        ]) + "\n"
        status, out = run_piped(cwd, typed)
        check(status == 0, "status %r: %s" % (status, out))
        for text in ["Downloading: my song.mp3", "You are already downloading again.mp3.",
                     "Invalid tnv4-link with 0 size.", "Invalid hash in tnv4-link.",
                     "Downloading: second.bin"]:
            check(text in out, "no %r in %r" % (text, out))
        check(out.count(NOT_VALID) == 2, out)
        check(listed(out) == [["my song.mp3", "second.bin"]], out)
        check(statuses(out)[1] == "Paused", out)
        check("No sources for: my song.mp3:\n status: Looking...\t\tpriority: Highest" in out, out)
        temp = os.path.join(cwd, "temp")
        check(files_under(temp) == ["my song.mp3/1.part.met", "second.bin/1.part.met"],
              "temp holds %r" % files_under(temp))

        # A restart loads both, checks them (off the console's thread), and the
        # paused one is still paused.
        with Piped(cwd, hashing_lines=True) as client:
            names, texts = listing(client, lambda n, t: len(n) == 2 and "Hashing..." not in t)
            check(names == ["my song.mp3", "second.bin"], "after the restart: %r" % names)
            check(texts[1] == "Paused", "after the restart: %r" % texts)
            client.send("m 2 r")
            client.send("m 1 c")
            client.send("vd")
            client.send("vd")
            client.expect("Total: ", times=2)
            out = client.seen.decode(errors="replace")
            check(listed(out)[-1] == ["second.bin"], "after m 1 c: %r" % out)
            check(statuses(out)[-1] != "Paused", "after m 2 r: %r" % out)
            client.quit(question=None)
        check(files_under(temp) == ["second.bin/1.part.met"], "temp holds %r" % files_under(temp))


def record(version, name, size, hash_bytes, gaps, priority=1, paused=False):
    written = [tag_string(b"\x01", name), tag_int(b"\x02", size), tag_int(b"\x08", 0),
               tag_int(b"\x18", priority), tag_int(b"\x14", 1 if paused else 0)]
    for k, (start, end) in enumerate(gaps):
        written.append(tag_int(b"\x09" + str(k).encode(), start))
        written.append(tag_int(b"\x0a" + str(k).encode(), end))
    return u8(version) + u8(2) + u32(0) + hash_bytes + tags(*written)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def test_a_prepared_temporary_directory_loads_three_downloads():
    with base_directory() as cwd:
        with_free_door(cwd)
        temp = os.path.join(cwd, "temp")
        write(os.path.join(temp, "4.part.met"),
              record(0xE0, b"single.bin", 1000, bytes([1] * 16), [(100, 1000)]))
        write(os.path.join(temp, "4.part"), b"s" * 1000)
        write(os.path.join(temp, "parts.bin", "1.part.met"),
              record(0xE1, b"parts.bin", 2000, bytes([2] * 16), [(0, 2000)]))
        write(os.path.join(temp, "7.part.met"),
              record(0xE1, b"loose.bin", 3000, bytes([3] * 16), [(500, 3000)]))
        write(os.path.join(temp, "7.1.part"), b"l" * 500)
        write(os.path.join(temp, "8.part.met"), b"\xe0 this is no record at all")
        with Piped(cwd, hashing_lines=True) as client:
            names, _ = listing(client, lambda n, t: len(n) == 3)
            time.sleep(0.3)  # nothing more comes
            names, _ = listing(client, lambda n, t: True)
        check(sorted(names) == ["loose.bin", "parts.bin", "single.bin"], names)
        check(os.path.exists(os.path.join(temp, "loose.bin", "7.part.met")), files_under(temp))
        check(os.path.exists(os.path.join(temp, "loose.bin", "7.1.part")), files_under(temp))
        check("Start Old Download: single.bin" in open(os.path.join(cwd, "log.txt")).read(), "log")


def test_killed_while_saving_keeps_every_download():
    rng = random.Random(7)
    for round_ in range(6):
        with base_directory() as cwd:
            with_free_door(cwd)
            saved = []
            count = rng.randint(3, 12)
            with Piped(cwd, hashing_lines=True) as client:
                for i in range(count):
                    client.send(link("file%d.bin" % i, 1000 + i, hash_of(i)))
                    client.send("temp")
                    if i < count - 1:
                        # The listing of temp comes after the download's record is written.
                        client.expect("Downloading: file%d.bin" % i)
                        client.expect(os.path.join(cwd, "temp") + "\n")
                        client.seen = b""
                        saved.append("file%d.bin" % i)
                # The last one is saved, or being saved, and the quit saves them all again.
                if round_ % 2:
                    client.send("q")
                    client.send("y")
                time.sleep(rng.uniform(0.0, 0.05))
                client.kill()
            with Piped(cwd, hashing_lines=True) as again:
                names, _ = listing(again, lambda n, t: set(saved) <= set(n))
                out = again.raw.decode(errors="replace")
            for name in saved:
                check(name in names, "round %d: %s lost; listed %r" % (round_, name, names))
            check("Couldn't" not in out and "ERROR" not in out, out)


def priorities(out):
    return [line.split("\t")[-1] for line in out.splitlines() if line.startswith("\t\t")]


def test_directories_space_layouts_and_priorities():
    """"temp" and "in" show and change the directories, a new temporary
    directory's records are loaded and a pending download keeps it; "space"
    shows both file systems; "cps" chooses the layout of the next download;
    the letters of "m" set the priorities, the highest being one download's."""
    with base_directory() as cwd:
        with_free_door(cwd)
        other = os.path.join(cwd, "other")
        third = os.path.join(cwd, "third")
        incoming = os.path.join(cwd, "new in")
        # At low priority the prepared download ranks below the new ones. It is paused: its
        # load and check run beside the typed lines, and a running download alone in the
        # list when its check ends would take the highest state before the links come.
        write(os.path.join(other, "5.part.met"),
              record(0xE0, b"prepared.bin", 1000, bytes([5] * 16), [(100, 1000)], priority=0,
                     paused=True))
        write(os.path.join(other, "5.part"), b"p" * 1000)
        typed = "\n".join([
            "temp",
            "temp " + other,
            "cps 1",
            link("single.bin", 1000, hash_of(1)),
            "cps",
            link("parts.bin", 2000, hash_of(2)),
            "temp " + third,
            "temp",
            "in " + incoming,
            "in",
            "space",
            "m 0 p",
            "m 1",
            "m 9 p",
            "m 1 x",
            "vd",
            "m 2 H",
            "m 3 n",
            "m 2 l",
            "m 2 h",
            "vd",
        ]) + "\n"
        status, out = run_piped(cwd, typed)
        check(status == 0, "status %r: %s" % (status, out))
        lines = [re.sub(r"^(> )+", "", line) for line in out.splitlines()]
        temp = os.path.join(cwd, "temp")
        check(lines.count(temp) == 1 and lines.count(other) == 1, out)
        check("Temp directory is now: " + other in lines, out)
        check(out.count("Can't change temporary directory with pending downloads.") == 1, out)
        check(not os.path.exists(third), "the refused directory was made")
        check("Incoming directory is now: " + incoming in lines, out)
        check(lines.count(incoming) == 1 and os.path.isdir(incoming), out)
        space = [line for line in lines if line.startswith("Space free on ")]
        check(len(space) == 2, out)
        check(re.fullmatch(r"Space free on temp partion:     \d+\.\d\dMB", space[0]), space)
        check(re.fullmatch(r"Space free on incoming partion: \d+\.\d\dMB", space[1]), space)
        check(out.count("Invalid Download number") == 1, out)
        # The bad "m" lines changed nothing: the new downloads rank first.
        views = listed(out)
        check(views[0] == ["single.bin", "parts.bin", "prepared.bin"], views)
        check(priorities(out)[:3] == ["Highest", "Normal", "Low"], out)
        # H gives the highest to parts.bin (single.bin gives it up to High), n
        # raises prepared.bin, l drops single.bin behind it, h raises
        # prepared.bin again. (Equal priorities may trade places: none here.)
        check(views[1] == ["parts.bin", "prepared.bin", "single.bin"], views)
        check(priorities(out)[3:] == ["Highest", "High", "Low"], out)
        files = files_under(other)
        singles = [f for f in files if "/" not in f and f.endswith(".part") and f != "5.part"]
        check(len(singles) == 1 and singles[0] + ".met" in files, files)
        check("parts.bin/1.part.met" in files, files)


if __name__ == "__main__":
    main([test_links_list_pause_resume_cancel_and_restart,
          test_a_prepared_temporary_directory_loads_three_downloads,
          test_killed_while_saving_keeps_every_download,
          test_directories_space_layouts_and_priorities])
