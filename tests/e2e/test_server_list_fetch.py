"""The server-list fetch of the real client typed again and again: good, missing, oversized,
malformed and unreachable lists and a server that never answers, while the client is
connected to an index server and while another fetch is under way; then a quit while a
server is still answering a fetch byte by byte. The client runs on one processor, where a
fetch that fails at once often ends before the command that started it has gone on. CI
runs this against the ASan+UBSan build too."""

import http.server
import os
import socket
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from console_session import base_directory, check, main  # noqa: E402
from fake_index_server import ID_RECEIVED, LOGIN, NAME, FakeIndexServer, id_change  # noqa: E402
from server_session import Client, server_met_bytes, server_met_record  # noqa: E402
from test_server_commands import ListServer  # noqa: E402
from wire import tag_string  # noqa: E402

GOT = "Got server list.\n"
PROBLEM = "Problem getting list.\n"


class Trickler:
    """Takes a request, then sends one byte a second and never ends its header: a fetch of it
    ends only when the client gives it up."""

    def __init__(self):
        self.sock = socket.socket()
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(4)
        self.port = self.sock.getsockname()[1]
        self.asked = threading.Event()
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        self.sock.settimeout(0.5)
        while not self.stop.is_set():
            try:
                conn, _ = self.sock.accept()
            except OSError:
                continue
            threading.Thread(target=self.trickle, args=(conn,), daemon=True).start()

    def trickle(self, conn):
        with conn:
            conn.settimeout(10)
            got = b""
            try:
                while b"\r\n\r\n" not in got:
                    part = conn.recv(4096)
                    if not part:
                        return
                    got += part
                self.asked.set()
                while not self.stop.is_set():
                    conn.sendall(b"x")
                    self.stop.wait(1)
            except OSError:
                return

    def close(self):
        self.stop.set()
        self.thread.join(5)
        self.sock.close()


class QuietServer(http.server.HTTPServer):
    def handle_error(self, request, client_address):
        pass  # the client drops an oversized list before it has all come


def results(client):
    text = client.transcript + client.seen
    return text.count(GOT) + text.count(PROBLEM)


def wait_results(client, n, timeout=60):
    """Waits until n fetches have said how they went."""
    deadline = time.monotonic() + timeout
    while results(client) < n:
        check(time.monotonic() < deadline, "%d of %d fetches answered" % (results(client), n))
        client.cmd("vo")


def test_glist_again_and_again_then_a_quit_during_a_fetch():
    ListServer.body = server_met_bytes([
        server_met_record("10.0.0.2", 4662, tag_string(NAME, "fetched"))])
    web = QuietServer(("127.0.0.1", 0), ListServer)
    threading.Thread(target=web.serve_forever, daemon=True).start()
    url = "http://127.0.0.1:%d" % web.server_address[1]
    trickler = Trickler()
    closed = socket.socket()
    closed.bind(("127.0.0.1", 0))
    refused = "http://127.0.0.1:%d/server.met" % closed.getsockname()[1]
    # Accepts (the kernel does, into its backlog) and never says a word: a fetch of it ends
    # at the client's own limit for silence.
    silent = socket.socket()
    silent.bind(("127.0.0.1", 0))
    silent.listen(8)
    mute = "glist http://127.0.0.1:%d/server.met" % silent.getsockname()[1]
    lines = ["glist %s/servers.met" % url, "glist %s/missing.met" % url, "glist %s/big.met" % url,
             "glist notaurl", "glist", "glist http://127.0.0.1:1/server.met", "glist " + refused,
             "glist ftp://127.0.0.1/server.met", "glist http://"]
    saved = os.sched_getaffinity(0)
    os.sched_setaffinity(0, {sorted(saved)[0]})
    try:
        with base_directory() as cwd, FakeIndexServer() as index:
            index.reply(LOGIN, id_change(0x0100007F))
            with Client(cwd) as client:
                client.cmd("n 127.0.0.1 %d" % index.port)
                client.cmd("c")
                index.expect(ID_RECEIVED, timeout=20)
                typed = 0
                for round_ in range(40):
                    # Typed without waiting: each may find the one before still running.
                    for line in ([mute] if round_ == 0 else []) + lines:
                        client.cmd(line)
                        typed += 1
                    wait_results(client, typed)
                client.until("vm", "10.0.0.2 : 4662")
                check(client.running(), "the client ended")

                client.cmd("glist http://127.0.0.1:%d/server.met" % trickler.port)
                check(trickler.asked.wait(20), "the slow server was never asked")
                # One fetch at a time: these find it under way.
                for line in lines[:4]:
                    client.cmd(line)
                wait_results(client, typed + 4)
                # Without a cancel the quit would wait for the slow server for ever.
                client.quit(timeout=60, question=None)
    finally:
        os.sched_setaffinity(0, saved)
        trickler.close()
        closed.close()
        silent.close()
        web.shutdown()


if __name__ == "__main__":
    main([test_glist_again_and_again_then_a_quit_during_a_fetch])
