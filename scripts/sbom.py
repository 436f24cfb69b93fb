#!/usr/bin/env python3
"""sbom.py: the bill of materials of a release, in CycloneDX 1.5 JSON.

  sbom.py components --arch i686 --deps-prefix DIR --sources FILE --tarballs DIR > components.json
      what the build used, taken when it ran: each library linked into the installers with the
      version its own headers carry and the Debian source package it was unpacked from (FILE
      is `build-deps.sh --sources`' listing), and the compiler, its runtimes and the linker as
      the Debian packages that hold the files the compiler links.
  sbom.py bom --components FILE --version V --commit C --epoch SECONDS PROGRAM...
      the document: the release, each program with its SHA-256, and the components each
      program is linked from.
"""
import argparse
import hashlib
import json
import os
import re
import subprocess
import sys
import urllib.parse
import uuid

# What each library linked into the installers is under, as SPDX expressions; the sources'
# own licence files say so (jsoncpp: public domain where that exists, else MIT; the 7z
# decoder of the LZMA SDK: public domain).
LIBRARIES = {
    "curl": ("libcurl", "curl"),
    "jsoncpp": ("jsoncpp", "LicenseRef-public-domain OR MIT"),
    "pugixml": ("pugixml", "MIT"),
    "lzma": ("LZMA SDK (7z decoder)", "LicenseRef-public-domain"),
}

# The toolchain's parts, found as the files the compiler links or runs.
RUNTIMES = [
    # (name, the file the compiler links, licence)
    ("libstdc++", "libstdc++.a", "GPL-3.0-or-later WITH GCC-exception-3.1"),
    ("libgcc", "libgcc.a", "GPL-3.0-or-later WITH GCC-exception-3.1"),
    ("mingw-w64 C runtime and Windows import libraries", "libmingwex.a", "ZPL-2.1 AND LicenseRef-public-domain"),
    ("winpthreads", "libwinpthread.a", "MIT AND BSD-3-Clause"),
]


