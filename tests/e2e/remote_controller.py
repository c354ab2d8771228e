"""A remote controller for the end-to-end tests: a TCP client of the admin door that
speaks its frames (u8 0xE3, u32 length, opcode and payload; little-endian fields,
strings as u16 length and bytes)."""

import socket
import time

from console_session import check
from waiting import EVENT_TIMEOUT
from wire import Reader, frame, split_frame, text

LOGIN, STOP, COMMAND = 100, 101, 102
DOWNLOAD_STATUS_ON, DOWNLOAD_STATUS_OFF = 217, 218
UPLOAD_STATUS_ON, UPLOAD_STATUS_OFF = 219, 220
OPTIONS_REQUEST, DOWNLOAD_RECORD, PART_MAP_REQUEST = 225, 226, 227

PART_MAP, LINE, TEXT = 174, 180, 181
DOWNLOAD, DOWNLOAD_REMOVED = 188, 189
DOWNLOAD_STATUS, OPTIONS, UPLOAD_STATUS, SLOT = 197, 199, 200, 201


class Fields(Reader):
    """Fields of a received payload, read in order."""

    def string(self):
        return self.text().decode(errors="replace")


class Controller:
    """One connection to the admin door; frames() keeps what arrived with its time."""

    def __init__(self, port, timeout=EVENT_TIMEOUT):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=timeout)
        self.pending = b""
        self.got = []  # (monotonic time, opcode, payload)
        self.closed = False

    def send(self, op, payload=b""):
        self.sock.sendall(frame(op, payload))

    def send_raw(self, data):
        self.sock.sendall(data)

    def login(self, name, password):
        self.send(LOGIN, text(name) + text(password))

    def command(self, line):
        self.send(COMMAND, text(line))

    def _read(self, timeout):
        self.sock.settimeout(timeout)
        try:
            chunk = self.sock.recv(65536)
        except socket.timeout:
            return
        except (ConnectionResetError, BrokenPipeError):
            chunk = b""
        if not chunk:
            self.closed = True
            return
        self.pending += chunk
        now = time.monotonic()
        while True:
            body, self.pending = split_frame(self.pending)
            if body is None:
                break
            self.got.append((now, body[0], body[1:]))

    def wait_for(self, test, timeout=EVENT_TIMEOUT):
        """Reads until test(frames so far) holds or the connection closes; its answer."""
        deadline = time.monotonic() + timeout
        while True:
            result = test(self.got)
            if result or self.closed:
                return result
            left = deadline - time.monotonic()
            if left <= 0:
                return result
            self._read(min(left, 0.5))

    def next_frame(self, op, timeout=EVENT_TIMEOUT, after=0):
        """The payload of the first frame of the opcode at index after or later."""
        def found(got):
            for _, o, body in got[after:]:
                if o == op:
                    return body
            return None
        body = self.wait_for(found, timeout)
        check(body is not None, "no frame %d arrived; got %r" % (op, self.opcodes()))
        return body

    def expect_close(self, timeout=EVENT_TIMEOUT):
        self.wait_for(lambda got: False, timeout)
        check(self.closed, "the client kept the connection open")

    def opcodes(self):
        return [op for _, op, _ in self.got]

    def texts(self, op):
        return [Fields(body).string() for _, o, body in self.got if o == op]

    def close(self):
        self.sock.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
