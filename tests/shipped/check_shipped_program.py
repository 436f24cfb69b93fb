#!/usr/bin/env python3
"""Reads the shipped installer file itself and fails unless it is what we ship: a 32-bit
(PE32, i386) Windows GUI program that imports only system DLLs and carries its manifest,
icon, skin archive and version resource. Runs natively, so it checks the shipped program
on hosts that cannot run it.

    check_shipped_program.py path/to/VellumoraInstaller.exe
"""
import os
import re
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support", "python"))
from pe_image import Image  # noqa: E402

# DLLs every supported Windows has in its system folder. Anything else (a compiler
# runtime such as libstdc++-6.dll, a libcurl.dll) would have to ship beside the program.
SYSTEM_DLLS = {
    "advapi32.dll", "bcrypt.dll", "comctl32.dll", "comdlg32.dll", "crypt32.dll",
    "dwmapi.dll", "gdi32.dll", "gdiplus.dll", "imm32.dll", "iphlpapi.dll", "kernel32.dll",
    "msimg32.dll", "msvcrt.dll", "netapi32.dll", "normaliz.dll", "ntdll.dll", "ole32.dll",
    "oleacc.dll", "oleaut32.dll", "rpcrt4.dll", "secur32.dll", "shell32.dll", "shlwapi.dll",
    "user32.dll", "userenv.dll", "uxtheme.dll", "version.dll", "winhttp.dll", "wininet.dll",
    "winmm.dll", "wintrust.dll", "ws2_32.dll", "wtsapi32.dll",
}
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
LANG_ZH_CN = 2052
SEVEN_ZIP_SIGNATURE = b"7z\xbc\xaf\x27\x1c"


def check(path):
    """The list of faults found in the file; empty when it is the program we ship."""
    try:
        image = Image.read(path)
    except (OSError, ValueError, struct.error) as error:
        return [f"cannot read it as a Windows program: {error}"]
    faults = []
    if image.magic != 0x10B:
        faults.append(f"optional header magic {image.magic:#x}: not PE32 (0x20b is PE32+, 64-bit)")
    if image.machine != 0x14C:
        named = {0x8664: "x86-64", 0xAA64: "ARM64"}.get(image.machine, "unknown")
        faults.append(f"machine is {named} ({image.machine:#x}), not i386 (0x14c)")
    if image.subsystem != 2:
        faults.append(f"subsystem {image.subsystem}, not the Windows GUI (2)")
    if image.characteristics & 0x2000:
        faults.append("it is a DLL")
    try:
        dlls = list(image.imports())
        resources = image.resources()
    except (ValueError, struct.error) as error:
        return faults + [f"damaged import or resource tables: {error}"]
    foreign = sorted({d for d in dlls if d.lower() not in SYSTEM_DLLS})
    if foreign:
        faults.append("imports DLLs that are not system DLLs: " + ", ".join(foreign))
    if not dlls:
        faults.append("imports nothing (kernel32 at least is expected)")

    def one(kind, name):
        return [data for (k, n, _), data in resources.items() if k == kind and n == name]

    manifests = one(RT_MANIFEST, 1)
    manifest = manifests[0].decode("utf-8", "replace") if manifests else ""
    if not manifest:
        faults.append("no manifest (RT_MANIFEST 1)")
    else:
        if 'level="requireAdministrator"' not in manifest:
            faults.append("the manifest does not require administrator rights")
        if 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' not in manifest:
            faults.append("the manifest does not ask for Common Controls 6")
        if not re.search(r"<dpiAwareness[^>]*>\s*PerMonitorV2\s*,\s*PerMonitor\s*,\s*System\s*</dpiAwareness>", manifest):
            faults.append("the manifest does not declare per-monitor v2 DPI awareness with its fallbacks")
        if not re.search(r"<dpiAware[^>]*>\s*true/pm\s*</dpiAware>", manifest):
            faults.append("the manifest lacks the dpiAware fallback for systems before Windows 10")
        if 'processorArchitecture="x86"' not in manifest:
            faults.append("the manifest is not for x86")
    groups = one(RT_GROUP_ICON, 145)
    if not groups:
        faults.append("no icon 145 (RT_GROUP_ICON)")
    else:
        count = struct.unpack_from("<H", groups[0], 4)[0]
        icons = [struct.unpack_from("<H", groups[0], 6 + 14 * i + 12)[0] for i in range(count)]
        if not icons or any(not one(RT_ICON, i) for i in icons):
            faults.append("icon 145 names images the file does not hold")
    skin = resources.get(("ZIPRES", 147, LANG_ZH_CN))
    if skin is None:
        faults.append("no ZIPRES 147 in language 2052 (the skin archive)")
    elif not skin.startswith(SEVEN_ZIP_SIGNATURE):
        faults.append("ZIPRES 147 does not hold a 7z archive")
    versions = one(RT_VERSION, 1)
    version = versions[0] if versions else b""
    if b"V\0S\0_\0V\0E\0R\0S\0I\0O\0N\0_\0I\0N\0F\0O\0" not in version:
        faults.append("no version resource (RT_VERSION 1 with VS_VERSION_INFO)")
    elif struct.pack("<I", 0xFEEF04BD) not in version:
        faults.append("the version resource has no fixed file information")
    elif "VellumoraInstaller.exe".encode("utf-16-le") not in version:
        faults.append("the version resource does not name VellumoraInstaller.exe")
    return faults


def main(argv):
    if len(argv) != 2:
        print(__doc__.strip().splitlines()[-1].strip(), file=sys.stderr)
        return 2
    faults = check(argv[1])
    for fault in faults:
        print(f"{argv[1]}: {fault}")
    if not faults:
        print(f"{argv[1]}: the shipped program (PE32 i386 GUI, system imports, manifest, "
              "icon 145, skin archive, version resource)")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
