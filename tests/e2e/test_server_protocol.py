"""The index-server protocol of the real client against scripted servers on
loopback: the login, the id change, what the server tells, searches and results,
status pings over UDP and what server.met keeps of them, and frames that drop the
server."""

import os
import socket
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from console_session import base_directory, check, main  # noqa: E402
from fake_index_server import (DESCRIPTION, ID_RECEIVED, LOGIN, NAME, SEARCH, SIZE,  # noqa: E402
                               UDP_STATUS_REQUEST, FakeIndexServer, callback_request,
                               id_change, own_record, search_results, server_list,
                               server_message, server_status)
from server_session import Client, server_met  # noqa: E402
from wire import (MARKER, Reader, file_record, ip_value, tag_int, tag_string, text, u8,  # noqa: E402
                  u32)

VERSION_TAG = b"\x11"


def connect(client, server):
    client.cmd("n 127.0.0.1 %d" % server.port)
    client.cmd("c")
    return server.expect(LOGIN)


def test_login_bytes_with_and_without_a_password():
    with base_directory() as cwd, FakeIndexServer() as server:
        with Client(cwd) as client:
            plain = connect(client, server)
            r = Reader(plain)
            user_hash, client_id, port, tags = r.record()
            check(r.at == len(plain), "bytes after the own record: %r" % plain[r.at:])
            # The port is the peer door's once the transfer settings are loaded.
            check(client_id == 0 and port in (0, 4662), "id %d port %d" % (client_id, port))
            versions = [v for _, name, v in tags if name == VERSION_TAG]
            check(versions == [61], "the login's version tags: %r" % versions)

            client.cmd("x")
            server.wait_connections(1)
            check("Password set." in client.cmd("spass 1 sesame"), "spass refused")
            client.cmd("c")
            secret = server.expect(LOGIN)
            check(secret == plain + text("sesame"), "with password %r" % secret)
            client.quit()
        with open(os.path.join(cwd, "pref.met"), "rb") as f:
            own = f.read()
        check(own[6:22] == user_hash, "the login carries another hash than pref.met")
        check(tag_int(VERSION_TAG, 10501) in own, "the own version in pref.met is not 10501")


def test_id_change_high_and_low():
    for given, shown in [(0x0100007F, "ClientID: 16777343 (open)"), (5, "ClientID: 5 (firewalled)")]:
        with base_directory() as cwd, FakeIndexServer() as server:
            server.reply(LOGIN, id_change(given))
            with Client(cwd) as client:
                connect(client, server)
                check(server.expect(ID_RECEIVED) == b"", "op 20 carries nothing")
                client.saw("Connected to: 127.0.0.1\n")
                stats = client.cmd("g")
                check(stats.endswith(shown + "\nConnected to: 127.0.0.1\n   Users: 0    Files: 0\n"),
                      "g after id %d: %r" % (given, stats))
                client.quit()


def test_status_message_own_record_and_more_servers():
    with base_directory() as cwd, FakeIndexServer() as server:
        server.reply(LOGIN, id_change(0x0100007F), server_status(7, 9),
                     server_message("hello %s %n %d"),
                     own_record("Fake Name", tag_string(DESCRIPTION, "a server")),
                     server_list([(0x0100000A, 4661), (0x0200000A, 4662)]))
        with Client(cwd) as client:
            connect(client, server)
            client.saw("Connected to: 127.0.0.1\n")
            client.saw("hello %s %n %d\n")
            client.saw("Connected to: Fake Name\n")
            stats = client.cmd("g")
            check(stats.endswith("Connected to: 127.0.0.1\n   Users: 7    Files: 9\n"), "g: %r" % stats)
            listing = client.until("vm", "10.0.0.2 : 4662")
            check("Fake Name" in listing and "a server" in listing, "own record in vm: %r" % listing)
            check("10.0.0.1 : 4661" in listing, "vm: %r" % listing)
            client.quit()


