#!/usr/bin/env python3
"""Checks a built tavrik_mac.bundle without a Mac.

  macos_check.py BUNDLE RESOURCES ARCH... [--objects DIR...]

The layout and Info.plist (read with plistlib); the six documents
byte-identical to RESOURCES; the executable, each architecture slice of it:
an MH_BUNDLE for macOS with its minimum version, exactly the seven exports,
every undefined symbol bound to libSystem and no other library loaded, and an
ad-hoc code signature whose page hashes match the slice. With --objects, no
fused multiply-add instruction in the plug-in's own objects. LLVM's tools read
the symbols; the load commands and the signature are read here.
"""
import hashlib
import os
import plistlib
import re
import struct
import subprocess
import sys

EXPORTS = sorted("_" + n for n in ["has_interface", "get_name", "get_uuid", "create_interface", "get_info",
                                   "is_resident", "has_separate_interfaces"])
DOCUMENTS = [f"{language}/{name}.xml" for language in ("1033", "1041")
             for name in ("TEXT", "EXPORT_DIALOG_ID", "IMPORT_DIALOG_ID")]
CPU = {0x01000007: "x86_64", 0x0100000C: "arm64"}
MH_BUNDLE, LC_LOAD_DYLIB, LC_CODE_SIGNATURE, LC_BUILD_VERSION = 8, 0xC, 0x1D, 0x32
MINIMUM = "11.0"

failures = []


def check(condition, what):
    print(("ok: " if condition else "FAILED: ") + what)
    if not condition:
        failures.append(what)


def tool(name):
    for candidate in [name] + [f"{name}-{v}" for v in range(20, 13, -1)]:
        for folder in os.environ.get("PATH", "").split(":") + [f"/usr/lib/llvm-{v}/bin" for v in range(20, 13, -1)]:
            path = os.path.join(folder, candidate)
            if os.access(path, os.X_OK):
                return path
    sys.exit(f"macos_check: {name} not found")


def slices(data):
    """(arch, bytes) of each slice: a universal file or a single one."""
    magic = struct.unpack(">I", data[:4])[0]
    if magic == 0xCAFEBABE:
        count = struct.unpack(">I", data[4:8])[0]
        out = []
        for i in range(count):
            cpu, _, offset, size, _ = struct.unpack(">iiIII", data[8 + 20 * i:28 + 20 * i])
            out.append((CPU.get(cpu & 0xFFFFFFFF, hex(cpu)), data[offset:offset + size]))
        return out
    cpu = struct.unpack("<I", data[4:8])[0]
    return [(CPU.get(cpu, hex(cpu)), data)]


def load_commands(macho):
    magic, _, _, filetype, count, _, _, _ = struct.unpack("<IiiIIIII", macho[:32])
    if magic != 0xFEEDFACF:
        return None, []
    commands, at = [], 32
    for _ in range(count):
        cmd, size = struct.unpack("<II", macho[at:at + 8])
        commands.append((cmd, macho[at:at + size]))
        at += size
    return filetype, commands


def signature_holds(macho, command):
    """The code directory of an ad-hoc signature: its page hashes match."""
    offset, size = struct.unpack("<II", command[8:16])
    blob = macho[offset:offset + size]
    magic, _, count = struct.unpack(">III", blob[:12])
    if magic != 0xFADE0CC0:
        return False, "no embedded signature"
    for i in range(count):
        kind, at = struct.unpack(">II", blob[12 + 8 * i:20 + 8 * i])
        if kind != 0:
            continue
        (cd_magic, _, _, flags, hash_offset, _, _, code_slots, code_limit, hash_size, hash_type, _,
         page_log) = struct.unpack(">IIIIIIIIIBBBB", blob[at:at + 40])
        if cd_magic != 0xFADE0C02 or hash_type != 2 or hash_size != 32:
            return False, "not a SHA-256 code directory"
        if not flags & 0x2:
            return False, "not ad hoc"
        page = 1 << page_log
        for slot in range(code_slots):
            start = slot * page
            expected = blob[at + hash_offset + 32 * slot:at + hash_offset + 32 * (slot + 1)]
            if hashlib.sha256(macho[start:min(start + page, code_limit)]).digest() != expected:
                return False, f"page {slot} does not match its hash"
        return code_limit == offset, f"ad hoc, {code_slots} pages of {page} bytes hashed"
    return False, "no code directory"


