"""Byte strings compared so that a failure reads in one screen: the first offset where
they differ, both lengths and a short hex window of each around it, never the whole
strings (a file of a megabyte printed with repr is thousands of lines)."""

WINDOW_BEFORE = 8
WINDOW_AFTER = 16


def first_difference(expected, actual):
    """The offset of the first byte where the two differ; the shorter length when one
    is the start of the other; None when they are equal."""
    common = min(len(expected), len(actual))
    if expected[:common] != actual[:common]:
        # Halve the range that holds the difference: whole files compare at C speed.
        lo, hi = 0, common
        while hi - lo > 64:
            mid = (lo + hi) // 2
            if expected[lo:mid] != actual[lo:mid]:
                hi = mid
            else:
                lo = mid
        return next(i for i in range(lo, hi) if expected[i] != actual[i])
    return None if len(expected) == len(actual) else common


def hex_window(data, at):
    """One line: "@<offset>: 4f 50 [51] 52 ...  |OP.QR|", the byte at `at` bracketed."""
    start = max(0, at - WINDOW_BEFORE)
    end = min(len(data), at + WINDOW_AFTER)
    cells = [("[%02x]" if i == at else "%02x") % data[i] for i in range(start, end)]
    if at >= len(data):
        cells.append("[end]")
    if end < len(data):
        cells.append("...")
    text = "".join(chr(b) if 0x20 <= b < 0x7F else "." for b in data[start:end])
    return "@%d: %s  |%s|" % (start, " ".join(cells), text)


def difference(expected, actual, what="bytes"):
    """None when equal, else the few lines that say where and how they differ."""
    at = first_difference(expected, actual)
    if at is None:
        return None
    return ("%s differ at offset %d\n  lengths: %d expected, %d actual\n"
            "  expected %s\n  actual   %s"
            % (what, at, len(expected), len(actual), hex_window(expected, at),
               hex_window(actual, at)))


def check_bytes(expected, actual, what="bytes"):
    """Raises AssertionError with the difference unless the two are equal."""
    message = difference(expected, actual, what)
    if message is not None:
        raise AssertionError(message)
