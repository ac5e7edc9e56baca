#!/usr/bin/python3
"""Checks a version stamp image with independent PE readers.

Usage: check_stamp.py FILE VERSION [--template] [--windows-reader EXE]

Readers:
  pefile                     headers, resource tree and version information as pefile parses them
  objdump + own parser       x86_64-w64-mingw32-objdump for headers, sections and the resource
                             tree; the version resource bytes it points at are decoded here
  --windows-reader EXE       optional: a Windows program run under wine that prints what
                             GetFileVersionInfoA / VerQueryValueA return

Each reader must find: PE32+ for AMD64, native subsystem, exactly one resource (a version
resource, name 1, language 0x0411), a string table "041104b0" whose FileVersion and
ProductVersion are VERSION, the fixed file version VERSION, the fixed product version
55.66.77.8888, and the template's other strings and translation. --template also requires the
header checksum to match the file (a stamp of another version keeps the template's checksum).

Every reader must see the whole version: Windows' VerQueryValueA hands back no more than a
string's stored value length, so that length has to follow the version's. The objdump reader
also requires every block of the version resource to state the length its content takes.

Exits 0 when every check passes, 1 with one line per failed check otherwise, 2 on bad usage.
"""

import argparse
import os
import re
import struct
import subprocess
import sys

import pefile

OBJDUMP = "x86_64-w64-mingw32-objdump"
PRODUCT_VERSION = "55.66.77.8888"
FIXED_STRINGS = {
    "CompanyName": "Norvane",
    "FileDescription": "Firmware version",
    "LegalCopyright": "(C) Norvane",
    "ProductName": "Norvane Firmware update",
}
TRANSLATION = (0x0411, 0x04B0)
# pefile's heuristics that every stamp trips and that say nothing about its validity: a tiny
# image with 0x200-byte file alignment is mostly zero bytes, and a stamp with a version shorter
# than the template's ends a few zero bytes before its resource section's raw size.
BENIGN_PEFILE_WARNINGS = (
    re.compile(r"^Byte 0x00 makes up [0-9.]+% of the file's contents"),
    re.compile(r"^Error parsing section \d+\. SizeOfRawData is larger than file\.$"),
)


class Report:
    def __init__(self):
        self.failures = []

    def expect(self, reader, what, actual, expected):
        if actual != expected:
            self.failures.append(f"{reader}: {what} is {actual!r}, expected {expected!r}")

    def fail(self, reader, message):
        self.failures.append(f"{reader}: {message}")


def version_fields(version):
    fields = version.split(".")
    if len(fields) != 4 or not all(f.isdigit() and int(f) <= 0xFFFF for f in fields):
        raise ValueError(f"not a version of four fields 0..65535: {version}")
    return tuple(int(f) for f in fields)


def version_of(most, least):
    return f"{most >> 16}.{most & 0xFFFF}.{least >> 16}.{least & 0xFFFF}"


def utf16_text_at(data, offset):
    end = offset
    while data[end : end + 2] != b"\0\0":
        if end + 2 > len(data):
            raise ValueError(f"unterminated text at 0x{offset:x}")
        end += 2
    return data[offset:end].decode("utf-16-le")


# --- The version information as each reader sees it ---------------------------------------
#
# A reader returns a dict: magic, machine, subsystem, resources (list of (type, name, language)),
# file_version, product_version, string_tables ({language key: {name: text}}), translation.


def read_with_pefile(path, report):
    pe = pefile.PE(path)
    data = pe.__data__
    for warning in pe.get_warnings():
        if not any(p.match(warning) for p in BENIGN_PEFILE_WARNINGS):
            report.fail("pefile", f"warning: {warning}")
    info = {
        "magic": pe.OPTIONAL_HEADER.Magic,
        "machine": pe.FILE_HEADER.Machine,
        "subsystem": pe.OPTIONAL_HEADER.Subsystem,
        "resources": [],
        "string_tables": {},
    }
    resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for kind in resources.entries if resources else []:
        for name in kind.directory.entries:
            for language in name.directory.entries:
                info["resources"].append((kind.id, name.id, language.id))
    if not getattr(pe, "VS_FIXEDFILEINFO", None):
        report.fail("pefile", "no version information")
        return info
    fixed = pe.VS_FIXEDFILEINFO[0]
    info["file_version"] = version_of(fixed.FileVersionMS, fixed.FileVersionLS)
    info["product_version"] = version_of(fixed.ProductVersionMS, fixed.ProductVersionLS)
    for file_info in pe.FileInfo[0]:
        for table in getattr(file_info, "StringTable", []):
            strings = {}
            for key, value in table.entries.items():
                text = utf16_text_at(data, table.entries_offsets[key][1])
                if not text.startswith(value.decode("utf-8")):
                    report.fail("pefile", f"{key.decode()} read as {value!r}, stored as {text!r}")
                strings[key.decode()] = text
            info["string_tables"][table.LangID.decode()] = strings
        for var in getattr(file_info, "Var", []):
            words = var.entry.get(b"Translation", "").split()
            info["translation"] = tuple(int(w, 16) for w in words)
    if pe.OPTIONAL_HEADER.CheckSum != pe.generate_checksum():
        info["checksum_mismatch"] = True
    return info


