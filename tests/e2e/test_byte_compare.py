"""The end-to-end tests' byte comparison: it fails exactly when the bytes differ, and its
message names the first difference and stays a few lines long whatever the size."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from byte_compare import check_bytes, difference  # noqa: E402
from console_session import check, main  # noqa: E402


def test_the_first_difference_with_both_lengths_and_a_window_of_each():
    big = bytes(range(256)) * 4096
    spoilt = bytearray(big)
    spoilt[700001] ^= 1
    table = [
        ("equal", b"abc", b"abc", None),
        ("both empty", b"", b"", None),
        ("a NUL counts", b"a\0b", b"a\0c",
         ["bytes differ at offset 2", "  lengths: 3 expected, 3 actual",
          "  expected @0: 61 00 [62]  |a.b|", "  actual   @0: 61 00 [63]  |a.c|"]),
        ("actual shorter", b"abcd", b"ab",
         ["bytes differ at offset 2", "  lengths: 4 expected, 2 actual",
          "  expected @0: 61 62 [63] 64  |abcd|", "  actual   @0: 61 62 [end]  |ab|"]),
        ("expected empty", b"", b"z",
         ["bytes differ at offset 0", "  lengths: 0 expected, 1 actual",
          "  expected @0: [end]  ||", "  actual   @0: [7a]  |z|"]),
        ("deep in a megabyte", big, bytes(spoilt),
         ["bytes differ at offset 700001", "  lengths: 1048576 expected, 1048576 actual",
          "  expected @699993: 59 5a 5b 5c 5d 5e 5f 60 [61] 62 63 64 65 66 67 68 69 6a 6b 6c"
          " 6d 6e 6f 70 ...  |YZ[\\]^_`abcdefghijklmnop|",
          "  actual   @699993: 59 5a 5b 5c 5d 5e 5f 60 [60] 62 63 64 65 66 67 68 69 6a 6b 6c"
          " 6d 6e 6f 70 ...  |YZ[\\]^_``bcdefghijklmnop|"]),
    ]
    for what, expected, actual, lines in table:
        want = None if lines is None else "\n".join(lines)
        got = difference(expected, actual)
        check(got == want, "%s: %r" % (what, got))


def test_check_bytes_raises_with_the_difference():
    check_bytes(b"same", b"same")
    try:
        check_bytes(b"x", b"y", "the files")
    except AssertionError as e:
        check(str(e).startswith("the files differ at offset 0\n"), repr(str(e)))
    else:
        check(False, "no failure for differing bytes")


if __name__ == "__main__":
    main([test_the_first_difference_with_both_lengths_and_a_window_of_each,
          test_check_bytes_raises_with_the_difference])
