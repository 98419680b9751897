#!/usr/bin/env python3
"""Fails when an executable imports a DLL that Windows might take from
beside it. The updater runs elevated from a download folder, so it may
import, directly or delay-loaded, only DLLs that Windows always takes from
the system directory; anything else it loads at run time from there.

usage: check_imports.py EXE...
"""
import struct
import sys

ALLOWED = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll",
           "shell32.dll", "ole32.dll", "msvcrt.dll"}
IMPORT_DIRECTORY = 1
DELAY_IMPORT_DIRECTORY = 13


class PeError(Exception):
    pass


def read_pe(data):
    """Returns (machine, image_base, data directories, sections)."""
    if data[:2] != b"MZ":
        raise PeError("no MZ header")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise PeError("no PE signature")
    machine, section_count = struct.unpack_from("<HH", data, pe + 4)
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    if magic == 0x10B:
        image_base = struct.unpack_from("<I", data, optional + 28)[0]
        directories_at = optional + 96
    elif magic == 0x20B:
        image_base = struct.unpack_from("<Q", data, optional + 24)[0]
        directories_at = optional + 112
    else:
        raise PeError("unknown optional header magic %#x" % magic)
    directory_count = struct.unpack_from("<I", data, directories_at - 4)[0]
    directories = [struct.unpack_from("<II", data, directories_at + 8 * i)
                   for i in range(directory_count)]
    sections = []
    for i in range(section_count):
        at = optional + optional_size + 40 * i
        virtual_size, virtual_address, raw_size, raw_at = struct.unpack_from("<IIII", data, at + 8)
        sections.append((virtual_address, max(virtual_size, raw_size), raw_at))
    return machine, image_base, directories, sections


def file_offset(sections, rva):
    for virtual_address, size, raw_at in sections:
        if virtual_address <= rva < virtual_address + size:
            return raw_at + rva - virtual_address
    raise PeError("RVA %#x outside every section" % rva)


def c_string(data, at):
    end = data.index(b"\0", at)
    return data[at:end].decode("ascii")


def imported_dlls(data):
    """The names of every DLL imported, directly or delay-loaded."""
    _, image_base, directories, sections = read_pe(data)
    names = []
    if len(directories) > IMPORT_DIRECTORY and directories[IMPORT_DIRECTORY][0]:
        at = file_offset(sections, directories[IMPORT_DIRECTORY][0])
        while True:
            descriptor = struct.unpack_from("<IIIII", data, at)
            if not any(descriptor):
                break
            names.append(c_string(data, file_offset(sections, descriptor[3])))
            at += 20
    if len(directories) > DELAY_IMPORT_DIRECTORY and directories[DELAY_IMPORT_DIRECTORY][0]:
        at = file_offset(sections, directories[DELAY_IMPORT_DIRECTORY][0])
        while True:
            attributes, name = struct.unpack_from("<II", data, at)
            if not attributes and not name:
                break
            # Old-style descriptors hold addresses, not RVAs.
            rva = name if attributes & 1 else name - image_base
            names.append(c_string(data, file_offset(sections, rva)) + " (delay-loaded)")
            at += 32
    return names


def main(paths):
    if not paths:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    status = 0
    for path in paths:
        try:
            with open(path, "rb") as f:
                names = imported_dlls(f.read())
        except (OSError, PeError, ValueError, struct.error) as error:
            print("%s: cannot read its imports: %s" % (path, error))
            status = 1
            continue
        print("%s: %s" % (path, ", ".join(names)))
        bare = {name.split(" ")[0].lower() for name in names}
        # Every Windows program imports kernel32: without it the table
        # was not read, and an empty list would pass.
        if "kernel32.dll" not in bare:
            print("%s: no import of kernel32.dll found" % path)
            status = 1
        for name in names:
            if name.split(" ")[0].lower() not in ALLOWED:
                print("%s: imports %s, which Windows may load from the program's folder"
                      % (path, name))
                status = 1
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
