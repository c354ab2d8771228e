"""The server and search commands of the real client against scripted index
servers on loopback: the server list, connecting by priority with fail-over,
searching and spreading a search, the client id, the numbers the commands refuse,
server.met across a restart, dead servers, fetched server lists and auto-connect;
a download asking the servers for sources in turn."""

import http.server
import os
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from console_session import base_directory, check, main, run_piped  # noqa: E402
from fake_index_server import (GET_SOURCES, HISTORY, ID_RECEIVED, LOGIN, NAME, PREF, SEARCH,  # noqa: E402
                               SIZE, UDP_GET_SOURCES, UDP_SEARCH, UDP_SEARCH_RESULT,
                               FakeIndexServer, id_change, search_results)
from pref_file import with_free_door  # noqa: E402
from server_session import (Client, server_met, server_met_bytes,  # noqa: E402
                            server_met_record, write_server_met)
from wire import file_record, tag_int, tag_string, text  # noqa: E402

INVALID = "Invalid arguments\n"


def test_servers_are_added_and_listed():
    with base_directory() as cwd:
        with Client(cwd) as client:
            check(client.cmd("vm") == "None.\n", "an empty list")
            check(client.cmd("n 127.0.0.1") == "127.0.0.1 added\n\n", "n without a port")
            check(client.cmd("n 127.0.0.1 4661") == "127.0.0.1 added\n\n", "n of a listed server")
            for line in ["n", "n 1.2.3", "n 1.2.3.4 0", "n 1.2.3.4 70000", "n 1.2.3.4 12x",
                         "n 1.2.3.400 80"]:
                check(client.cmd(line) == INVALID, "%r was taken" % line)
            listing = client.cmd("vm")
            check(listing.count(" : 4661") == 1 and listing.endswith("\t127.0.0.1 : 4661\n"),
                  "vm: %r" % listing)
            client.quit()


def test_the_forms_of_n():
    """What each form of "n" answers and what reaches server.met: a port is the one the user
    typed or the default for none, never one put in place of a port that was typed."""
    table = [
        ("n 127.0.0.1:6661", "127.0.0.1:6661 added\n\n", ("127.0.0.1", 6661)),
        ("n 10.0.0.2 4700", "10.0.0.2 added\n\n", ("10.0.0.2", 4700)),
        ("n 10.0.0.3", "10.0.0.3 added\n\n", ("10.0.0.3", 4661)),
        ("n 10.0.0.4:65535", "10.0.0.4:65535 added\n\n", ("10.0.0.4", 65535)),
        ("n 10.0.0.5:80 81", INVALID, None),
        ("n 10.0.0.6:", INVALID, None),
        ("n 10.0.0.7:0", INVALID, None),
        ("n 10.0.0.8:70000", INVALID, None),
        ("n 10.0.0.9:12x", INVALID, None),
        ("n 10.0.0.10:6661:1", INVALID, None),
        ("n 10.0.0.11/6661", INVALID, None),
        ("n 10.0.0.12x", INVALID, None),
        ("n 10.0.0.13.14", INVALID, None),
        ("n :6661", INVALID, None),
        ("n 10.0.0:6661", INVALID, None),
    ]
    with base_directory() as cwd:
        with Client(cwd) as client:
            for line, answer, _ in table:
                got = client.cmd(line)
                check(got == answer, "%r answered %r, wanted %r" % (line, got, answer))
            client.quit()
        stored = sorted(server_met(cwd))
        wanted = sorted(kept for _, _, kept in table if kept)
        check(stored == wanted, "server.met holds %r, wanted %r" % (stored, wanted))