def test_search_sends_the_expression_and_shows_filtered_results():
    with base_directory() as cwd, FakeIndexServer() as server:
        with open(os.path.join(cwd, "filters.txt"), "w") as f:
            f.write("unwanted\n")
        server.reply(LOGIN, id_change(0x0100007F))
        with Client(cwd) as client:
            connect(client, server)
            server.expect(ID_RECEIVED)
            client.cmd("s fat day -Audio")
            expression = server.expect(SEARCH)
            want = (b"\x00\x00" + b"\x02" + text("Audio") + text(b"\x03") +
                    b"\x01" + text("fat day"))
            check(expression == want, "expression %r" % expression)
            server.send(*search_results([
                file_record(b"a" * 16, tag_string(NAME, "fat day.mp3"), tag_int(SIZE, 1000)),
                file_record(b"b" * 16, tag_string(NAME, "UNWANTED day.mp3"), tag_int(SIZE, 2)),
                file_record(b"c" * 16, tag_string(NAME, "fat day live.mp3"), tag_int(SIZE, 3)),
            ]))
            client.saw("Results returned\n")
            rows = client.cmd("vr")
            check(rows.endswith("Name\tSize\t\n(1) fat day.mp3\t1000\t\n(2) fat day live.mp3\t3\t\n"),
                  "vr: %r" % rows)
            client.quit()


def test_callback_requests_call_only_real_addresses():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as listener, \
            base_directory() as cwd, FakeIndexServer() as server:
        listener.bind(("127.0.0.1", 0))
        listener.listen(2)
        listener.settimeout(5)
        peer_port = listener.getsockname()[1]
        server.reply(LOGIN, id_change(0x0100007F))
        with Client(cwd) as client:
            connect(client, server)
            server.expect(ID_RECEIVED)
            server.send(*callback_request(0x00FFFFFF, peer_port))
            server.send(*server_message("low id sent"))
            client.saw("low id sent\n")
            listener.settimeout(0.5)
            called = None
            try:
                called = listener.accept()
            except socket.timeout:
                pass
            check(called is None, "a low id was called")
            listener.settimeout(5)
            server.send(*callback_request(ip_value("127.0.0.1"), peer_port))
            conn, _ = listener.accept()
            conn.close()
            client.quit()


def test_pings_update_the_list_and_server_met_keeps_the_unanswered_count():
    with base_directory() as cwd, FakeIndexServer(name="answering") as answering, \
            FakeIndexServer(name="silent") as silent:
        answering.answer_pings(users=5, files=6)
        with Client(cwd) as client:
            client.cmd("n 127.0.0.1 %d" % answering.port)
            client.cmd("n 127.0.0.1 %d" % silent.port)
            silent.expect_udp(UDP_STATUS_REQUEST)
            listing = client.until("vm", "\t5\t6\t")
            check(": %d" % answering.port in listing, "vm: %r" % listing)
            client.quit()
        servers = server_met(cwd)
        got = {port: tags.get(b"\x0d") for (_, port), tags in servers.items()}
        check(got == {answering.port: 0, silent.port: 1}, "history in server.met: %r" % got)


def test_bad_frames_drop_the_server_and_memory_stays_flat():
    cases = [
        ("bad marker", b"\xc5" + u32(5) + b"\x34" + u32(1)),
        ("empty frame", u8(MARKER) + u32(0)),
        ("2 GiB frame", u8(MARKER) + u32(0x7FFFFFFF) + b"\x38"),
    ]
    with base_directory() as cwd, FakeIndexServer() as server:
        server.reply(LOGIN, id_change(0x0100007F))
        with Client(cwd) as client:
            client.cmd("n 127.0.0.1 %d" % server.port)
            for n, (what, data) in enumerate(cases, 1):
                client.cmd("c")
                server.wait_connections(n)
                server.expect(ID_RECEIVED)
                before = client.resident_kib()
                server.send_raw(data)
                server.wait_closed()
                client.until("g", "Not connected to a server.\n")
                grown = client.resident_kib() - before
                check(grown < 16 * 1024, "%s: memory grew by %d KiB" % (what, grown))
            client.quit()


if __name__ == "__main__":
    main([test_login_bytes_with_and_without_a_password, test_id_change_high_and_low,
          test_status_message_own_record_and_more_servers,
          test_search_sends_the_expression_and_shows_filtered_results,
          test_callback_requests_call_only_real_addresses,
          test_pings_update_the_list_and_server_met_keeps_the_unanswered_count,
          test_bad_frames_drop_the_server_and_memory_stays_flat])
