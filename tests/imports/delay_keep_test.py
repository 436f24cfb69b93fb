#!/usr/bin/env python3
"""delay_keep_test.py DELAY_KEEP: the link wrapper keeps the thunk of each delay-loaded function an
input refers to (by name or through its __imp_ pointer), only those, and passes the link's exit
status on. A stand-in nm lists each input's undefined names from a file beside it."""
import os
import subprocess
import sys
import tempfile


def run(script, tmp, underscore, inputs, link_status=0):
    nm = os.path.join(tmp, "nm")
    with open(nm, "w") as f:
        f.write("#!/bin/sh\nfor a; do case $a in -*) ;; *) cat \"$a.names\" ;; esac; done\n")
    os.chmod(nm, 0o755)
    defs = os.path.join(tmp, "libx.def")
    with open(defs, "w") as f:
        f.write("LIBRARY x.dll\nEXPORTS\nOpen@8\nClose@4\nUnused@4\n" if underscore == "yes" else
                "LIBRARY x.dll\nEXPORTS\nOpen\nClose\nUnused\n")
    paths = []
    for name, names in inputs.items():
        path = os.path.join(tmp, name)
        open(path, "w").close()
        with open(path + ".names", "w") as f:
            f.write("\n".join(names) + "\n")
        paths.append(path)
    keep = os.path.join(tmp, "t.keep")
    status = subprocess.run([sys.executable, script, nm, keep, underscore, defs, "--", "sh", "-c",
                             f"exit {link_status}", *paths]).returncode
    with open(keep) as f:
        return f.read(), status


def main(script):
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        keep, status = run(script, tmp, "yes", {"a.obj": ["__imp__Open@8", "_memcpy"], "b.a": ["_Close@4"]})
        if keep != "-u _Close@4\n-u _Open@8\n" or status != 0:
            failures.append(f"32-bit: {keep!r}, status {status}")
        keep, status = run(script, tmp, "no", {"a.o": ["__imp_Close", "Other"]}, link_status=3)
        if keep != "-u Close\n" or status != 3:
            failures.append(f"64-bit: {keep!r}, status {status}")
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
