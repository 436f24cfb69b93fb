#!/usr/bin/env python3
"""make_planted_dlls.py OUTDIR CC PROGRAM DLL... : for each DLL the program delay-loads (or
loads at run time), a planted DLL of that name exporting the same functions (planted.c)."""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support", "python"))
from pe_image import Image  # noqa: E402


def main(outdir, cc, program, dlls):
    os.makedirs(outdir, exist_ok=True)
    image = Image.read(program)
    functions = {k.lower(): v for k, v in image.delay_imports([d + ".dll" for d in dlls]).items()}
    source = os.path.join(os.path.dirname(os.path.abspath(__file__)), "planted.c")
    for dll in dlls:
        names = functions.get(dll.lower() + ".dll", [])
        definition = os.path.join(outdir, dll + ".def")
        with open(definition, "w") as out:
            out.write(f"LIBRARY {dll}.dll\nEXPORTS\n")
            for name in names:
                out.write(f"  {name}=PlantedStub\n")
        subprocess.run([cc, "-shared", "-O1", "-s", f'-DPLANTED_NAME=L"{dll}"', source, definition,
                        "-o", os.path.join(outdir, dll + ".dll")], check=True)
    with open(os.path.join(outdir, "names.txt"), "w") as out:
        out.write("\n".join(dlls) + "\n")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:])
