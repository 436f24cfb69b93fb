#!/usr/bin/env python3
"""Checks a skin's language table against its layouts and the texts the code shows.

    check-language-table.py SKIN_DIR [--default DEFAULT_SKIN_DIR] [--code UiTexts.h]

SKIN_DIR holds the layouts (*.xml) and language.json. Fails (exit 1) when the table is
4 MiB or more, does not parse, lacks a locale or an id that a layout (textid, accnameid) or
the code uses, has an empty text or one with characters beyond U+FFFF (the installer shows
those as empty), or a translation of a pattern loses or adds a number conversion. With
--default, the Chinese column must equal the default skin's text (for accnameid: accname,
else tooltip) of the same control; with --code, the Chinese column of each code text must
equal the code's own literal.
"""
import argparse
import glob
import json
import os
import re
import sys
import xml.etree.ElementTree as ET

LOCALES = ["en-US", "zh-CN", "zh-TW", "id-ID", "tr-TR", "de-DE", "fr-FR", "es-ES",
           "pt-PT", "ja-JP", "ko-KR", "pl-PL", "nl-NL", "it-IT", "ru-RU"]
MAX_BYTES = 4194304
# A printf conversion as the installer reads patterns: "%%" is a literal percent sign.
CONVERSION = re.compile(r"%%|%[-+ #0]*\d*(?:\.\d*)?([a-zA-Z])")


def conversions(text):
    return [m.group(1) for m in CONVERSION.finditer(text) if m.group(0) != "%%"]


ID_ATTRIBUTES = ("textid", "accnameid")


def layout_ids(folder):
    """id -> [(layout, control name, attribute)] for every textid and accnameid of the layouts in folder."""
    used = {}
    for path in sorted(glob.glob(os.path.join(folder, "*.xml"))):
        for el in ET.parse(path).iter():
            for attr in ID_ATTRIBUTES:
                if attr in el.attrib:
                    used.setdefault(int(el.attrib[attr]), []).append(
                        (os.path.basename(path), el.attrib.get("name", ""), attr))
    return used


def default_texts(folder):
    """(layout lower-case, control name, id attribute) -> text of the default skin: its text for
    textid, its accessible name (accname, else tooltip) for accnameid."""
    texts = {}
    for path in glob.glob(os.path.join(folder, "*.xml")):
        for el in ET.parse(path).iter():
            name = el.attrib.get("name")
            if not name:
                continue
            layout = os.path.basename(path).lower()
            if "text" in el.attrib:
                texts[(layout, name, "textid")] = el.attrib["text"]
            accname = el.attrib.get("accname") or el.attrib.get("tooltip")
            if accname:
                texts[(layout, name, "accnameid")] = accname
    return texts


def code_texts(header):
    """id -> literal of the UiText constants in the header (C escapes decoded)."""
    source = open(header, encoding="utf-8").read()
    found = {}
    for ident, literal in re.findall(r"\{\s*(\d+)\s*,\s*L\"((?:[^\"\\]|\\.)*)\"\s*\}", source):
        found[int(ident)] = literal.replace("\\r", "\r").replace("\\n", "\n").replace('\\"', '"').replace("\\\\", "\\")
    return found


def check(skin, default=None, header=None):
    problems = []
    path = os.path.join(skin, "language.json")
    raw = open(path, "rb").read()
    if len(raw) >= MAX_BYTES:
        problems.append(f"language.json is {len(raw)} bytes, the installer ignores {MAX_BYTES} and more")
    try:
        doc = json.loads(raw.decode("utf-8"))
    except (UnicodeDecodeError, json.JSONDecodeError) as e:
        return [f"language.json does not parse: {e}"]
    entries = doc if isinstance(doc, list) else list(doc.values()) if isinstance(doc, dict) else []
    table = {}
    for n, entry in enumerate(entries):
        if not isinstance(entry, dict) or not isinstance(entry.get("id"), int):
            problems.append(f"entry {n} has no integer id")
            continue
        ident = entry["id"]
        if ident in table:
            problems.append(f"id {ident} appears twice")
        table[ident] = entry
        for code in LOCALES:
            text = entry.get(code)
            if not isinstance(text, str) or not text.strip():
                problems.append(f"id {ident}: no {code} text")
            elif any(ord(c) > 0xFFFF for c in text):
                problems.append(f"id {ident} {code}: characters beyond U+FFFF show as an empty text")
        pattern = conversions(entry.get("zh-CN") or "")
        for code in LOCALES:
            if isinstance(entry.get(code), str) and conversions(entry[code]) != pattern:
                problems.append(f"id {ident} {code}: conversions {conversions(entry[code])}, expected {pattern}")
        if len(pattern) > 1 or any(c not in "diuxXo" for c in pattern):
            problems.append(f"id {ident}: a pattern takes one integer conversion at most")

    used = layout_ids(skin)
    code = code_texts(header) if header else {}
    for ident, where in sorted(used.items()):
        if ident not in table:
            problems.append(f"id {ident} used by {where} is not in the table")
    for ident in sorted(code):
        if ident not in table:
            problems.append(f"id {ident} used by the code is not in the table")
        elif table[ident].get("zh-CN") != code[ident]:
            problems.append(f"id {ident}: zh-CN {table[ident].get('zh-CN')!r} differs from the code's {code[ident]!r}")
    if default:
        texts = default_texts(default)
        for ident, where in used.items():
            for layout, name, attr in where:
                ref = texts.get((layout.lower(), name, attr))
                if ref is not None and ident in table and table[ident].get("zh-CN") != ref:
                    problems.append(f"id {ident}: zh-CN {table[ident].get('zh-CN')!r} differs from {layout} {name} {ref!r}")
    for ident in sorted(set(table) - set(used) - set(code)):
        problems.append(f"id {ident} is used by no layout and no code")
    return problems


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("skin")
    ap.add_argument("--default", help="the default skin's folder")
    ap.add_argument("--code", help="the header listing the code's texts")
    args = ap.parse_args()
    problems = check(args.skin, args.default, args.code)
    for p in problems:
        print("FAIL:", p)
    print(f"{len(problems)} problem(s)")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
