#!/usr/bin/env python3
"""check_imports.py EXE DELAYED...: the shipped program imports only Windows' known DLLs
directly; every other DLL it uses (DELAYED) is delay-loaded, and the image asks for its
dependent DLLs from the system folder (DependentLoadFlags 0x800).
check_imports.py --custom-action-dll DLL: the MSI's custom actions import only known DLLs and
msi.dll, which the process that loads them (Windows Installer's) has loaded already."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support", "python"))
from pe_image import Image  # noqa: E402

# Known DLLs of Windows 7 through 11, 32-bit (what the loader maps from the system folder
# whatever the search order), and ntdll.
KNOWN = {
    "advapi32.dll", "clbcatq.dll", "combase.dll", "comdlg32.dll", "gdi32.dll", "imagehlp.dll", "imm32.dll",
    "kernel32.dll", "msctf.dll", "msvcrt.dll", "normaliz.dll", "nsi.dll", "ntdll.dll", "ole32.dll",
    "oleaut32.dll", "psapi.dll", "rpcrt4.dll", "sechost.dll", "setupapi.dll", "shell32.dll", "shlwapi.dll",
    "user32.dll", "wldap32.dll", "ws2_32.dll",
}


def custom_action_dll(path):
    direct = Image.read(path).imports()
    print("direct imports:", ", ".join(sorted(direct)))
    unknown = [dll for dll in sorted(direct) if dll.lower() not in KNOWN | {"msi.dll"}]
    for dll in unknown:
        print(f"FAIL: {dll} is imported directly and is neither a known DLL nor msi.dll")
    return 1 if unknown else 0


def main(path, delayed):
    if path == "--custom-action-dll":
        return custom_action_dll(delayed[0])
    image = Image.read(path)
    failures = []
    direct = image.imports()
    for dll in sorted(direct):
        if dll.lower() not in KNOWN:
            failures.append(f"{dll} is imported directly and is not a known DLL")
    lazy = image.delay_imports([d + ".dll" for d in delayed])
    for dll in delayed:
        if not any(name.lower() == dll.lower() + ".dll" for name in lazy):
            failures.append(f"{dll}.dll has no delay-load descriptor")
    for dll, unset in sorted(image.unset_slots.items()):
        if unset:
            failures.append(f"{dll}: {unset} delay-load pointers are zero (a call through them jumps to 0)")
    flags = image.dependent_load_flags()
    if flags != 0x800:
        failures.append(f"DependentLoadFlags is {flags}, not 0x800")
    print("direct imports:", ", ".join(sorted(direct)))
    print("delay-loaded:", ", ".join(f"{k} ({len(v)} functions)" for k, v in sorted(lazy.items())))
    print("DependentLoadFlags:", hex(flags) if flags is not None else None)
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2:]))
