"""A client whose settings name a proxy reaches its index server and the peer it downloads
from only through that proxy, a real SOCKS5 (danted) or HTTP CONNECT (tinyproxy) server on
loopback, and still does after its door's port was changed.

The proxy connects out from 127.0.0.2, so every connection the index server and the peer
see from 127.0.0.1 came direct."""

import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from console_session import base_directory, check, main  # noqa: E402
from fake_index_server import ID_RECEIVED, FakeIndexServer  # noqa: E402
from pref_file import free_port  # noqa: E402
from test_uploads import Peer, shared_file, wait_for_file  # noqa: E402
from waiting import EVENT_TIMEOUT  # noqa: E402
from wire import INT, STRING  # noqa: E402

PROXY_OUT = "127.0.0.2"
SOCKS5, HTTP = 2, 3


class ProxyServer:
    """A proxy server process in its own directory, listening on a free loopback port and
    connecting out from PROXY_OUT; its log names each target it connected to."""

    def __init__(self, kind):
        self.kind = kind
        self.dir = tempfile.mkdtemp(prefix="tornavel-proxy-")
        os.chmod(self.dir, 0o755)
        self.port = free_port()
        self.log = os.path.join(self.dir, kind + ".log")
        self.proc = None
        program = shutil.which({"danted": "danted", "tinyproxy": "tinyproxy"}[kind],
                               path=os.environ.get("PATH", "") + ":/usr/sbin:/sbin")
        self.missing = None
        if not program:
            self.missing = "%s is not installed" % kind
            return
        conf = os.path.join(self.dir, kind + ".conf")
        with open(conf, "w") as f:
            f.write(getattr(self, "_" + kind)())
        if kind == "danted":
            argv = [program, "-f", conf, "-p", os.path.join(self.dir, "pid"), "-N", "1"]
        else:
            argv = [program, "-d", "-c", conf]
        self.out = open(os.path.join(self.dir, kind + ".out"), "w")
        self.proc = subprocess.Popen(argv, stdout=self.out, stderr=subprocess.STDOUT,
                                     start_new_session=True)
        deadline = time.monotonic() + EVENT_TIMEOUT
        while not self._answers():
            check(self.proc.poll() is None and time.monotonic() < deadline,
                  "%s did not start: %s" % (kind, self.text(kind + ".out")))
            time.sleep(0.05)

    def _danted(self):
        root = os.geteuid() == 0
        return ("logoutput: %s\n" % self.log
                + "internal: 127.0.0.1 port = %d\n" % self.port
                + "external: %s\n" % PROXY_OUT
                + "clientmethod: none\nsocksmethod: none\n"
                + ("user.privileged: root\nuser.unprivileged: nobody\n" if root else "")
                + "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
                + "socks pass {\n from: 127.0.0.0/8 to: 127.0.0.0/8\n log: connect\n"
                + " protocol: tcp\n}\n")

    def _tinyproxy(self):
        if os.geteuid() == 0:
            # The log is opened after the switch to the unprivileged user.
            shutil.chown(self.dir, "nobody")
        return ("Port %d\nListen 127.0.0.1\nBind %s\nTimeout 60\nMaxClients 20\n"
                "Allow 127.0.0.1\nLogLevel Info\nLogFile \"%s\"\nPidFile \"%s\"\n"
                % (self.port, PROXY_OUT, self.log, os.path.join(self.dir, "pid"))
                + ("User nobody\nGroup nogroup\n" if os.geteuid() == 0 else ""))

    def _answers(self):
        try:
            socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
            return True
        except OSError:
            return False

    def text(self, name=None):
        try:
            with open(os.path.join(self.dir, name) if name else self.log,
                      errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def reached(self, port):
        """Whether the log names a connection to that loopback port."""
        log = self.text()
        if self.kind == "danted":
            return re.search(r"-> \S+ 127\.0\.0\.1\.%d$" % port, log, re.M) is not None
        return ("CONNECT 127.0.0.1:%d " % port) in log

    def close(self):
        if self.proc:
            # The server forks its workers into the session it was started in.
            os.killpg(self.proc.pid, signal.SIGKILL)
            self.proc.wait()
            self.out.close()
        shutil.rmtree(self.dir, ignore_errors=True)


def door_connections(port):
    """The TCP connections with that loopback port at one end, open ones and those closed
    within the last minute (the side that closed keeps them for that long), as pairs of
    (address, port) at the port's end and at the other."""
    found = set()
    with open("/proc/net/tcp") as f:
        for line in f.read().splitlines()[1:]:
            local, remote, state = line.split()[1:4]
            if state == "0A":  # listening
                continue
            for here, there in ((local, remote), (remote, local)):
                if int(here.split(":")[1], 16) == port:
                    found.add((here, there))
    return found


def address_of(end):
    return socket.inet_ntoa(bytes.fromhex(end.split(":")[0])[::-1])


class DoorWatch:
    """Where the connections to a peer's door come from, looked at while a download runs.
    Those already there when the watch begins are left out: before the door took its port,
    the port may have been the local end of another program's connection, which lingers
    for a minute after its close."""

    def __init__(self, peer):
        self.door = peer.door
        self.before = door_connections(self.door)
        self.seen = set()

    def __call__(self):
        self.seen |= door_connections(self.door) - self.before

    @property
    def peers(self):
        return {address_of(there) for _, there in self.seen}


def unavailable(proxy):
    """Why the test cannot run here; as root (CI) make test installs the servers, so there
    a missing server fails the test."""
    if proxy.missing and os.geteuid() != 0:
        return proxy.missing
    check(not proxy.missing, "%s, though make test installs it as root" % proxy.missing)
    return None


def check_through(proxy, server, watch):
    """Every connection the index server and the peer saw came from the proxy, and the
    proxy's log names each of them."""
    check(server.peers and set(server.peers) == {PROXY_OUT},
          "the index server saw connections from %r" % server.peers)
    check(proxy.reached(server.port), "the proxy's log names no connection to the server:\n%s"
          % proxy.text()[-2000:])
    check(watch.peers == {PROXY_OUT}, "the peer saw connections from %r: %r"
          % (watch.peers, sorted(watch.seen)))
    check(proxy.reached(watch.door), "the proxy's log names no connection to the peer:\n%s"
          % proxy.text()[-2000:])


def downloads_through(kind, proxy_type):
    proxy = ProxyServer(kind)
    try:
        why = unavailable(proxy)
        if why:
            print("skipped: %s" % why)
            return
        one, two = os.urandom(700000), os.urandom(500000)
        with base_directory() as a_dir, base_directory() as b_dir, base_directory() as c_dir, \
                FakeIndexServer(name="A's") as a_server, \
                FakeIndexServer(name="B's") as b_server, \
                FakeIndexServer(name="C's") as c_server:
            with Peer(b_dir, b_server) as b, Peer(c_dir, c_server) as c, \
                    Peer(a_dir, a_server, [(INT, b"pType", proxy_type),
                                           (STRING, b"pSName", b"127.0.0.1"),
                                           (INT, b"pPort", proxy.port)]) as a:
                one_hash = b.share(shared_file(b_dir, "one.bin", one), "one.bin")
                two_hash = c.share(shared_file(c_dir, "two.bin", two), "two.bin")
                watch = DoorWatch(b)
                a.fetch(one_hash, "one.bin", len(one), b)
                wait_for_file(a.incoming("one.bin"), one, 60, watch)
                watch()
                check_through(proxy, a_server, watch)

                a.client.cmd("port %d" % free_port())
                # The next connections: to the index server again, and to another peer.
                a.client.cmd("x")
                a_server.wait_closed()
                a.client.cmd("c")
                a_server.expect(ID_RECEIVED)
                a_server.wait_connections(2)
                watch = DoorWatch(c)
                a.fetch(two_hash, "two.bin", len(two), c)
                wait_for_file(a.incoming("two.bin"), two, 60, watch)
                watch()
                check_through(proxy, a_server, watch)
                for p in (a, b, c):
                    p.quit()
    finally:
        proxy.close()


def test_through_a_socks5_proxy_before_and_after_a_port_change():
    downloads_through("danted", SOCKS5)


def test_through_an_http_proxy_before_and_after_a_port_change():
    downloads_through("tinyproxy", HTTP)


if __name__ == "__main__":
    main([test_through_a_socks5_proxy_before_and_after_a_port_change,
          test_through_an_http_proxy_before_and_after_a_port_change])
