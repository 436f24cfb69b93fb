#!/usr/bin/env python3
"""Fails unless the built installers and the docs carry the version of the VERSION file: the
version resource's fixed file and product versions and its version strings, the original
file name, the manifest's assemblyIdentity; and every "Version: X.Y.Z" / "version X.Y.Z" the
docs show.

    check_version.py VERSION-file program.exe... [--docs file.md...]
"""
import os
import re
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support", "python"))
from pe_image import Image  # noqa: E402

RT_VERSION, RT_MANIFEST = 16, 24


def read_version(path):
    text = open(path, encoding="utf-8").read().strip()
    if not re.fullmatch(r"\d+\.\d+\.\d+(\.\d+)?", text):
        raise SystemExit(f"{path}: '{text}' is not a version")
    parts = [int(p) for p in text.split(".")]
    return text, (parts + [0])[:4]


def version_blocks(data, at=0, end=None):
    """Yields (key, value bytes, is_text) of a VS_VERSIONINFO tree, depth first."""
    end = len(data) if end is None else end
    while at + 6 <= end:
        length, value_length, is_text = struct.unpack_from("<HHH", data, at)
        if length == 0:
            return
        key_end = at + 6
        while data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = data[at + 6:key_end].decode("utf-16-le")
        value_at = (key_end + 2 + 3) & ~3
        size = value_length * 2 if is_text else value_length
        yield key, data[value_at:value_at + size], is_text
        children = (value_at + size + 3) & ~3
        yield from version_blocks(data, children, at + length)
        at = (at + length + 3) & ~3


def check_program(path, text, parts):
    image = Image.read(path)
    resources = image.resources()
    faults = []
    versions = [data for (kind, name, _), data in resources.items() if kind == RT_VERSION and name == 1]
    if not versions:
        return ["no version resource"]
    blocks = list(version_blocks(versions[0]))
    fixed = [value for key, value, _ in blocks if key == "VS_VERSION_INFO"]
    expected = (parts[0] << 16 | parts[1], parts[2] << 16 | parts[3])
    if not fixed or len(fixed[0]) < 24:
        faults.append("no fixed file information")
    else:
        file_version = struct.unpack_from("<II", fixed[0], 8)
        product_version = struct.unpack_from("<II", fixed[0], 16)
        for name, found in (("file", file_version), ("product", product_version)):
            if found != expected:
                faults.append(f"fixed {name} version {found[0] >> 16}.{found[0] & 0xFFFF}."
                              f"{found[1] >> 16}.{found[1] & 0xFFFF}, not {text}")
    strings = {key: value.decode("utf-16-le").rstrip("\0") for key, value, is_text in blocks if is_text}
    quad = ".".join(str(p) for p in parts)
    for key, want in (("FileVersion", quad), ("ProductVersion", quad),
                      ("OriginalFilename", os.path.basename(path))):
        if strings.get(key) != want:
            faults.append(f"{key} is {strings.get(key)!r}, not {want!r}")
    manifests = [data for (kind, name, _), data in resources.items() if kind == RT_MANIFEST and name == 1]
    manifest = manifests[0].decode("utf-8", "replace") if manifests else ""
    identity = re.search(r'<assemblyIdentity[^>]*name="TarvikSoft\.Vellumora\.Installer"[^>]*>', manifest)
    found = re.search(r'version="([^"]*)"', identity.group(0)).group(1) if identity else None
    if found != quad:
        faults.append(f"the manifest's assemblyIdentity version is {found!r}, not {quad!r}")
    return faults


# "Version: 1.2.3", "version 1.2.3", "Vellumora 1.2.3"; not the package protocol's
# "-version=1.0.0" nor the package's "InstallVersion=".
DOC_VERSION = re.compile(r"(?i)\b(?:version:?|vellumora(?: installer)?)\s+v?(\d+\.\d+\.\d+(?:\.\d+)?)\b")


def check_docs(paths, text, parts):
    quad = ".".join(str(p) for p in parts)
    faults = []
    for path in paths:
        for number, line in enumerate(open(path, encoding="utf-8"), 1):
            for shown in DOC_VERSION.findall(line):
                if shown not in (text, quad):
                    faults.append(f"{path}:{number}: shows version {shown}, the VERSION file says {text}")
    return faults


def main(argv):
    args = argv[1:]
    docs = []
    if "--docs" in args:
        docs = args[args.index("--docs") + 1:]
        args = args[:args.index("--docs")]
    if len(args) < 2:
        print(__doc__.strip().splitlines()[-1].strip(), file=sys.stderr)
        return 2
    text, parts = read_version(args[0])
    faults = []
    for program in args[1:]:
        faults += [f"{program}: {fault}" for fault in check_program(program, text, parts)]
    faults += check_docs(docs, text, parts)
    for fault in faults:
        print(fault)
    if not faults:
        print(f"version {text} in {len(args) - 1} programs and {len(docs)} docs")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
