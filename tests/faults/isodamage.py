#!/usr/bin/env python3
"""Damages an ISO 9660 image in place, as a broken or hostile image would be.

  isodamage.py truncate IMAGE BYTES         cut the image to BYTES
  isodamage.py zero-descriptors IMAGE       zero every volume descriptor
  isodamage.py past-end IMAGE PATH          PATH's record points past the image's end
  isodamage.py huge-size IMAGE PATH         PATH's record claims 4 GiB
  isodamage.py huge-folder IMAGE PATH       the folder PATH's own "." record claims 4 GiB
  isodamage.py loop IMAGE PATH              the folder PATH's record points at its parent
                                            folder, which then contains itself
  isodamage.py rename IMAGE PATH NAME       PATH's Joliet name becomes NAME (as many
                                            characters), which may repeat another's or
                                            hold what no Windows name can

PATH is '/'-separated and matched without regard to case in every tree the
image has (the ISO 9660 one and the Joliet one), so that whichever names a
reader takes, it meets the damage.
"""
import struct
import sys

SECTOR = 2048
HUGE = 0xFFFFF800


def both32(value):
    return struct.pack("<I", value) + struct.pack(">I", value)


def descriptors(data):
    """Offsets of the volume descriptors up to the terminator, with their types."""
    found = []
    lba = 16
    while (lba + 1) * SECTOR <= len(data) and data[lba * SECTOR + 1:lba * SECTOR + 6] == b"CD001":
        found.append((lba * SECTOR, data[lba * SECTOR]))
        if data[lba * SECTOR] == 255:
            break
        lba += 1
    return found


def extent(data, record):
    return struct.unpack_from("<I", data, record + 2)[0], struct.unpack_from("<I", data, record + 10)[0]


def children(data, record, joliet):
    """(record offset, shown name) of each entry of the folder at `record`."""
    lba, size = extent(data, record)
    at, end = lba * SECTOR, lba * SECTOR + size
    while at < end:
        if data[at] == 0:
            at = (at // SECTOR + 1) * SECTOR
            continue
        raw = bytes(data[at + 33:at + 33 + data[at + 32]])
        if raw not in (b"\0", b"\1"):
            name = raw.decode("utf-16-be", "replace") if joliet else raw.decode("latin-1")
            yield at, name.split(";")[0].rstrip(".") if ";" in name else name
        at += data[at]


def records(data, path):
    """(record, parent record) of PATH in every tree of the image."""
    found = []
    for at, kind in descriptors(data):
        if kind not in (1, 2):
            continue
        record, parent = at + 156, None
        for part in path.split("/"):
            parent = record
            record = next((r for r, name in children(data, record, kind == 2)
                           if name.upper() == part.upper()), None)
            if record is None:
                break
        if record is not None:
            found.append((record, parent))
    if not found:
        raise SystemExit("isodamage: %s is not in the image" % path)
    return found


def rename(data, record, name):
    length = data[record + 32]
    raw = bytes(data[record + 33:record + 33 + length])
    if length % 2 or raw[:2] in (b"\0\0", b"\0\1"):
        return  # an ISO 9660 record: only the Joliet tree is renamed
    old = raw.decode("utf-16-be")
    stem, suffix = (old.split(";", 1)[0], ";" + old.split(";", 1)[1]) if ";" in old else (old, "")
    if len(name) != len(stem):
        raise SystemExit("isodamage: %s has %d characters, not %d" % (name, len(name), len(stem)))
    data[record + 33:record + 33 + length] = (name + suffix).encode("utf-16-be")


def main():
    kind, image = sys.argv[1], sys.argv[2]
    data = bytearray(open(image, "rb").read())
    if kind == "truncate":
        data = data[:int(sys.argv[3])]
    elif kind == "zero-descriptors":
        for at, _ in descriptors(data):
            data[at:at + SECTOR] = bytes(SECTOR)
    else:
        for record, parent in records(data, sys.argv[3]):
            if kind == "past-end":
                data[record + 2:record + 10] = both32(len(data) // SECTOR + 1000)
            elif kind == "huge-size":
                data[record + 10:record + 18] = both32(HUGE)
            elif kind == "huge-folder":
                dot = extent(data, record)[0] * SECTOR
                data[dot + 10:dot + 18] = both32(HUGE)
            elif kind == "loop":
                data[record + 2:record + 18] = data[parent + 2:parent + 18]
            elif kind == "rename":
                rename(data, record, sys.argv[4])
            else:
                raise SystemExit("isodamage: unknown damage " + kind)
    open(image, "wb").write(data)


if __name__ == "__main__":
    main()
