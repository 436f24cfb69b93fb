#!/usr/bin/env python3
"""Turns an installer's crash dump into addr2line lines against dist/symbols.

Reads the dump's exception, module list and the crashing thread's stack (a minidump holds
no other memory) and prints, for the faulting address and for every word on that stack that
points into the installer, the address as the .debug file knows it (offset from the module's
base plus the image base) and the addr2line command that names its function and line. Stack
words are candidates, not a proven call chain: read them from the top.

usage: scripts/dump-addresses.py DUMP [SYMBOLS_DIR]
"""
import os
import struct
import sys

EXCEPTION_STREAM, MODULE_LIST_STREAM, THREAD_LIST_STREAM, SYSTEM_INFO_STREAM = 6, 4, 3, 7
AMD64 = 9


def streams(data):
    signature, _, count, directory = struct.unpack_from("<4sIII", data, 0)
    if signature != b"MDMP":
        sys.exit("not a minidump")
    found = {}
    for i in range(count):
        kind, size, rva = struct.unpack_from("<III", data, directory + 12 * i)
        found[kind] = (rva, size)
    return found


def modules(data, rva):
    (count,) = struct.unpack_from("<I", data, rva)
    result = []
    for i in range(count):
        base, size, _, _, name_rva = struct.unpack_from("<QIIII", data, rva + 4 + 108 * i)
        (length,) = struct.unpack_from("<I", data, name_rva)
        name = data[name_rva + 4 : name_rva + 4 + length].decode("utf-16-le")
        result.append((base, size, name))
    return result


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    data = open(sys.argv[1], "rb").read()
    symbols = sys.argv[2] if len(sys.argv) > 2 else "dist/symbols"
    found = streams(data)
    thread_id, _, code, _, _, address = struct.unpack_from("<IIIIQQ", data, found[EXCEPTION_STREAM][0])
    listed = modules(data, found[MODULE_LIST_STREAM][0])
    installer = next((m for m in listed if "installer" in os.path.basename(m[2]).lower()), None)
    if installer is None:
        sys.exit("the installer is not among the dump's modules")
    base, size, name = installer
    wide = struct.unpack_from("<H", data, found[SYSTEM_INFO_STREAM][0])[0] == AMD64
    image_base = 0x140000000 if wide else 0x400000
    debug = os.path.join(symbols, os.path.basename(name.replace("\\", "/")) + ".debug")
    tool = "x86_64-w64-mingw32-addr2line" if wide else "i686-w64-mingw32-addr2line"
    print(f"exception 0x{code:08x} at 0x{address:x} on thread {thread_id}; {name} at 0x{base:x}")

    def line(where, label):
        if base <= where < base + size:
            print(f"{label}: {tool} -f -C -i -e {debug} 0x{where - base + image_base:x}")

    line(address, "fault")
    (count,) = struct.unpack_from("<I", data, found[THREAD_LIST_STREAM][0])
    for i in range(count):
        tid, _, _, _, _, start, stack_size, stack_rva = struct.unpack_from(
            "<IIIIQQII", data, found[THREAD_LIST_STREAM][0] + 4 + 48 * i
        )
        if tid != thread_id:
            continue
        step = 8 if wide else 4
        for offset in range(0, stack_size - step + 1, step):
            (word,) = struct.unpack_from("<Q" if wide else "<I", data, stack_rva + offset)
            line(word, f"stack 0x{start + offset:x}")


if __name__ == "__main__":
    main()
