#!/usr/bin/env python3
"""check_sbom.py SBOM SCHEMA_DIR PROGRAM...: the bill of materials is valid CycloneDX 1.5 by the
published schema, names each program with its SHA-256, and gives every component linked into
them its version, licence and Debian source; prints the component list."""
import hashlib
import json
import os
import sys
import warnings

import jsonschema


def validator(schema_dir):
    store = {}
    for name in os.listdir(schema_dir):
        if name.endswith(".schema.json"):
            with open(os.path.join(schema_dir, name), encoding="utf-8") as f:
                schema = json.load(f)
            # The schemas name each other relative to their published home.
            store["http://cyclonedx.org/schema/" + name] = schema
            store[schema.get("$id", name)] = schema
    main = store["http://cyclonedx.org/schema/bom-1.5.SNAPSHOT.schema.json"]
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", DeprecationWarning)
        resolver = jsonschema.RefResolver("http://cyclonedx.org/schema/bom-1.5.SNAPSHOT.schema.json", main,
                                          store=store)
    return jsonschema.Draft7Validator(main, resolver=resolver)


def main(path, schema_dir, programs):
    with open(path, encoding="utf-8") as f:
        bom = json.load(f)
    check = validator(schema_dir)
    errors = sorted(check.iter_errors(bom), key=str)
    if errors:
        print("not valid CycloneDX 1.5:", errors[0].message, "at", list(errors[0].absolute_path))
        return 1
    broken = json.loads(json.dumps(bom))
    broken["components"][-1]["licenses"] = [{"license": {"id": "Not-A-Licence"}}]
    if check.is_valid(broken):
        print("the schema check accepts an unknown licence id: it checks nothing")
        return 1

    by_ref = {c["bom-ref"]: c for c in bom["components"]}
    faults = []
    for program in programs:
        name = os.path.basename(program)
        with open(program, "rb") as f:
            digest = hashlib.sha256(f.read()).hexdigest()
        entry = by_ref.get(name)
        if not entry or entry.get("hashes") != [{"alg": "SHA-256", "content": digest}]:
            faults.append(f"{name}: missing or with another SHA-256")
            continue
        linked = next((d["dependsOn"] for d in bom["dependencies"] if d["ref"] == name), [])
        for ref in linked:
            part = by_ref[ref]
            props = {p["name"]: p["value"] for p in part.get("properties", [])}
            if not part.get("version") or not part.get("licenses") or not props.get("debian:source-version"):
                faults.append(f"{ref}: version, licence or Debian source missing")
        names = " ".join(by_ref[ref]["name"] for ref in linked)
        for expected in ("libcurl", "jsoncpp", "pugixml", "LZMA SDK", "libstdc++", "libgcc", "C runtime",
                         "winpthreads"):
            if expected not in names:
                faults.append(f"{name}: no {expected} among what it links")
    patched = [c for c in bom["components"] if c["name"] == "jsoncpp"]
    if not patched or not patched[0].get("pedigree", {}).get("patches"):
        faults.append("jsoncpp is built with a patch of ours, and the bill does not say so")
    if not any(c.get("scope") == "excluded" and "compiler" in c["name"] for c in bom["components"]):
        faults.append("the compiler is not named")
    for fault in faults:
        print("FAIL:", fault)
    if faults:
        return 1
    print("valid CycloneDX", bom["specVersion"], "by the published schema; components:")
    for c in bom["components"]:
        props = {p["name"]: p["value"] for p in c.get("properties", [])}
        licence = c.get("licenses", [{}])[0]
        licence = licence.get("expression") or licence.get("license", {}).get("id", "")
        detail = (c["hashes"][0]["content"] if "hashes" in c else
                  f"{licence}; Debian source {props.get('debian:source-package')} {props.get('debian:source-version')}")
        if props.get("build:patch"):
            detail += f"; patched with {props['build:patch']}"
        print(f"    {c['name']} {c['version']}{' (build tool)' if c.get('scope') == 'excluded' else ''}: {detail}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2], sys.argv[3:]))
