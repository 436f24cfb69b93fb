#!/usr/bin/env python3
"""Where the bytes of a stripped installer go: per PE section (from the file) and per
library or folder of our code (from the GNU ld map of its link).

    size_summary.py [--json OUT] [--compare OLD.json] NAME=STRIPPED.exe,LINK.map ...

Sizes are bytes. Per section: the raw size in the file. Per group: the sizes of the input
sections the map places in the sections that reach the file (debug sections are stripped,
.bss holds no bytes); what the linker adds itself (relocations, padding) is "linker".
"""
import argparse
import json
import os
import re
import struct
import sys

# Output sections counted per group, and the column each one goes to.
COLUMNS = {".text": "code", ".data": "data", ".rdata": "data", ".CRT": "data", ".tls": "data",
           ".eh_frame": "unwind", ".pdata": "unwind", ".xdata": "unwind", ".idata": "imports",
           ".rsrc": "resources", ".reloc": "linker"}
COLUMN_ORDER = ["code", "data", "unwind", "imports", "resources", "linker"]
MINGW_RUNTIME = {"libmingw32.a", "libmingwex.a", "libmsvcrt.a", "libmoldname.a", "crt2u.o", "crt2.o",
                 "crtbegin.o", "crtend.o", "libpthread.a", "libwinpthread.a"}
GROUP_ORDER = ["src/app", "src/config", "src/utils", "src/download", "src/install", "src/pipeline",
               "src/session", "src/toolkit", "src/ui", "libcurl", "jsoncpp", "pugixml", "7z decoder",
               "libstdc++", "libgcc", "mingw runtime", "import stubs", "resources: skin",
               "resources: program", "linker"]

OUR_LIBRARY = re.compile(r"libvlm_(\w+)\.a$")
OUR_OBJECT = re.compile(r"(?:^|/)src/(\w+)/CMakeFiles/")


def group_of(path):
    """The group an input file of the link belongs to."""
    archive = path.split("(", 1)[0]
    name = os.path.basename(archive)
    if name.endswith(".res"):
        return "resources: skin" if "skin" in name else "resources: program"
    found = OUR_LIBRARY.search(name)
    if found:
        module = found.group(1)
        return {"pugixml": "pugixml", "lzma": "7z decoder"}.get(module, "src/" + module)
    found = OUR_OBJECT.search(archive)
    if found:
        return "src/" + found.group(1)
    if name == "libcurl.a":
        return "libcurl"
    if name == "libjsoncpp.a":
        return "jsoncpp"
    if name == "libstdc++.a":
        return "libstdc++"
    if name in ("libgcc.a", "libgcc_eh.a"):
        return "libgcc"
    if name in MINGW_RUNTIME:
        return "mingw runtime"
    if name.endswith(".a"):
        return "import stubs"  # the system's and our delay-load import libraries
    return "linker"


INPUT = re.compile(r"^ (\S+)\s+0x([0-9a-fA-F]+)\s+0x([0-9a-fA-F]+)\s+(\S.*)$")
INPUT_WRAPPED = re.compile(r"^\s+0x([0-9a-fA-F]+)\s+0x([0-9a-fA-F]+)\s+(\S.*)$")
OUTPUT = re.compile(r"^(\.\S+|/DISCARD/)(?:\s+0x([0-9a-fA-F]+)\s+0x([0-9a-fA-F]+))?")


def read_map(path):
    """{group: {column: bytes}} from a GNU ld map."""
    groups = {}
    outputs = {}
    section = None
    pending = None  # an input section name whose numbers are on the next line
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            if line.startswith("Linker script and memory map"):
                break
        for line in f:
            line = line.rstrip("\n")
            found = OUTPUT.match(line)
            if found:
                section = found.group(1)
                if found.group(3):
                    outputs[section] = int(found.group(3), 16)
                pending = None
                continue
            if section not in COLUMNS:
                continue
            found = INPUT.match(line)
            if found:
                size, path_ = int(found.group(3), 16), found.group(4)
            elif pending and INPUT_WRAPPED.match(line):
                found = INPUT_WRAPPED.match(line)
                size, path_ = int(found.group(2), 16), found.group(3)
            else:
                pending = line.startswith(" .") and len(line.split()) == 1
                continue
            pending = None
            column = COLUMNS[section]
            bucket = groups.setdefault(group_of(path_), {})
            bucket[column] = bucket.get(column, 0) + size
    # What the output sections hold beyond their inputs: alignment and linker-made data.
    counted = {}
    for bucket in groups.values():
        for column, size in bucket.items():
            counted[column] = counted.get(column, 0) + size
    section_sizes = {}
    for section, size in outputs.items():
        if section in COLUMNS:
            column = COLUMNS[section]
            section_sizes[column] = section_sizes.get(column, 0) + size
    linker = groups.setdefault("linker", {})
    for column, size in section_sizes.items():
        extra = size - counted.get(column, 0)
        if extra > 0:
            linker[column] = linker.get(column, 0) + extra
    return groups


