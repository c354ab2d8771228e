"""pref.met as the end-to-end tests read and write it, independently of the
client's record model: the own user record, then the settings record."""

import os
import socket

from console_session import check
from wire import INT, Reader, tag, tags, u16, u32


def parse_pref(path):
    """(own user record, settings tags); fails unless the file is whole."""
    with open(path, "rb") as f:
        r = Reader(f.read())
    user = {"address": r.u32(), "port": r.u16(), "hash": r.hash(), "tags": r.file_tags()}
    settings = r.file_tags()
    check(r.left() == 0, "pref.met has %d bytes after the records" % r.left())
    return user, settings


def write_pref(path, user, settings):
    data = u32(user["address"]) + u16(user["port"]) + user["hash"]
    data += tags(*(tag(*t) for t in user["tags"]))
    data += tags(*(tag(*t) for t in settings))
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
