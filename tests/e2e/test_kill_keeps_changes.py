"""A client killed with SIGKILL keeps what changed some seconds before: runs that change the
name, add a server, a friend and a shared directory in a random order are killed at random
moments, and after each kill the state files, and at last a restarted client, hold every
change made more than GRACE seconds before the kill. A first start killed early keeps the
identity it made."""

import os
import random
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from console_session import WELCOME, Piped, base_directory, check, main, run_piped  # noqa: E402
from pref_file import parse_pref, user_name  # noqa: E402
from server_session import server_met  # noqa: E402
from test_friends import Client, friend_records, greeted, prepared  # noqa: E402
from wire import Reader  # noqa: E402

# A change reaches its file within a few seconds (a check every 2 s, then the write): what
# is older than this at the kill must be there.
GRACE = 8.0


def shared_paths(cwd):
    """The directories of share.dat: each a u16 length and its bytes."""
    path = os.path.join(cwd, "share.dat")
    if not os.path.exists(path):
        return []
    with open(path, "rb") as f:
        r = Reader(f.read())
    paths = []
    while r.left():
        paths.append(r.text().decode())
    return paths


def stored(cwd):
    """What the state files hold: name, servers, friends' hashes, shared directories."""
    user, _ = parse_pref(os.path.join(cwd, "pref.met"))
    friends_path = os.path.join(cwd, "friend.met")
    friends = ({r["hash"] for r in friend_records(friends_path)}
               if os.path.exists(friends_path) else set())
    servers = set(server_met(cwd)) if os.path.exists(os.path.join(cwd, "server.met")) else set()
    return {"name": user_name(user), "servers": servers, "friends": friends,
            "shares": set(shared_paths(cwd))}


def test_changes_older_than_a_few_seconds_survive_a_kill():
    rng = random.Random()
    seed = rng.randrange(1 << 30)
    rng.seed(seed)
    with base_directory() as cwd:
        door = prepared(cwd)
        required = {"servers": set(), "friends": set(), "shares": set()}
        names = {stored(cwd)["name"]}  # the names the file may hold now
        # The last round waits long enough for every change to count.
        delays = [rng.uniform(0, 2), rng.uniform(2, 7), GRACE + 1 + rng.uniform(0, 2)]
        for round_, delay in enumerate(delays):
            name = "round%d" % round_
            server = ("10.0.%d.1" % (round_ + 1), 4000 + round_)
            friend_hash = bytes(range(0x10 * (round_ + 1), 0x10 * (round_ + 1) + 16))
            share = os.path.join(cwd, "shared%d" % round_)
            os.mkdir(share)
            peer = None
            try:
                with Client(cwd) as c:
                    done = {}

                    def change_name():
                        c.run("name " + name)

                    def add_server():
                        c.run("n %s %d" % server)

                    def add_friend():
                        nonlocal peer
                        peer = greeted(door, "friend%d" % round_, 0x10 * (round_ + 1))
                        listing = c.run_until("vp", "friend%d" % round_)
                        row = [line for line in listing.splitlines() if "friend%d" % round_ in line]
                        number = row[0].split(")")[0].strip("( ")
                        check(c.run("afr " + number) == "added friend.\n", "afr failed")

                    def add_share():
                        c.run("a " + share)

                    changes = [("name", change_name), ("server", add_server),
                               ("friend", add_friend), ("share", add_share)]
                    rng.shuffle(changes)
                    for what, change in changes:
                        change()
                        done[what] = time.monotonic()
                        time.sleep(rng.uniform(0, 1.5))
                    # The kill comes at a random moment after the changes.
                    time.sleep(delay)
                    killed = time.monotonic()
                    c.kill(timeout=30)
            finally:
                if peer:
                    peer.close()
            old = {what for what, at in done.items() if killed - at > GRACE}
            names.add(name.encode())
            if "name" in old:
                names = {name.encode()}
            if "server" in old:
                required["servers"].add(server)
            if "friend" in old:
                required["friends"].add(friend_hash)
            if "share" in old:
                required["shares"].add(share)
            got = stored(cwd)
            why = "round %d (seed %d, changes %s, old %s): %r" % (
                round_, seed, {k: round(killed - v, 1) for k, v in done.items()}, sorted(old),
                got)
            check(got["name"] in names, "name: " + why)
            for key in ("servers", "friends", "shares"):
                check(required[key] <= got[key], key + ": " + why)

        with Client(cwd) as c:
            servers = c.run("vm")
            friends = c.run("gfr")
            shares = c.run("vs")
            shown = c.run("name")
            c.quit()
        for ip, port in required["servers"]:
            check("\t%s : %d" % (ip, port) in servers, "vm after the restart: %r" % servers)
        check(friends.count("[not connected]") >= len(required["friends"]),
              "gfr after the restart: %r" % friends)
        for share in required["shares"]:
            check(share in shares, "vs after the restart: %r" % shares)
        check(shown.strip().encode() in names, "name after the restart: %r" % shown)


def test_a_first_start_killed_early_keeps_its_identity():
    rng = random.Random()
    for _ in range(4):
        with base_directory() as cwd:
            with Piped(cwd) as client:
                # By the welcome the start is done; the kill comes then or a moment later.
                client.expect(WELCOME)
                time.sleep(rng.uniform(0, 0.3))
                client.kill(timeout=30)
            pref = os.path.join(cwd, "pref.met")
            check(os.path.exists(pref), "no pref.met after the first start")
            made, _ = parse_pref(pref)
            status, out = run_piped(cwd, "q\ny\n", timeout=30)
            check(status == 0, "the second start: %r" % out)
            kept, _ = parse_pref(pref)
            check(kept["hash"] == made["hash"], "identity %s became %s"
                  % (made["hash"].hex(), kept["hash"].hex()))


if __name__ == "__main__":
    main([test_changes_older_than_a_few_seconds_survive_a_kill,
          test_a_first_start_killed_early_keeps_its_identity])
