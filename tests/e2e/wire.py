"""The fields of the client's frames and files as the end-to-end tests write and read them:
little-endian integers, 16-byte hashes, strings as a u16 length and their bytes, tag lists
(a u32 count, then each tag's kind, name and value), and frames (the marker, a u32 length,
the opcode and the payload)."""

import socket
import struct

MARKER = 0xE3
HASH_SIZE = 16

# Tag kinds.
HASH, STRING, INT, FLOAT, BYTE, BITS, BLOB, EIGHT = 1, 2, 3, 4, 5, 6, 7, 8
# What frames and server.met carry; the client's other files may hold any kind.
FRAME_KINDS = (HASH, STRING, INT, FLOAT)
FILE_KINDS = (HASH, STRING, INT, FLOAT, BYTE, BITS, BLOB, EIGHT)


def u8(v):
    return struct.pack("<B", v)


def u16(v):
    return struct.pack("<H", v & 0xFFFF)


def u32(v):
    return struct.pack("<I", v & 0xFFFFFFFF)


def f32(v):
    return struct.pack("<f", v)


def text(s):
    """A string: u16 length, then the bytes (a str is encoded)."""
    b = s.encode() if isinstance(s, str) else bytes(s)
    return u16(len(b)) + b


def ip_value(dotted):
    """The u32 of a dotted address, first octet in the lowest byte."""
    return struct.unpack("<I", socket.inet_aton(dotted))[0]


def dotted(ip):
    """The dotted address of a u32 that ip_value made."""
    return socket.inet_ntoa(u32(ip))


def tag(kind, name, value):
    """One tag; name is bytes (one byte for a special tag). An int is written as its 32
    bits, negative or not."""
    out = u8(kind) + text(name)
    if kind == STRING:
        return out + text(value)
    if kind == INT:
        return out + u32(value)
    if kind == FLOAT:
        return out + f32(value)
    if kind == BYTE:
        return out + u8(value)
    if kind == BITS:
        raise AssertionError("bit arrays are not written here")
    if kind == BLOB:
        return out + u32(len(value)) + value
    return out + value


def tag_string(name, value):
    return tag(STRING, name, value)


def tag_int(name, value):
    return tag(INT, name, value)


def tag_float(name, value):
    return tag(FLOAT, name, value)


def tags(*encoded):
    """A tag list of tags already written."""
    return u32(len(encoded)) + b"".join(encoded)


def record(record_hash, ip, port, *encoded_tags):
    """A user, a file or a server as frames carry it: hash, address, port, tags."""
    return bytes(record_hash) + u32(ip) + u16(port) + tags(*encoded_tags)


def file_record(file_hash, *encoded_tags):
    """A file: its hash, address and port 0, its tags."""
    return record(file_hash, 0, 0, *encoded_tags)


def frame(op, payload=b""):
    body = u8(op) + bytes(payload)
    return u8(MARKER) + u32(len(body)) + body


def split_frame(data):
    """(body, the rest) when data starts with a whole frame, the body opcode first;
    (None, data) while it is not whole yet. Fails when data starts without the marker."""
    if len(data) < 5:
        return None, data
    if data[0] != MARKER:
        raise AssertionError("frame without its marker: %r" % data[:16])
    length = struct.unpack("<I", data[1:5])[0]
    if len(data) < 5 + length:
        return None, data
    return data[5:5 + length], data[5 + length:]


class Reader:
    """Reads the fields of a payload or a file in order; fails when they run past its end."""

    def __init__(self, data):
        self.data = data
        self.at = 0

    def take(self, n):
        if self.at + n > len(self.data):
            raise AssertionError("the data ends at %d, wanted %d more from %d" %
                                 (len(self.data), n, self.at))
        b = self.data[self.at:self.at + n]
        self.at += n
        return b

    def u8(self):
        return self.take(1)[0]

    def u16(self):
        return struct.unpack("<H", self.take(2))[0]

    def u32(self):
        return struct.unpack("<I", self.take(4))[0]

    def i32(self):
        return struct.unpack("<i", self.take(4))[0]

    def f32(self):
        return struct.unpack("<f", self.take(4))[0]

    def hash(self):
        return self.take(HASH_SIZE)

    def text(self):
        return self.take(self.u16())

    def left(self):
        return len(self.data) - self.at

    def rest(self):
        return self.take(self.left())

    def tags(self):
        """[[kind, name bytes, value]] as frames and server.met carry them: ints unsigned."""
        return self._tags(self.u32, FRAME_KINDS)

    def file_tags(self):
        """[[kind, name bytes, value]] as the client's other files hold them: ints signed,
        every kind."""
        return self._tags(self.i32, FILE_KINDS)

    def _tags(self, read_int, kinds):
        out = []
        for _ in range(self.u32()):
            kind = self.u8()
            name = self.text()
            if kind not in kinds:
                raise AssertionError("tag kind %d not expected here" % kind)
            if kind == HASH:
                value = self.hash()
            elif kind == STRING:
                value = self.text()
            elif kind == INT:
                value = read_int()
            elif kind == FLOAT:
                value = self.f32()
            elif kind == BYTE:
                value = self.u8()
            elif kind == BITS:
                bits = self.u16()
                value = self.take(bits // 8 + 1 if bits else 0)
            elif kind == BLOB:
                value = self.take(self.u32())
            else:
                value = self.take(8)
            out.append([kind, name, value])
        return out

    def record(self):
        """A user, a file or a server as record() writes it: (hash, ip, port, tags)."""
        return self.hash(), self.u32(), self.u16(), self.tags()


def parse_files(payload):
    """A file list in wire form: [(hash, tags)]."""
    r = Reader(payload)
    files = []
    for _ in range(r.u32()):
        file_hash, _, _, file_tags = r.record()
        files.append((file_hash, file_tags))
    return files