def run(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout.strip()


def header_version(prefix, name):
    """The version a library's own sources declare."""
    def grab(path, pattern):
        with open(os.path.join(prefix, path), encoding="utf-8", errors="replace") as f:
            match = re.search(pattern, f.read(), re.M)
        if not match:
            raise ValueError(f"no version in {path}")
        return match.group(1)

    if name == "curl":
        return grab("include/curl/curlver.h", r'^#define LIBCURL_VERSION "([^"]+)"')
    if name == "jsoncpp":
        return grab("include/json/version.h", r'^#define JSONCPP_VERSION_STRING "([^"]+)"')
    if name == "pugixml":
        number = int(grab("src/pugixml/src/pugixml.hpp", r"define PUGIXML_VERSION (\d+)"))
        return f"{number // 1000}.{number % 1000 // 10}" if number >= 1000 else f"{number // 100}.{number % 100}"
    if name == "lzma":
        return grab("src/lzma/C/7zVersion.h", r'^#define MY_VERSION_NUMBERS "([^"]+)"')
    raise ValueError(f"unknown library {name}")


def debian_source_version(package, suite, tarball, tarballs):
    """The Debian version of the source package: its .dsc beside the tarball when it came, else
    the archive's record for PACKAGE in SUITE with that upstream version (the upstream tarball
    is the same for every Debian revision of one upstream version)."""
    upstream = tarball.split("_", 1)[1].split(".orig.", 1)[0]
    for name in sorted(os.listdir(tarballs)):
        if name.startswith(f"{package}_{upstream}-") and name.endswith(".dsc"):
            return name[len(package) + 1:-4]
    found = []
    lists = "/var/lib/apt/lists"
    for name in sorted(os.listdir(lists)) if os.path.isdir(lists) else []:
        if f"_dists_{suite}_" in name and "_source_Sources" in name:
            text = run("/usr/lib/apt/apt-helper", "cat-file", os.path.join(lists, name))
            for stanza in text.split("\n\n"):
                fields = dict(re.findall(r"^(Package|Version): (.+)$", stanza, re.M))
                if fields.get("Package") == package and fields.get("Version", "").startswith(upstream + "-"):
                    found.append(fields["Version"])
    if not found:
        raise ValueError(f"no Debian version of {package} {upstream} in {suite} is known (apt-get update?)")
    return found[-1]


def deb_purl(package, version, arch):
    return "pkg:deb/debian/{}@{}?arch={}&distro=debian-12".format(
        package, urllib.parse.quote(version, safe=""), arch)


def license_list(expression):
    if re.fullmatch(r"[A-Za-z0-9.\-+]+", expression) and not expression.startswith("LicenseRef-"):
        return [{"license": {"id": expression}}]
    return [{"expression": expression}]


def dpkg_owners(paths):
    """For each path: (binary package, its version, source package, source version) of the
    Debian package holding it; one query for all, dpkg's file lists are slow to read."""
    wanted = {}
    for path in paths:
        wanted[path] = {path, os.path.realpath(path), os.path.normpath(path)}
    every = sorted(set().union(*wanted.values()))
    found = subprocess.run(["dpkg-query", "-S"] + every, capture_output=True, text=True).stdout
    holder = {}
    for line in found.splitlines():
        package, _, file = line.partition(": ")
        holder[file.strip()] = package.split(":", 1)[0]
    owners = {}
    for path, names in wanted.items():
        package = next((holder[n] for n in names if n in holder), None)
        if package is None:
            raise ValueError(f"no Debian package holds {path}")
        owners[path] = package
    packages = sorted(set(owners.values()))
    fields = run("dpkg-query", "-W", "-f", "${Package} ${Version} ${source:Package} ${source:Version}\n", *packages)
    by_package = {line.split(" ")[0]: tuple(line.split(" ")) for line in fields.splitlines()}
    return {path: by_package[package] for path, package in owners.items()}


def upstream_of(debian_version):
    """12.2.0-14+deb12u1+25.2+b1 -> 12.2.0; 2.40-2+10.4 -> 2.40; 10.0.0-3 -> 10.0.0."""
    return re.sub(r"^\d+:", "", debian_version).split("-", 1)[0]


def component(name, version, licence, package, source, source_version, deb_version=None, scope=None,
              kind="library", extra=()):
    entry = {
        "type": kind,
        "bom-ref": f"{name}@{version}",
        "name": name,
        "version": version,
        "licenses": license_list(licence),
        "purl": deb_purl(source, source_version, "source"),
        "properties": [
            {"name": "debian:source-package", "value": source},
            {"name": "debian:source-version", "value": source_version},
        ] + [{"name": key, "value": value} for key, value in extra],
    }
    if package:
        entry["properties"].insert(0, {"name": "debian:binary-package", "value": f"{package} {deb_version}"})
    if scope:
        entry["scope"] = scope
    return entry


def components(args):
    result = []
    with open(args.sources, encoding="utf-8") as f:
        for line in f:
            fields = line.split()
            if len(fields) not in (6, 7) or fields[0] not in LIBRARIES:
                continue
            name, _stamp_version, package, suite, tarball, patch = fields[:6]
            title, licence = LIBRARIES[name]
            version = header_version(args.deps_prefix, name)
            source_version = debian_source_version(package, suite, tarball, args.tarballs)
            extra = [("debian:upstream-tarball", tarball), ("build:unpacked-without-debian-patches", "true")]
            if patch != "-":
                # Our own change to the library: named with its digest, and kept in the repository.
                extra += [("build:patch", patch), ("build:patch-sha256", fields[6])]
            entry = component(title, version, licence, None, package, source_version, extra=extra)
            if patch != "-":
                entry["pedigree"] = {"patches": [{"type": "unofficial",
                                                  "diff": {"url": f"scripts/patches/{patch}"}}]}
            result.append(entry)
    compiler = f"{args.arch}-w64-mingw32-g++-posix"
    linked = [(title, run(compiler, f"-print-file-name={file}"), licence) for title, file, licence in RUNTIMES]
    tools = [(title, run("sh", "-c", f'command -v "{program}"'))
             for title, program in (("GCC (g++, the compiler)", compiler),
                                    ("GNU binutils (the linker)", f"{args.arch}-w64-mingw32-ld"))]
    owners = dpkg_owners([path for _, path, _ in linked] + [path for _, path in tools])
    for title, path, licence in linked:
        package, deb_version, source, source_version = owners[path]
        result.append(component(title, upstream_of(deb_version), licence, package, source, source_version,
                                deb_version))
    for title, path in tools:
        package, deb_version, source, source_version = owners[path]
        result.append(component(title, upstream_of(deb_version), "GPL-3.0-or-later", package, source,
                                source_version, deb_version, scope="excluded", kind="application"))
    json.dump(result, sys.stdout, indent=2)
    print()


def sha256_of(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def bom(args):
    import datetime

    with open(args.components, encoding="utf-8") as f:
        parts = json.load(f)
    when = datetime.datetime.fromtimestamp(int(args.epoch), datetime.timezone.utc)
    programs = []
    for path in args.programs:
        name = os.path.basename(path)
        programs.append({
            "type": "application",
            "bom-ref": name,
            "name": name,
            "version": args.version,
            "hashes": [{"alg": "SHA-256", "content": sha256_of(path)}],
        })
    linked = [part["bom-ref"] for part in parts if part.get("scope") != "excluded"]
    document = {
        "bomFormat": "CycloneDX",
        "specVersion": "1.5",
        # The same release gives the same document: the serial number follows the commit and
        # the programs' bytes.
        "serialNumber": "urn:uuid:" + str(uuid.uuid5(uuid.NAMESPACE_URL, "vellumora:" + args.commit + ":" + ",".join(
            p["hashes"][0]["content"] for p in programs))),
        "version": 1,
        "metadata": {
            "timestamp": when.strftime("%Y-%m-%dT%H:%M:%SZ"),
            "component": {
                "type": "application",
                "bom-ref": "vellumora-installer",
                "name": "Vellumora installer",
                "version": args.version,
                "properties": [{"name": "git:commit", "value": args.commit}],
            },
            "tools": {"components": [{"type": "application", "name": "scripts/sbom.py"}]},
        },
        "components": programs + parts,
        "dependencies": [{"ref": "vellumora-installer", "dependsOn": [p["bom-ref"] for p in programs]}]
        + [{"ref": p["bom-ref"], "dependsOn": linked} for p in programs],
    }
    json.dump(document, sys.stdout, indent=2, ensure_ascii=False)
    print()


def main():
    parser = argparse.ArgumentParser(description=__doc__.strip().splitlines()[0])
    sub = parser.add_subparsers(dest="command", required=True)
    c = sub.add_parser("components")
    c.add_argument("--arch", required=True)
    c.add_argument("--deps-prefix", required=True)
    c.add_argument("--sources", required=True)
    c.add_argument("--tarballs", required=True)
    b = sub.add_parser("bom")
    b.add_argument("--components", required=True)
    b.add_argument("--version", required=True)
    b.add_argument("--commit", required=True)
    b.add_argument("--epoch", required=True)
    b.add_argument("programs", nargs="+")
    args = parser.parse_args()
    try:
        (components if args.command == "components" else bom)(args)
    except (OSError, ValueError, subprocess.CalledProcessError) as error:
        print(f"sbom.py: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