def test_connect_fails_over_by_priority_and_spreads_searches():
    with base_directory() as cwd, FakeIndexServer(listening=False, name="refusing") as first, \
            FakeIndexServer(name="accepting") as second:
        # The refusing server answers its pings, so it has the higher priority.
        first.answer_pings(users=5, files=6)
        second.reply(LOGIN, id_change(0x0100007F))
        with Client(cwd) as client:
            check(client.cmd("xs") == "No search to extend.\n", "xs before any search")
            client.cmd("n 127.0.0.1 %d" % second.port)
            client.cmd("n 127.0.0.1 %d" % first.port)
            client.until("vm", "\t5\t6\t")
            client.cmd("c")
            client.saw("Connecting to 127.0.0.1 ....\n")
            client.saw("Can't connect to: 127.0.0.1\n")
            client.saw("Connecting to 127.0.0.1 ....\n")
            second.expect(LOGIN)
            second.expect(ID_RECEIVED)
            check(first.connections == 0, "the refusing server was reached")
            client.cmd("c")
            client.saw("Already Connected.\n")

            client.cmd("s fat")
            sent = second.expect(SEARCH)
            check(sent == b"\x01" + text("fat"), "search %r" % sent)
            second.send(*search_results([file_record(b"a" * 16, tag_string(NAME, "fat one"))]))
            client.saw("Results returned\n")

            client.cmd("xs")
            spread = first.expect_udp(UDP_SEARCH)
            check(spread == sent, "spread search %r" % spread)
            client.saw("Extending to: 127.0.0.1\n")
            first.send_udp(UDP_SEARCH_RESULT, file_record(b"b" * 16, tag_string(NAME, "fat two")))
            rows = client.until("vr", "(2) ")
            check(rows.endswith("(1) fat one\t\n(2) fat two\t\n"), "vr: %r" % rows)
            # The connected server is the next one: nothing is left to spread to.
            client.cmd("xs")
            client.saw("No more servers to extend to.\n")

            stats = client.cmd("g")
            check(stats.endswith("ClientID: 16777343 (open)\nConnected to: 127.0.0.1\n"
                                 "   Users: 0    Files: 0\n"), "g: %r" % stats)
            client.cmd("x")
            client.until("g", "Not connected to a server.\n")
            second.wait_closed()
            client.quit()


def test_a_download_asks_the_servers_for_sources_in_turn():
    file_hash = bytes(range(0xA0, 0xB0))
    with base_directory() as cwd, FakeIndexServer(name="connected") as tcp, \
            FakeIndexServer(listening=False, name="other") as udp:
        with_free_door(cwd)
        tcp.reply(LOGIN, id_change(0x0100007F))
        with Client(cwd) as client:
            client.cmd("n 127.0.0.1 %d" % tcp.port)
            client.cmd("n 127.0.0.1 %d" % udp.port)
            client.cmd("c")
            tcp.expect(ID_RECEIVED)
            client.cmd("s wanted")
            tcp.expect(SEARCH)
            tcp.send(*search_results([file_record(file_hash, tag_string(NAME, "wanted.bin"),
                                                  tag_int(SIZE, 3000000))]))
            client.saw("Results returned\n")
            client.cmd("d 1")

            # One request per 7001 ms, each to the next server of the list: the connected
            # one over TCP, the other over UDP.
            asked = {}
            deadline = time.monotonic() + 40
            while len(asked) < 2:
                check(time.monotonic() < deadline, "sources asked of %r only" % list(asked))
                for name, server, op in [("tcp", tcp, GET_SOURCES), ("udp", udp, UDP_GET_SOURCES)]:
                    if name in asked:
                        continue
                    try:
                        got = (server.expect(op, timeout=0.2) if name == "tcp"
                               else server.expect_udp(op, timeout=0.2))
                    except AssertionError:
                        continue
                    check(got == file_hash, "%s source request %r" % (name, got))
                    asked[name] = time.monotonic()
            check(abs(asked["tcp"] - asked["udp"]) > 5, "two requests %.1f s apart"
                  % abs(asked["tcp"] - asked["udp"]))

            client.quit()


def test_numbers_that_name_nothing_are_refused():
    steps = [
        ("b 5", "Invalid server number\n\n"),
        ("b", "Invalid server number\n\n"),
        ("c 0", "Invalid server number\n\n"),
        ("c 7", ""),
        ("spass 3 pw", "Invalid server number\n\n"),
        ("spass 1", "Invalid server number\n\n"),
        ("d", "Invalid Result number\n\n"),
        ("d 0", "Invalid Result number\n\n"),
        ("d 1", "Invalid Result number\n\n"),
        ("s", "No search string.\n\n"),
        ("s -Video", "No search string.\n\n"),
        ("spass 1 pw", "Password set.\n\n"),
        ("b 1", "Server Removed.\n\n"),
        ("vm", "None.\n"),
    ]
    with base_directory() as cwd:
        with Client(cwd) as client:
            client.cmd("n 10.0.0.1 4661")
            for line, want in steps:
                got = client.cmd(line)
                check(got == want, "%r gave %r, wanted %r" % (line, got, want))
            client.quit()


