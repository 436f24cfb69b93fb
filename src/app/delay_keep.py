#!/usr/bin/env python3
"""delay_keep.py NM KEEP UNDERSCORE DEF... -- LINK-COMMAND...

Runs the link command of a program that delay-loads DLLs, after writing KEEP: linker options
naming the delay-load thunk of every function of a DEF (make_delay_lib.sh) that an object or
library of the link refers to. This linker drops the thunk of a function the code reaches
only through its __imp_ pointer, which leaves the pointer zero; a thunk named with -u stays.
Naming only the functions the code refers to keeps the unused ones out of the program.
UNDERSCORE: "yes" where C names carry a leading underscore (32-bit x86).
"""
import os
import subprocess
import sys


def exports(def_path):
    with open(def_path, encoding="ascii") as f:
        lines = [line.strip() for line in f]
    return set(lines[lines.index("EXPORTS") + 1:]) - {""}


def referenced(nm, inputs):
    """The undefined names of the given objects and archives."""
    names = set()
    for chunk in range(0, len(inputs), 200):
        out = subprocess.run([nm, "--undefined-only", "--format=just-symbols", *inputs[chunk:chunk + 200]],
                             check=True, capture_output=True, text=True).stdout
        names.update(line.strip() for line in out.splitlines())
    return names


def main(argv):
    split = argv.index("--")
    nm, keep, underscore, *defs = argv[1:split]
    command = argv[split + 1:]
    prefix = "_" if underscore == "yes" else ""
    wanted = set().union(*(exports(d) for d in defs))
    inputs = [a for a in command if a.endswith((".obj", ".o", ".a")) and os.path.isfile(a)]
    kept = set()
    for name in referenced(nm, inputs):
        if name.startswith("__imp_"):
            name = name[len("__imp_"):]
        if prefix and name.startswith(prefix):
            name = name[len(prefix):]
        if name in wanted:
            kept.add(name)
    text = "".join(f"-u {prefix}{name}\n" for name in sorted(kept))
    with open(keep, "w", encoding="ascii") as f:
        f.write(text)
    return subprocess.run(command).returncode


if __name__ == "__main__":
    sys.exit(main(sys.argv))