def read_sections(path):
    """[(name, raw bytes in the file)] of a PE file, and the file's size."""
    with open(path, "rb") as f:
        data = f.read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    count, optional_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
    symbols, symbol_count = struct.unpack_from("<II", data, pe + 12)
    table = pe + 24 + optional_size
    sections = []
    for i in range(count):
        name = data[table + 40 * i:table + 40 * i + 8].rstrip(b"\0").decode("ascii", "replace")
        if name.startswith("/") and symbols:
            # A long name (".eh_frame"): "/offset" into the string table after the symbols.
            at = symbols + 18 * symbol_count + int(name[1:])
            name = data[at:data.index(b"\0", at)].decode("ascii", "replace")
        raw_size = struct.unpack_from("<I", data, table + 40 * i + 16)[0]
        sections.append((name, raw_size))
    sections.append(("headers, rest", len(data) - sum(size for _, size in sections)))
    return sections, len(data)


def kb(n):
    return f"{n / 1000:,.1f}"


def delta(new, old):
    if old is None:
        return ""
    d = new - old
    return f" ({'+' if d >= 0 else '−'}{kb(abs(d))})"


def table(header, rows):
    lines = ["| " + " | ".join(header) + " |", "|" + "|".join("---" if i == 0 else "---:" for i in range(len(header))) + "|"]
    lines += ["| " + " | ".join(row) + " |" for row in rows]
    return "\n".join(lines)


def report(programs, old):
    out = []
    for name, info in programs.items():
        before = old.get(name, {}) if old else {}
        out.append(f"### {name}: {info['file']:,} bytes{delta(info['file'], before.get('file'))}\n")
        rest = info["file"] - info["sections"].get(".rsrc", 0)
        was = before["file"] - before["sections"].get(".rsrc", 0) if before else None
        out.append(f"Without the resources (code, data, unwind tables, imports, relocations, headers): "
                   f"{kb(rest)} kB{delta(rest, was)}\n")
        out.append("Per section (kB in the file):\n")
        old_sections = before.get("sections", {})
        rows = [[s, kb(n) + delta(n, old_sections.get(s) if old else None)] for s, n in info["sections"].items()]
        out.append(table(["section", "kB"], rows) + "\n")
        out.append("Per group (kB, from the link map):\n")
        old_groups = before.get("groups", {})
        rows = []
        known = [g for g in GROUP_ORDER if g in info["groups"]] + sorted(set(info["groups"]) - set(GROUP_ORDER))
        for group in known:
            cells = info["groups"][group]
            was = old_groups.get(group, {}) if old else None
            row = [group] + [kb(cells.get(c, 0)) for c in COLUMN_ORDER]
            total = sum(cells.values())
            row.append(kb(total) + delta(total, sum(was.values()) if was is not None else None))
            rows.append(row)
        sums = {c: sum(g.get(c, 0) for g in info["groups"].values()) for c in COLUMN_ORDER}
        rows.append(["**total**"] + [kb(sums[c]) for c in COLUMN_ORDER] + [kb(sum(sums.values()))])
        out.append(table(["group"] + COLUMN_ORDER + ["total"], rows) + "\n")
    return "\n".join(out)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.strip().splitlines()[0])
    parser.add_argument("--json", help="also write the figures here, for a later --compare")
    parser.add_argument("--compare", help="figures of an earlier report: print the differences")
    parser.add_argument("programs", nargs="+", help="NAME=STRIPPED.exe,LINK.map")
    args = parser.parse_args(argv[1:])
    programs = {}
    for argument in args.programs:
        name, _, paths = argument.partition("=")
        exe, _, link_map = paths.partition(",")
        if not exe or not link_map:
            parser.error(f"expected NAME=STRIPPED.exe,LINK.map, not '{argument}'")
        sections, size = read_sections(exe)
        programs[name] = {"file": size, "sections": dict(sections), "groups": read_map(link_map)}
    old = None
    if args.compare:
        with open(args.compare, encoding="utf-8") as f:
            old = json.load(f)
    print(report(programs, old))
    if args.json:
        with open(args.json, "w", encoding="utf-8") as f:
            json.dump(programs, f, indent=1, sort_keys=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