def main():
    arguments = sys.argv[1:]
    objects = []
    if "--objects" in arguments:
        objects = arguments[arguments.index("--objects") + 1:]
        arguments = arguments[:arguments.index("--objects")]
    bundle, resources, archs = arguments[0], arguments[1], sorted(arguments[2:])
    contents = os.path.join(bundle, "Contents")
    with open(os.path.join(contents, "Info.plist"), "rb") as f:
        info = plistlib.load(f)
    check(info.get("CFBundlePackageType") == "BNDL", "Info.plist: package type BNDL")
    check(info.get("CFBundleExecutable") == "tavrik_mac", "Info.plist: executable tavrik_mac")
    check(info.get("CFBundleIdentifier") == "org.tavrik.plugin", "Info.plist: identifier org.tavrik.plugin")
    check(info.get("CFBundleVersion") == "2.8.0" and info.get("CFBundleShortVersionString") == "2.8.0",
          "Info.plist: version 2.8.0")
    check(info.get("LSMinimumSystemVersion") == MINIMUM, f"Info.plist: minimum macOS {MINIMUM}")
    for document in DOCUMENTS:
        path = os.path.join(contents, "Resources", "VXUL", document)
        with open(os.path.join(resources, document), "rb") as f:
            same = os.path.exists(path) and open(path, "rb").read() == f.read()
        check(same, f"Resources/VXUL/{document} byte-identical to resources/")
    listed = sorted(os.path.relpath(os.path.join(d, n), contents) for d, _, names in os.walk(contents) for n in names)
    check(listed == sorted(["Info.plist", "MacOS/tavrik_mac"] + [f"Resources/VXUL/{d}" for d in DOCUMENTS]),
          "the bundle holds Info.plist, MacOS/tavrik_mac and the documents, nothing else")

    executable = os.path.join(contents, "MacOS", "tavrik_mac")
    with open(executable, "rb") as f:
        data = f.read()
    found = slices(data)
    check(sorted(a for a, _ in found) == archs, f"architectures {', '.join(archs)}")
    nm = tool("llvm-nm")
    for arch, macho in found:
        filetype, commands = load_commands(macho)
        check(filetype == MH_BUNDLE, f"{arch}: an MH_BUNDLE")
        versions = [struct.unpack("<IIIII", c[:20]) for cmd, c in commands if cmd == LC_BUILD_VERSION]
        minos = versions and versions[0][3]
        check(bool(versions) and versions[0][2] == 1 and minos == 0xB0000,
              f"{arch}: built for macOS, minimum {MINIMUM}")
        dylibs = [c[24:].split(b"\0")[0].decode() for cmd, c in commands if cmd == LC_LOAD_DYLIB]
        check(dylibs == ["/usr/lib/libSystem.B.dylib"], f"{arch}: loads only libSystem ({', '.join(dylibs)})")
        signatures = [c for cmd, c in commands if cmd == LC_CODE_SIGNATURE]
        held, how = signature_holds(macho, signatures[0]) if signatures else (False, "none")
        check(held, f"{arch}: code signature {how}")
        exports = subprocess.run([nm, "-g", "--defined-only", "-j", "--arch", arch, executable],
                                 capture_output=True, text=True, check=True).stdout.split()
        check(sorted(exports) == EXPORTS, f"{arch}: exports exactly {' '.join(EXPORTS)}")
        undefined = subprocess.run([nm, "-u", "-m", "--arch", arch, executable],
                                   capture_output=True, text=True, check=True).stdout.splitlines()
        elsewhere = [line for line in undefined if "(from libSystem)" not in line]
        check(b"invalid interface plugin_interface: reserved_plugin_0\0" in macho,
              f"{arch}: built on the macOS code paths (placeholders abort naming their slot)")
        check(undefined and not elsewhere,
              f"{arch}: {len(undefined)} undefined symbols, all from libSystem" + (f" ({elsewhere[:3]})" if elsewhere else ""))
    if objects:
        objdump = tool("llvm-objdump")
        files = [os.path.join(d, n) for folder in objects for d, _, names in os.walk(folder)
                 for n in names if n.endswith(".o")]
        text = subprocess.run([objdump, "-d"] + files, capture_output=True, text=True, check=True).stdout
        fused = re.findall(r"\s(v?fn?m(?:add|sub)\w*|fml[as])\s", text)
        check(files and not fused, f"{len(files)} objects of the plug-in without fused multiply-add" +
              (f" ({sorted(set(fused))[:4]})" if fused else ""))
    if failures:
        sys.exit(f"macos_check: {len(failures)} checks failed")


main()
