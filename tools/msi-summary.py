#!/usr/bin/python3
"""Makes the summary information of a wixl-built MSI reproducible.

    msi-summary.py PACKAGE.msi EPOCH NAMESPACE_UUID

wixl writes a random package code and the time of the build there. Every
time becomes EPOCH (seconds since 1970, UTC); the package code becomes a
name-based UUID (version 5, in NAMESPACE_UUID) of the SHA-256 of the whole
package as it is with every other byte final, so that packages that differ
in any byte have different codes and equal packages have equal ones.

The compound file is edited through olefile; the property set inside the
summary stream is a flat table of (id, offset) pairs followed by typed
values, and only values of unchanged size are replaced.
"""
import hashlib
import struct
import sys
import uuid

import olefile

SUMMARY = "\x05SummaryInformation"
PID_REVNUMBER = 9  # the package code
PID_TIMES = (11, 12, 13)  # last printed, created, last saved
VT_LPSTR = 30
VT_FILETIME = 64
# FILETIME counts 100 ns steps since 1601-01-01.
FILETIME_1970 = 116444736000000000
PLACEHOLDER = "{00000000-0000-0000-0000-000000000000}"


def value_offsets(data):
    """Maps each property id of the first section to (type, offset of its value)."""
    (section,) = struct.unpack_from("<I", data, 44)
    _, count = struct.unpack_from("<II", data, section)
    found = {}
    for i in range(count):
        pid, offset = struct.unpack_from("<II", data, section + 8 + 8 * i)
        (vtype,) = struct.unpack_from("<H", data, section + offset)
        found[pid] = (vtype, section + offset + 4)
    return found


def rewrite(path, package_code, epoch):
    ole = olefile.OleFileIO(path, write_mode=True)
    try:
        data = bytearray(ole.openstream(SUMMARY).read())
        props = value_offsets(data)
        for pid in PID_TIMES:
            if pid in props:
                vtype, at = props[pid]
                if vtype != VT_FILETIME:
                    raise ValueError(f"property {pid} is of type {vtype}, not a time")
                struct.pack_into("<Q", data, at, FILETIME_1970 + epoch * 10000000)
        vtype, at = props[PID_REVNUMBER]
        (size,) = struct.unpack_from("<I", data, at)
        code = package_code.encode("ascii") + b"\0"
        if vtype != VT_LPSTR or size != len(code):
            raise ValueError("the package code is not a 38-character text")
        data[at + 4 : at + 4 + size] = code
        ole.write_stream(SUMMARY, bytes(data))
    finally:
        ole.close()


def main():
    path, epoch, namespace = sys.argv[1], int(sys.argv[2]), uuid.UUID(sys.argv[3])
    rewrite(path, PLACEHOLDER, epoch)
    with open(path, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    code = "{" + str(uuid.uuid5(namespace, digest)).upper() + "}"
    rewrite(path, code, epoch)
    print(code)


if __name__ == "__main__":
    main()
