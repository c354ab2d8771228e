"""MD4 (RFC 1320) in plain Python: the tests check the client's file hashes against it."""

import struct


def _f(x, y, z):
    return (x & y) | (~x & z)


def _g(x, y, z):
    return (x & y) | (x & z) | (y & z)


def _h(x, y, z):
    return x ^ y ^ z


def _rol(v, s):
    v &= 0xFFFFFFFF
    return ((v << s) | (v >> (32 - s))) & 0xFFFFFFFF

def md4(data):
    """The 16-byte digest of data."""
    n = len(data)
    data = data + b"\x80" + b"\x00" * ((55 - n) % 64) + struct.pack("<Q", n * 8)
    a, b, c, d = 0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476
    for off in range(0, len(data), 64):
        x = struct.unpack("<16I", data[off:off + 64])
        aa, bb, cc, dd = a, b, c, d
        for i in (0, 4, 8, 12):
            a = _rol(a + _f(b, c, d) + x[i], 3)
            d = _rol(d + _f(a, b, c) + x[i + 1], 7)
            c = _rol(c + _f(d, a, b) + x[i + 2], 11)
            b = _rol(b + _f(c, d, a) + x[i + 3], 19)
        for i in (0, 1, 2, 3):
            a = _rol(a + _g(b, c, d) + x[i] + 0x5A827999, 3)
            d = _rol(d + _g(a, b, c) + x[i + 4] + 0x5A827999, 5)
            c = _rol(c + _g(d, a, b) + x[i + 8] + 0x5A827999, 9)
            b = _rol(b + _g(c, d, a) + x[i + 12] + 0x5A827999, 13)
        for i in (0, 2, 1, 3):
            a = _rol(a + _h(b, c, d) + x[i] + 0x6ED9EBA1, 3)
            d = _rol(d + _h(a, b, c) + x[i + 8] + 0x6ED9EBA1, 9)
            c = _rol(c + _h(d, a, b) + x[i + 4] + 0x6ED9EBA1, 11)
            b = _rol(b + _h(c, d, a) + x[i + 12] + 0x6ED9EBA1, 15)
        a, b = (a + aa) & 0xFFFFFFFF, (b + bb) & 0xFFFFFFFF
        c, d = (c + cc) & 0xFFFFFFFF, (d + dd) & 0xFFFFFFFF
    return struct.pack("<4I", a, b, c, d)
