#!/usr/bin/python3
"""The fingerprint of a machine made again from its hdsn-disks --json document
by the README's rule ("The fingerprint"), with Python's hmac and hashlib
alone: nothing of the program's code.

Usage: fingerprint_of.py DOCUMENT SALT
Prints what hdsn-disks --fingerprint --salt SALT prints on that machine and
exits 0; with no system disk that counts, prints nothing and exits 1."""
import hashlib
import hmac
import json
import pathlib
import sys

VERSION = b"hdsn-fp1"


def escaped(value):
    """The value's bytes: printable ASCII but "%" as it is, every other byte
    as "%" and two capital hex digits."""
    return b"".join(bytes([b]) if 0x20 <= b <= 0x7E and b != 0x25 else b"%%%02X" % b
                    for b in value)


def text_bytes(text):
    # The document writes every byte that is not printable ASCII as \\u00XX.
    return text.encode("latin-1")


def line(disk):
    """The disk's line of the input, or None when it does not count."""
    if disk["system"] is not True or disk["removable"] is True or disk["bus"] == "USB":
        return None
    if disk["serial"] is not None and disk["serial_kind"] == "serial":
        kind, value = "serial", disk["serial"]
    else:
        kind, value = next(((k, disk[k]) for k in ("wwn", "eui64", "nguid") if disk.get(k)),
                           (None, None))
        if kind is None:
            return None
    return kind.encode() + b"\t" + escaped(text_bytes(value)) + b"\n"


def fingerprint(document, salt):
    lines = sorted({l for l in map(line, document["disks"]) if l is not None})
    if not lines:
        return None
    message = VERSION + b"\n" + b"".join(lines)
    return VERSION.decode() + ":" + hmac.new(salt, message, hashlib.sha256).hexdigest()


def main(argv):
    if len(argv) != 3:
        print(__doc__)
        return 2
    document = json.loads(pathlib.Path(argv[1]).read_text(encoding="utf-8"))
    value = fingerprint(document, argv[2].encode("utf-8"))
    if value is None:
        return 1
    print(value)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