def objdump(*arguments):
    result = subprocess.run(
        [OBJDUMP, *arguments], capture_output=True, text=True, check=False
    )
    return result.returncode, result.stdout, result.stderr


def objdump_sections(path):
    """Section name -> (VMA, size, file offset) from objdump -h."""
    _, out, _ = objdump("-h", path)
    sections = {}
    for line in out.splitlines():
        parts = line.split()
        if len(parts) >= 7 and parts[0].isdigit():
            sections[parts[1]] = (int(parts[3], 16), int(parts[2], 16), int(parts[5], 16))
    return sections


def read_with_objdump(path, report):
    code, out, err = objdump("-p", path)
    if code != 0 or err.strip():
        report.fail("objdump", f"exit {code}: {err.strip()}")
    info = {"resources": [], "string_tables": {}}
    header = dict(
        (m.group(1), m.group(2)) for m in re.finditer(r"^(\w+)\s+([0-9a-fA-F]+)\b", out, re.M)
    )
    info["magic"] = int(header.get("Magic", "0"), 16)
    info["subsystem"] = int(header.get("Subsystem", "0"), 16)
    info["machine"] = 0x8664 if "file format pei-x86-64" in out else None
    image_base = int(header.get("ImageBase", "0"), 16)
    if "Corrupt" in out:
        report.fail("objdump", "reports a corrupt resource section")
    ids = [int(m, 16) for m in re.findall(r"Entry: ID: 0x([0-9a-fA-F]+)", out)]
    leaves = re.findall(r"Leaf: Addr: 0x([0-9a-fA-F]+), Size: 0x([0-9a-fA-F]+)", out)
    if len(leaves) == 1 and len(ids) == 3:
        info["resources"].append(tuple(ids))
    else:
        report.fail("objdump", f"resource tree has entries {ids} and {len(leaves)} leaves")
        return info
    rva, size = int(leaves[0][0], 16), int(leaves[0][1], 16)
    offset = None
    for vma, section_size, file_offset in objdump_sections(path).values():
        if vma <= image_base + rva < vma + section_size:
            offset = file_offset + image_base + rva - vma
    if offset is None:
        report.fail("objdump", f"version resource at RVA 0x{rva:x} lies in no section")
        return info
    with open(path, "rb") as file:
        data = file.read()
    decode_version_resource(data[offset : offset + size], info, report)
    return info


# --- A small VS_VERSIONINFO decoder for the objdump reader ----------------------------------


def align4(offset):
    return (offset + 3) & ~3


def read_block(data, start):
    """(key, value type, value offset, value length, child offsets, total length)."""
    length, value_length, value_type = struct.unpack_from("<HHH", data, start)
    key = utf16_text_at(data, start + 6)
    value = align4(start + 6 + 2 * (len(key) + 1))
    if value_type == 1 and value_length:
        value_end = value + 2 * (len(utf16_text_at(data, value)) + 1)
    else:
        value_end = value + (value_length if value_type == 0 else 0)
    children = []
    child = align4(value_end)
    while child < start + length:
        children.append(child)
        child_length = struct.unpack_from("<H", data, child)[0]
        if child_length == 0:
            break
        child = align4(child + child_length)
    return key, value_type, value, value_length, children, length


def content_end(data, start):
    """Where a block's content ends: its last child's end, else its value's end."""
    _, value_type, value, value_length, children, _ = read_block(data, start)
    if children:
        return children[-1] + struct.unpack_from("<H", data, children[-1])[0]
    if value_type == 1:
        return value + 2 * (len(utf16_text_at(data, value)) + 1) if value_length else value
    return value + value_length


def check_block_lengths(data, start, report, parent=""):
    """Every block's stated length must be what its content takes: a reader that walks the
    blocks by their lengths would otherwise miss a child or read into the next block."""
    key, _, _, _, children, length = read_block(data, start)
    name = parent + "\\" + key
    content = content_end(data, start) - start
    if length != content:
        report.fail("objdump", f"block {name} states length {length}, its content takes {content}")
    for child in children:
        check_block_lengths(data, child, report, name)


