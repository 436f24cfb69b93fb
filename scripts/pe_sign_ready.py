#!/usr/bin/env python3
"""pe_sign_ready.py FILE...: gives each Windows program the form it has inside an Authenticode
signature: zero bytes to a multiple of 8 and the PE checksum of the result. A signer pads and
rewrites the checksum the same way, so removing a signature ("osslsigncode remove-signature")
gives back exactly these bytes, and a signed release can be compared with a rebuild.
Idempotent."""
import struct
import sys


def checksum_offset(data):
    if data[:2] != b"MZ":
        raise ValueError("no MZ header: not a Windows program")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE signature")
    return pe + 24 + 64  # CheckSum, at the same place in PE32 and PE32+


def pe_checksum(data, at):
    """The image checksum: 16-bit one's-complement sum of the file without the checksum field,
    plus the file's length."""
    body = data[:at] + b"\0\0\0\0" + data[at + 4:]
    if len(body) % 2:
        body += b"\0"
    total = sum(struct.unpack(f"<{len(body) // 2}H", body))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def sign_ready(data):
    data = bytearray(data)
    at = checksum_offset(data)
    data += b"\0" * (-len(data) % 8)
    struct.pack_into("<I", data, at, pe_checksum(data, at))
    return bytes(data)


def main(paths):
    if not paths:
        print(__doc__.strip().splitlines()[0], file=sys.stderr)
        return 2
    for path in paths:
        with open(path, "rb") as f:
            data = f.read()
        try:
            ready = sign_ready(data)
        except (ValueError, struct.error) as error:
            print(f"{path}: {error}", file=sys.stderr)
            return 1
        if ready != data:
            with open(path, "wb") as f:
                f.write(ready)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
