"""A file from one real client to another on loopback, found through a scripted index server
(tests/e2e), every crumb and part verified by the downloader; beside it, in the same run, the
same file through a plain loopback TCP socket (cat) and `openssl speed md4`.

    python3 bench/bench_transfer.py build/tornavel [MiB]      (1024 MiB by default)

Prints MiB/s end to end (from the first byte in the downloader's temporary directory to the
whole file in its incoming directory) and its two phases: the data, every crumb and part
verified as it comes, and the completion, which joins the part files, hashes the joined file
once more and moves it. Beside them the time from the download command, which also holds the
wait before a new download's first source request to the server; CPU seconds per GiB of each
client (all threads, from /proc); the copies the sharer counted as sent (above 1.0: ranges
sent twice); the peak resident memory of each."""

import os
import socket
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
# The size leaves the arguments: the e2e helpers read the binary from sys.argv[1].
SIZE_MIB = int(sys.argv.pop(2)) if len(sys.argv) > 2 else 1024
from console_session import base_directory  # noqa: E402
from fake_index_server import FakeIndexServer  # noqa: E402
from test_uploads import Peer, sent_copies, shared_file  # noqa: E402

MIB = 1 << 20


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def thread_cpu(pid):
    """CPU seconds of each thread so far, by thread id."""
    out = {}
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            out[tid] = cpu_seconds_of("/proc/%d/task/%s/stat" % (pid, tid))
        except OSError:
            pass
    return out


def cpu_seconds_of(path):
    with open(path) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def peak_memory_mib(pid):
    """The most resident memory the process has had, in MiB."""
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024
    return 0.0


def cat_through_socket(path):
    """MiB/s of `cat path` written into a loopback TCP socket and read on the other side."""
    server = socket.socket()
    server.bind(("127.0.0.1", 0))
    server.listen(1)
    sender = socket.create_connection(server.getsockname())
    receiver, _ = server.accept()
    got = [0]

    def drain():
        buf = bytearray(1 << 20)
        while True:
            n = receiver.recv_into(buf)
            if not n:
                return
            got[0] += n
    reader = threading.Thread(target=drain)
    start = time.monotonic()
    reader.start()
    subprocess.run(["cat", path], stdout=sender.fileno(), check=True)
    sender.close()
    reader.join()
    elapsed = time.monotonic() - start
    receiver.close()
    server.close()
    return got[0] / MIB / elapsed


class Phases:
    """Watches the downloader's directories: when the first part file appears, when the part
    files start to be joined (every part verified), when the whole file is in incoming."""

    def __init__(self, temp, target, size):
        self.temp, self.target, self.size = temp, target, size
        self.first = self.joining = self.done = None
        self.most_parts = 0

    def parts(self):
        count = 0
        for root, _, files in os.walk(self.temp):
            count += sum(1 for f in files if f.endswith(".part"))
        return count

    def watch(self, limit_s):
        deadline = time.monotonic() + limit_s
        while time.monotonic() < deadline:
            now = time.monotonic()
            n = self.parts()
            if n and self.first is None:
                self.first = now
            if n > self.most_parts:
                self.most_parts = n
            elif self.joining is None and self.most_parts > 1 and n < self.most_parts:
                self.joining = now
            if os.path.exists(self.target) and os.path.getsize(self.target) == self.size:
                self.done = now
                if self.joining is None:
                    self.joining = now
                return
            time.sleep(0.002)
        raise RuntimeError("the file did not arrive in %d s" % limit_s)


def openssl_md4():
    out = subprocess.run(["openssl", "speed", "-provider", "legacy", "-provider", "default",
                          "-seconds", "2", "md4"], capture_output=True, text=True).stdout
    for line in out.splitlines():
        if line.startswith("md4 "):
            return float(line.split()[-1].rstrip("k")) * 1000 / MIB
    return 0.0


def main():
    mib = SIZE_MIB
    size = mib * MIB
    with base_directory() as a_dir, base_directory() as b_dir, \
            FakeIndexServer(name="A's") as a_server, FakeIndexServer(name="B's") as b_server:
        with open("/dev/urandom", "rb") as rnd:
            shared = shared_file(b_dir, "bench.bin", b"")
            data_path = os.path.join(shared, "bench.bin")
            with open(data_path, "wb") as f:
                left = size
                while left:
                    chunk = rnd.read(min(left, 64 * MIB))
                    f.write(chunk)
                    left -= len(chunk)
        cat_rate = cat_through_socket(data_path)
        md4_rate = openssl_md4()
        b = Peer(b_dir, b_server)
        a = Peer(a_dir, a_server)
        try:
            file_hash = b.share(shared, "bench.bin")
            a_cpu, b_cpu = cpu_seconds(a.client.proc.pid), cpu_seconds(b.client.proc.pid)
            start = time.monotonic()
            a.fetch(file_hash, "bench.bin", size, b)
            target = a.incoming("bench.bin")
            phases = Phases(os.path.join(a_dir, "temp"), target, size)
            phases.watch(600)
            # The busiest threads of each side: the core task thread moves the data, the
            # downloader's hashing is on it too unless a worker takes it.
            for side, peer in (("downloader", a), ("uploader", b)):
                busiest = sorted(thread_cpu(peer.client.proc.pid).values(), reverse=True)[:3]
                print("%-21s %s" % (side + " threads", " ".join("%.1f s" % t for t in busiest)))
            a_peak = peak_memory_mib(a.client.proc.pid)
            b_peak = peak_memory_mib(b.client.proc.pid)
            a_used = cpu_seconds(a.client.proc.pid) - a_cpu
            b_used = cpu_seconds(b.client.proc.pid) - b_cpu
            same = subprocess.run(["cmp", "-s", data_path, target]).returncode == 0
            a.quit()
            b.quit()
            copies = sent_copies(b, "bench.bin")
        finally:
            a.client.close()
            b.client.close()
    gib = size / (1 << 30)
    print("file                  %d MiB, received %s" % (mib, "whole" if same else "DIFFERENT"))
    end_to_end = phases.done - phases.first
    data_s = phases.joining - phases.first
    print("end to end            %.1f MiB/s (%.2f s)" % (mib / end_to_end, end_to_end))
    print("  data, verified      %.1f MiB/s (%.2f s)" % (mib / data_s, data_s))
    print("  completion          %.2f s" % (phases.done - phases.joining))
    print("from the command      %.2f s (the first source request waits 7 s)"
          % (phases.done - start))
    print("downloader CPU        %.2f s/GiB" % (a_used / gib))
    print("uploader CPU          %.2f s/GiB" % (b_used / gib))
    print("copies sent           %.4f" % copies)
    print("peak resident memory  downloader %.1f MiB, uploader %.1f MiB" % (a_peak, b_peak))
    print("cat through a socket  %.1f MiB/s" % cat_rate)
    print("openssl speed md4     %.1f MiB/s" % md4_rate)


if __name__ == "__main__":
    main()