def decode_version_resource(data, info, report):
    key, _, fixed, fixed_length, children, length = read_block(data, 0)
    if key != "VS_VERSION_INFO" or fixed_length != 52 or length != len(data):
        report.fail("objdump", f"root block {key!r}, value {fixed_length}, length {length}")
        return
    check_block_lengths(data, 0, report)
    words = struct.unpack_from("<13I", data, fixed)
    if words[0] != 0xFEEF04BD:
        report.fail("objdump", f"fixed information signature 0x{words[0]:08X}")
    info["file_version"] = version_of(words[2], words[3])
    info["product_version"] = version_of(words[4], words[5])
    for child in children:
        child_key, _, _, _, grandchildren, _ = read_block(data, child)
        for table in grandchildren:
            table_key, _, _, _, entries, _ = read_block(data, table)
            if child_key == "StringFileInfo":
                strings = {}
                for entry in entries:
                    name, _, value, _, _, _ = read_block(data, entry)
                    strings[name] = utf16_text_at(data, value)
                info["string_tables"][table_key] = strings
            elif child_key == "VarFileInfo" and table_key == "Translation":
                _, _, value, value_length, _, _ = read_block(data, table)
                info["translation"] = struct.unpack_from(f"<{value_length // 2}H", data, value)


# --- The Windows reader (optional) -----------------------------------------------------------


def read_with_windows(reader, path, report):
    environment = dict(os.environ, WINEDEBUG="-all")
    result = subprocess.run(
        ["wine", reader, path], capture_output=True, text=True, env=environment, check=False
    )
    info = {"string_tables": {}}
    if result.returncode != 0:
        report.fail("windows", f"exit {result.returncode}: {result.stdout}{result.stderr}")
        return info
    for line in result.stdout.splitlines():
        name, _, value = line.rstrip("\r").partition("=")
        if name in ("file_version", "product_version"):
            info[name] = value
        elif name == "translation":
            info["translation"] = tuple(int(w, 16) for w in value.split())
        elif "\\" in name:
            table, _, key = name.partition("\\")
            info["string_tables"].setdefault(table, {})[key] = value
    return info


# --- The checks ------------------------------------------------------------------------------


def check_headers(reader, info, report):
    report.expect(reader, "optional header magic", info.get("magic"), 0x20B)
    report.expect(reader, "machine", info.get("machine"), 0x8664)
    report.expect(reader, "subsystem", info.get("subsystem"), 1)
    report.expect(reader, "resources (type, name, language)", info["resources"], [(16, 1, 0x411)])


def check_version_information(reader, info, version, report):
    report.expect(reader, "fixed file version", info.get("file_version"), version)
    report.expect(reader, "fixed product version", info.get("product_version"), PRODUCT_VERSION)
    expected = dict(FIXED_STRINGS, FileVersion=version, ProductVersion=version)
    report.expect(reader, "string tables", sorted(info["string_tables"]), ["041104b0"])
    strings = info["string_tables"].get("041104b0", {})
    for key, text in expected.items():
        report.expect(reader, key, strings.get(key), text)
    report.expect(reader, "string names", sorted(strings), sorted(expected))
    report.expect(reader, "translation", info.get("translation"), TRANSLATION)


def main(arguments):
    parser = argparse.ArgumentParser(description="Checks a version stamp image.")
    parser.add_argument("file")
    parser.add_argument("version")
    parser.add_argument("--template", action="store_true", help="also require a valid checksum")
    parser.add_argument("--windows-reader", metavar="EXE", help="run EXE under wine as a third reader")
    options = parser.parse_args(arguments)
    path, version, template, windows_reader = (
        options.file, options.version, options.template, options.windows_reader)
    try:
        version_fields(version)
    except ValueError as error:
        print(f"check_stamp: {error}", file=sys.stderr)
        return 2

    report = Report()
    for reader, read in (("pefile", read_with_pefile), ("objdump", read_with_objdump)):
        try:
            info = read(path, report)
        except Exception as error:  # a reader that chokes on the file is a failed check
            report.fail(reader, f"cannot read the file: {error}")
            continue
        check_headers(reader, info, report)
        check_version_information(reader, info, version, report)
        if reader == "pefile" and template and info.get("checksum_mismatch"):
            report.fail(reader, "header checksum does not match the file")
    if windows_reader:
        check_version_information("windows", read_with_windows(windows_reader, path, report),
                                  version, report)

    if report.failures:
        for failure in report.failures:
            print(f"check_stamp: {path}: {failure}", file=sys.stderr)
        return 1
    readers = "pefile, objdump" + (", windows" if windows_reader else "")
    print(f"check_stamp: {path}: version {version} confirmed by {readers}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
