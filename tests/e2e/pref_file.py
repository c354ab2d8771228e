"""pref.met as the end-to-end tests read and write it, independently of the
client's record model: the own user record, then the settings record."""

import os
import socket
import struct

from console_session import check

INT, STRING, FLOAT = 3, 2, 4


class Reader:
    def __init__(self, data):
        self.data = data
        self.pos = 0

    def take(self, n):
        check(self.pos + n <= len(self.data), "pref.met ends early at %d" % self.pos)
        part = self.data[self.pos:self.pos + n]
        self.pos += n
        return part

    def u8(self):
        return self.take(1)[0]

    def u16(self):
        return struct.unpack("<H", self.take(2))[0]

    def u32(self):
        return struct.unpack("<I", self.take(4))[0]


def read_tag(r):
    kind = r.u8()
    name = r.take(r.u16())
    if kind == 1:
        value = r.take(16)
    elif kind == STRING:
        value = r.take(r.u16())
    elif kind == INT:
        value = struct.unpack("<i", r.take(4))[0]
    elif kind == FLOAT:
        value = struct.unpack("<f", r.take(4))[0]
    elif kind == 5:
        value = r.u8()
    elif kind == 6:
        bits = r.u16()
        value = r.take(bits // 8 + 1 if bits else 0)
    elif kind == 7:
        value = r.take(r.u32())
    elif kind == 8:
        value = r.take(8)
    else:
        raise AssertionError("unknown tag type %d in pref.met" % kind)
    return [kind, name, value]


def read_tags(r):
    return [read_tag(r) for _ in range(r.u32())]


def parse_pref(path):
    """(own user record, settings tags); fails unless the file is whole."""
    with open(path, "rb") as f:
        r = Reader(f.read())
    user = {"address": r.u32(), "port": r.u16(), "hash": r.take(16), "tags": read_tags(r)}
    settings = read_tags(r)
    check(r.pos == len(r.data), "pref.met has %d bytes after the records" % (len(r.data) - r.pos))
    return user, settings


def write_tag(kind, name, value):
    out = struct.pack("<BH", kind, len(name)) + name
    if kind == 1:
        return out + value
    if kind == STRING:
        return out + struct.pack("<H", len(value)) + value
    if kind == INT:
        return out + struct.pack("<i", value)
    if kind == FLOAT:
        return out + struct.pack("<f", value)
    if kind == 5:
        return out + struct.pack("<B", value)
    if kind == 6:
        raise AssertionError("bit arrays are not rewritten here")
    if kind == 7:
        return out + struct.pack("<I", len(value)) + value
    return out + value


def write_pref(path, user, settings):
    data = struct.pack("<IH", user["address"], user["port"]) + user["hash"]
    data += struct.pack("<I", len(user["tags"])) + b"".join(write_tag(*t) for t in user["tags"])
    data += struct.pack("<I", len(settings)) + b"".join(write_tag(*t) for t in settings)
    with open(path, "wb") as f:
        f.write(data)


def setting(settings, name):
    for kind, key, value in settings:
        if key == name:
            return value
    return None


def put(settings, kind, name, value):
    for t in settings:
        if t[1] == name:
            t[0], t[2] = kind, value
            return
    settings.append([kind, name, value])


def user_name(user):
    return setting(user["tags"], b"\x01")


def free_port():
    """A TCP port on loopback that nothing listens on right now."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def with_free_door(cwd, settings=()):
    """Gives a fresh base directory a pref.met whose door port is free, so that
    clients of tests running side by side do not contend for the default port; settings
    are more (kind, name, value) entries."""
    port = free_port()
    user = {"address": 0, "port": 0, "hash": os.urandom(16), "tags": []}
    write_pref(os.path.join(cwd, "pref.met"), user,
               [[INT, b"doorPort", port]] + [list(s) for s in settings])
    return port
