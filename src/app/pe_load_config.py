#!/usr/bin/env python3
"""pe_load_config.py EXE: points a 32-bit image's load configuration directory at the
record LoadConfig.c defines (found by its size and its "VLMc" time stamp mark), which this
linker leaves unset. Idempotent."""
import struct
import sys

MARK = struct.pack("<I", 0x48) + b"VLMc"


def main(path):
    data = bytearray(open(path, "rb").read())
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        sys.exit(f"{path}: not a PE image")
    sections = struct.unpack_from("<H", data, pe + 6)[0]
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    optional = pe + 24
    if struct.unpack_from("<H", data, optional)[0] != 0x10B:
        sys.exit(f"{path}: not a 32-bit image")
    found = [i for i in range(len(data)) if data.startswith(MARK, i)]
    if len(found) != 1:
        sys.exit(f"{path}: expected one load configuration record, found {len(found)}")
    offset = found[0]
    table = optional + optional_size
    for n in range(sections):
        header = table + 40 * n
        virtual_address, raw_size, raw_pointer = struct.unpack_from("<III", data, header + 12)
        if raw_pointer <= offset < raw_pointer + raw_size:
            rva = virtual_address + offset - raw_pointer
            struct.pack_into("<II", data, optional + 96 + 10 * 8, rva, 0x48)
            open(path, "wb").write(data)
            return
    sys.exit(f"{path}: the record is in no section")


if __name__ == "__main__":
    main(sys.argv[1])