def test_servers_and_passwords_survive_a_restart():
    with base_directory() as cwd, FakeIndexServer() as server:
        status, _ = run_piped(cwd, "n 127.0.0.1 %d\nspass 1 sesame\nauto -\nasr -\nq\ny\n" % server.port)
        check(status == 0, "run 1 status %r" % status)
        kept = server_met(cwd)[("127.0.0.1", server.port)]
        check(kept.get(b"password") == b"sesame", "server.met holds %r" % kept)
        with Client(cwd) as client:
            listing = client.until("vm", ": %d" % server.port)
            check("sesame" in listing, "vm: %r" % listing)
            options = client.cmd("vo")
            check("AutoConnect:\t\t0\n" in options and "AutoServerRemove:\t0\n" in options,
                  "vo: %r" % options)
            client.cmd("c 1")
            login = server.expect(LOGIN)
            check(login.endswith(text("sesame")), "the login lacks the password: %r" % login)
            client.quit()


def test_dead_servers_are_gone_after_the_first_pass():
    with base_directory() as cwd:
        write_server_met(cwd, [
            server_met_record("127.0.0.1", 9, tag_string(NAME, "dead"), tag_int(HISTORY, 6),
                              tag_int(PREF, 0)),
            server_met_record("127.0.0.1", 13, tag_string(NAME, "kept"), tag_int(HISTORY, 6),
                              tag_int(PREF, 2)),
        ])
        with Client(cwd) as client:
            listing = client.until("vm", lambda got: "dead" not in got)
            check("kept" in listing, "vm: %r" % listing)
            client.quit()
        servers = server_met(cwd)
        check(list(servers) == [("127.0.0.1", 13)], "server.met holds %r" % servers)
        check(servers[("127.0.0.1", 13)][b"\x0d"] == 7, "the kept one was pinged once more")


class ListServer(http.server.BaseHTTPRequestHandler):
    body = b""
    # One byte past the cap a fetched list may have.
    big = b"\x0e" + bytes(1 << 20)

    def do_GET(self):
        body = {"/servers.met": self.body, "/big.met": self.big}.get(self.path)
        if body is None:
            self.send_error(404)
            return
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def test_fetched_server_lists_are_merged():
    ListServer.body = server_met_bytes([
        server_met_record("10.0.0.1", 4661, tag_string(NAME, "listed before")),
        server_met_record("10.0.0.2", 4662, tag_string(NAME, "fetched")),
    ])
    web = http.server.HTTPServer(("127.0.0.1", 0), ListServer)
    threading.Thread(target=web.serve_forever, daemon=True).start()
    url = "http://127.0.0.1:%d" % web.server_address[1]
    with base_directory() as cwd:
        try:
            with Client(cwd) as client:
                client.cmd("n 10.0.0.1 4661")
                client.cmd("glist %s/servers.met" % url)
                client.saw("Got server list.\n")
                listing = client.until("vm", "10.0.0.2 : 4662")
                check(listing.count("10.0.0.1 : 4661") == 1, "vm: %r" % listing)
                for line in ("glist %s/missing.met" % url, "glist %s/big.met" % url, "glist"):
                    client.cmd(line)
                    client.saw("Problem getting list.\n")
                client.quit()
        finally:
            web.shutdown()
        servers = server_met(cwd)
        check(sorted(servers) == [("10.0.0.1", 4661), ("10.0.0.2", 4662)], "server.met %r" % servers)
        check(b"\x01" not in servers[("10.0.0.1", 4661)], "a listed server took the fetched name")
        check(servers[("10.0.0.2", 4662)][b"\x01"] == b"fetched", "the fetched server's name")


def test_auto_connect_starts_at_once():
    with base_directory() as cwd, FakeIndexServer() as server:
        server.reply(LOGIN, id_change(0x0100007F))
        with Client(cwd) as client:
            client.cmd("n 127.0.0.1 %d" % server.port)
            client.cmd("auto")
            client.saw("automatically connecting\n")
            server.expect(LOGIN)
            check("AutoConnect:\t\t1\n" in client.cmd("vo"), "auto is not on")
            client.quit()


if __name__ == "__main__":
    main([test_servers_are_added_and_listed, test_the_forms_of_n,
          test_connect_fails_over_by_priority_and_spreads_searches,
          test_a_download_asks_the_servers_for_sources_in_turn,
          test_numbers_that_name_nothing_are_refused, test_servers_and_passwords_survive_a_restart,
          test_dead_servers_are_gone_after_the_first_pass, test_fetched_server_lists_are_merged,
          test_auto_connect_starts_at_once])
