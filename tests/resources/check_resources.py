#!/usr/bin/env python3
"""Checks the built editions as Windows will see them.

    check_resources.py EXE_DIR ARCH [PACKAGE_DIR]

For tivarn_patch104.exe and tivarn_append104.exe in EXE_DIR: the PE kind
for ARCH (x86: PE32, x64: PE32+), the GUI subsystem, a link timestamp of 0,
imports from system DLLs only, and every resource by type, name and
language, each parsed field by field; no other resource may be there. The
package resources must equal PACKAGE_DIR/patch.pkg and append.pkg
(default: EXE_DIR/../resources, where the build packs them).

Exit code 0 when everything matches, 1 with one line per difference.
"""
import os
import struct
import sys
import xml.etree.ElementTree as ET

JAPANESE = 0x0411
ENGLISH_US = 0x0409
RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 5, 14, 16, 24

ARCHES = {
    # arch: (COFF machine, optional header magic, manifest processorArchitecture)
    'x86': (0x014C, 0x10B, 'x86'),
    'x64': (0x8664, 0x20B, 'amd64'),
}

EDITIONS = {
    'tivarn_patch104': {'dialog': 1178, 'package': 'PATCH', 'package_file': 'patch.pkg',
                        'icons': False},
    'tivarn_append104': {'dialog': 102, 'package': 132, 'package_file': 'append.pkg',
                         'icons': True},
}

# DLLs that Windows always loads from its system directory.
SYSTEM_DLLS = {'kernel32.dll', 'user32.dll', 'gdi32.dll', 'advapi32.dll', 'shell32.dll',
               'ole32.dll', 'msvcrt.dll'}

MANIFEST = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
<assemblyIdentity type="win32" name="setup" version="1.0.0.15" processorArchitecture="{arch}"/>
<description>Brevandt patch</description>
<trustInfo xmlns="urn:schemas-microsoft-com:asm.v3"><security><requestedPrivileges>
<requestedExecutionLevel level="requireAdministrator" uiAccess="false"/>
</requestedPrivileges></security></trustInfo>
<compatibility xmlns="urn:schemas-microsoft-com:compatibility.v1"><application>
<supportedOS Id="{{e2011457-1546-43c5-a5fe-008deee3d3f0}}"/>
<supportedOS Id="{{35138b9a-5d96-4fbd-8e2d-a2440225f93a}}"/>
<supportedOS Id="{{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}}"/>
</application></compatibility>
</assembly>"""

VERSION_STRINGS = {
    'CompanyName': 'Brevandt',
    'FileDescription': 'Brevandt UPDATER',
    'FileVersion': '1, 4, 0, 1',
    'InternalName': 'PATCH.EXE',
    'LegalTrademarks': 'Brevandt',
    'ProductName': 'Brevandt UPDATER',
    'ProductVersion': '1, 4, 0, 1',
}

PROGRESS_TEXT = '書き換え中です。しばらくお待ちください。'

# The icon images of each group, in order: (size, bits per pixel).
ICON_IMAGES = [(32, 4), (16, 4), (48, 8), (32, 8), (16, 8), (48, 32), (32, 32), (16, 32)]
ICON_GROUPS = {107: range(1, 9), 108: range(9, 17)}


class Malformed(Exception):
    pass


def u16(data, at):
    if at + 2 > len(data):
        raise Malformed(f'read past the end at {at:#x}')
    return struct.unpack_from('<H', data, at)[0]


def u32(data, at):
    if at + 4 > len(data):
        raise Malformed(f'read past the end at {at:#x}')
    return struct.unpack_from('<I', data, at)[0]


# --- PE image --------------------------------------------------------------

def read_pe(data):
    """The headers that the checks need, with their file offsets."""
    if data[:2] != b'MZ':
        raise Malformed('no MZ header')
    pe = u32(data, 0x3C)
    if data[pe:pe + 4] != b'PE\0\0':
        raise Malformed('no PE signature')
    coff = pe + 4
    machine, sections, timestamp = struct.unpack_from('<HHI', data, coff)
    optional_size = u16(data, coff + 16)
    optional = coff + 20
    magic = u16(data, optional)
    directories = optional + (96 if magic == 0x10B else 112)
    directory_count = u32(data, directories - 4)
    section_table = optional + optional_size
    return {
        'machine': machine,
        'timestamp': timestamp,
        'timestamp_at': coff + 4,
        'magic': magic,
        'subsystem': u16(data, optional + 68),
        'subsystem_at': optional + 68,
        'directories': [struct.unpack_from('<II', data, directories + 8 * i)
                        for i in range(min(directory_count, 16))],
        'sections': [struct.unpack_from('<IIII', data, section_table + 40 * i + 8)
                     for i in range(sections)],  # virtual size, RVA, raw size, raw offset
    }


def file_offset(pe, rva):
    for virtual_size, address, raw_size, raw_offset in pe['sections']:
        if address <= rva < address + max(virtual_size, raw_size):
            if rva - address >= raw_size:
                raise Malformed(f'RVA {rva:#x} lies in uninitialised data')
            return raw_offset + rva - address
    raise Malformed(f'RVA {rva:#x} is in no section')


def read_utf16z(data, at, end=None):
    """A NUL-terminated UTF-16 string and the offset after its NUL."""
    limit = len(data) if end is None else end
    chars = []
    while True:
        if at + 2 > limit:
            raise Malformed(f'unterminated string at {at:#x}')
        c = u16(data, at)
        at += 2
        if c == 0:
            return bytes(chars).decode('utf-16-le', 'replace'), at
        chars += struct.pack('<H', c)


def imports(data, pe):
    rva, size = pe['directories'][1]
    names = []
    if not size:
        return names
    at = file_offset(pe, rva)
    while True:
        descriptor = struct.unpack_from('<5I', data, at)
        if not any(descriptor):
            return names
        name_at = file_offset(pe, descriptor[3])
        names.append(data[name_at:data.index(b'\0', name_at)].decode('ascii', 'replace'))
        at += 20


def resources(data, pe):
    """{(type, name, language): (file offset, size, code page)} and the
    timestamps of the resource directories. Names are ints or strings."""
    rva, size = pe['directories'][2]
    found, stamps = {}, []
    if not size:
        return found, stamps
    base = file_offset(pe, rva)

    def entry_name(value):
        if value & 0x80000000:
            at = base + (value & 0x7FFFFFFF)
            length = u16(data, at)
            return data[at + 2:at + 2 + 2 * length].decode('utf-16-le', 'replace')
        return value

    def walk(at, path):
        stamps.append(u32(data, at + 4))
        count = u16(data, at + 12) + u16(data, at + 14)
        for i in range(count):
            name, target = struct.unpack_from('<II', data, at + 16 + 8 * i)
            key = path + (entry_name(name),)
            if target & 0x80000000:
                if len(key) >= 3:
                    raise Malformed(f'resource tree deeper than 3 levels at {key}')
                walk(base + (target & 0x7FFFFFFF), key)
            else:
                if len(key) != 3:
                    raise Malformed(f'resource data at level {len(key)}: {key}')
                data_rva, data_size, code_page, _ = struct.unpack_from('<4I', data,
                                                                        base + target)
                found[key] = (file_offset(pe, data_rva), data_size, code_page)

    walk(base, ())
    return found, stamps


# --- resource formats -------------------------------------------------------

def sz_or_ord(data, at):
    """A dialog template's name-or-ordinal field: None, an int or a string."""
    first = u16(data, at)
    if first == 0x0000:
        return None, at + 2
    if first == 0xFFFF:
        return u16(data, at + 2), at + 4
    return read_utf16z(data, at)


def parse_dialog(data):
    """The fields of an extended dialog template (DLGTEMPLATEEX)."""
    version, signature, help_id, ex_style, style, count, x, y, cx, cy = struct.unpack_from(
        '<HHIIIHhhhh', data, 0)
    dialog = {'dlgVer': version, 'signature': signature, 'helpID': help_id,
              'exStyle': ex_style, 'style': style, 'cDlgItems': count,
              'rect': (x, y, cx, cy)}
    at = 26
    dialog['menu'], at = sz_or_ord(data, at)
    dialog['windowClass'], at = sz_or_ord(data, at)
    dialog['title'], at = read_utf16z(data, at)
    if style & 0x48:  # DS_SETFONT or DS_SHELLFONT
        point_size, weight, italic, charset = struct.unpack_from('<HHBB', data, at)
        typeface, at = read_utf16z(data, at + 6)
        dialog['font'] = (typeface, point_size, weight, italic, charset)
    items = []
    for _ in range(count):
        at = (at + 3) & ~3
        help_id, ex_style, style, x, y, cx, cy, item_id = struct.unpack_from(
            '<IIIhhhhi', data, at)
        item = {'helpID': help_id, 'exStyle': ex_style, 'style': style,
                'rect': (x, y, cx, cy), 'id': item_id}
        item['windowClass'], at = sz_or_ord(data, at + 24)
        item['title'], at = sz_or_ord(data, at)
        item['extraCount'] = u16(data, at)
        at += 2 + item['extraCount']
        items.append(item)
    dialog['items'] = items
    if ((at + 3) & ~3) < len(data):
        dialog['trailing bytes'] = len(data) - at
    return dialog


def parse_version_block(data, at=0):
    """One node of a version resource: (key, type, value bytes, children)."""
    length, value_length, kind = struct.unpack_from('<HHH', data, at)
    end = at + length
    if length < 6 or end > len(data):
        raise Malformed(f'version block at {at:#x} has length {length}')
    key, p = read_utf16z(data, at + 6, end)
    p = (p + 3) & ~3
    value_size = value_length * 2 if kind == 1 else value_length
    value = data[p:p + value_size]
    p = (p + value_size + 3) & ~3
    children = []
    while p < end:
        child = parse_version_block(data, p)
        children.append(child)
        p = (p + struct.unpack_from('<H', data, p)[0] + 3) & ~3
    return key, kind, value, children


def parse_version(data):
    """The version resource as a flat dict of what the checks compare."""
    key, _, value, children = parse_version_block(data)
    version = {'key': key}
    if len(value) == 52:
        fields = struct.unpack('<13I', value)
        names = ['signature', 'strucVersion', 'fileVersionMS', 'fileVersionLS',
                 'productVersionMS', 'productVersionLS', 'fileFlagsMask', 'fileFlags',
                 'fileOS', 'fileType', 'fileSubtype', 'fileDateMS', 'fileDateLS']
        version.update(zip(names, fields))
    else:
        version['fixed part length'] = len(value)
    for child_key, _, _, tables in children:
        if child_key == 'StringFileInfo':
            version['string tables'] = [table[0] for table in tables]
            for table in tables:
                for name, kind, text, _ in table[3]:
                    decoded = text.decode('utf-16-le', 'replace')
                    if kind != 1 or not decoded.endswith('\0') or '\0' in decoded[:-1]:
                        version[f'string {name} form'] = (kind, decoded)
                    version[f'string {name}'] = decoded.rstrip('\0')
        elif child_key == 'VarFileInfo':
            version['vars'] = {name: [v for v in struct.unpack(f'<{len(text) // 2}H', text)]
                               for name, _, text, _ in tables}
        else:
            version[f'unknown child {child_key}'] = True
    return version


def expected_version(exe_name):
    return {
        'key': 'VS_VERSION_INFO',
        'signature': 0xFEEF04BD, 'strucVersion': 0x00010000,
        'fileVersionMS': 0x00010004, 'fileVersionLS': 0x00000001,
        'productVersionMS': 0x00010004, 'productVersionLS': 0x00000001,
        'fileFlagsMask': 0x17, 'fileFlags': 0,
        'fileOS': 0x4,  # VOS__WINDOWS32
        'fileType': 0x1,  # VFT_APP
        'fileSubtype': 0, 'fileDateMS': 0, 'fileDateLS': 0,
        'string tables': ['041104b0'],
        **{f'string {name}': text
           for name, text in dict(VERSION_STRINGS, OriginalFilename=exe_name).items()},
        'vars': {'Translation': [0x0411, 1200]},
    }


EXPECTED_DIALOG = {
    'dlgVer': 1, 'signature': 0xFFFF, 'helpID': 0, 'exStyle': 0, 'style': 0x80C800C8,
    'cDlgItems': 1, 'rect': (0, 0, 262, 33), 'menu': None, 'windowClass': None,
    'title': 'Dialog', 'font': ('MS Shell Dlg', 8, 400, 0, 1),
    'items': [{'helpID': 0, 'exStyle': 0, 'style': 0x50020001, 'rect': (7, 8, 248, 18),
               'id': -1, 'windowClass': 0x0082, 'title': PROGRESS_TEXT, 'extraCount': 0}],
}


def shown(value):
    return hex(value) if isinstance(value, int) and value > 9 else repr(value)


def compare(what, actual, expected, problems):
    for field in sorted(set(actual) | set(expected), key=str):
        a, e = actual.get(field, '(missing)'), expected.get(field, '(none expected)')
        if a != e:
            problems.append(f'{what} {field}: {shown(a)}, expected {shown(e)}')


def canonical_xml(text):
    return ET.canonicalize(text, strip_text=True)


def check_icons(data, found, problems):
    images = {}
    for group, ids in ICON_GROUPS.items():
        key = (RT_GROUP_ICON, group, JAPANESE)
        if key not in found:
            continue  # reported as a missing resource
        at, size, _ = found[key]
        reserved, kind, count = struct.unpack_from('<HHH', data, at)
        if (reserved, kind, count, size) != (0, 1, len(ids), 6 + 14 * len(ids)):
            problems.append(f'icon group {group}: header {(reserved, kind, count)}, '
                            f'size {size}')
            continue
        for i, (icon_id, (pixels, bits)) in enumerate(zip(ids, ICON_IMAGES)):
            width, height, colours, _, planes, bit_count, byte_count, entry_id = \
                struct.unpack_from('<BBBBHHIH', data, at + 6 + 14 * i)
            entry = (width, height, colours, planes, bit_count, entry_id)
            wanted = (pixels % 256, pixels % 256, 16 if bits == 4 else 0, 1, bits, icon_id)
            if entry != wanted:
                problems.append(f'icon group {group} entry {i}: {entry}, expected {wanted}')
            image_key = (RT_ICON, entry_id, JAPANESE)
            if image_key not in found:
                continue
            image_at, image_size, _ = found[image_key]
            image = data[image_at:image_at + image_size]
            images.setdefault(group, []).append(image)
            if byte_count != image_size:
                problems.append(f'icon group {group} entry {i}: size {byte_count}, '
                                f'image {entry_id} has {image_size}')
            header = struct.unpack_from('<IiiHH', image, 0)
            if header != (40, pixels, 2 * pixels, 1, bits):
                problems.append(f'icon image {entry_id}: bitmap header {header}, expected '
                                f'{pixels}x{pixels} at {bits} bits')
    if len(images.get(107, [])) == 8 and images.get(107) != images.get(108):
        problems.append('icon group 108: images differ from those of group 107')


def check_edition(path, arch, package_path, settings):
    problems = []
    with open(path, 'rb') as f:
        data = f.read()
    machine, magic, manifest_arch = ARCHES[arch]
    pe = read_pe(data)
    if (pe['machine'], pe['magic']) != (machine, magic):
        problems.append(f'machine {pe["machine"]:#x} / magic {pe["magic"]:#x}, expected '
                        f'{machine:#x} / {magic:#x}')
    if pe['subsystem'] != 2:
        problems.append(f'subsystem {pe["subsystem"]}, expected 2 (Windows GUI)')
    if pe['timestamp'] != 0:
        problems.append(f'link timestamp {pe["timestamp"]:#x}, expected 0')
    foreign = [name for name in imports(data, pe) if name.lower() not in SYSTEM_DLLS]
    if foreign:
        problems.append(f'imports DLLs that are not the system\'s: {foreign}')

    found, stamps = resources(data, pe)
    if any(stamps):
        problems.append(f'resource directory timestamps {stamps}, expected 0')
    expected = {(RT_MANIFEST, 1, ENGLISH_US), (RT_VERSION, 1, JAPANESE),
                (RT_DIALOG, settings['dialog'], JAPANESE),
                ('BIN', settings['package'], JAPANESE)}
    if settings['icons']:
        expected |= {(RT_GROUP_ICON, group, JAPANESE) for group in ICON_GROUPS}
        expected |= {(RT_ICON, i, JAPANESE) for ids in ICON_GROUPS.values() for i in ids}
    for key in sorted(expected - set(found), key=str):
        problems.append(f'missing resource type {key[0]!r} name {key[1]!r} language {key[2]}')
    for key in sorted(set(found) - expected, key=str):
        problems.append(f'unexpected resource type {key[0]!r} name {key[1]!r} '
                        f'language {key[2]}')

    def resource(key):
        if key not in found:
            return None
        at, size, _ = found[key]
        return data[at:at + size]

    manifest = resource((RT_MANIFEST, 1, ENGLISH_US))
    if manifest is not None:
        try:
            if canonical_xml(manifest) != canonical_xml(MANIFEST.format(arch=manifest_arch)):
                problems.append('manifest differs:\n' + manifest.decode('utf-8', 'replace'))
        except ET.ParseError as error:
            problems.append(f'manifest is not XML: {error}')
    version = resource((RT_VERSION, 1, JAPANESE))
    if version is not None:
        compare('version', parse_version(version),
                expected_version(os.path.basename(path)), problems)
    dialog = resource((RT_DIALOG, settings['dialog'], JAPANESE))
    if dialog is not None:
        parsed = parse_dialog(dialog)
        items = parsed.pop('items')
        expected_dialog = dict(EXPECTED_DIALOG)
        expected_items = expected_dialog.pop('items')
        compare('dialog', parsed, expected_dialog, problems)
        if len(items) == len(expected_items):
            for i, (item, wanted) in enumerate(zip(items, expected_items)):
                compare(f'dialog control {i}', item, wanted, problems)
    if settings['icons']:
        check_icons(data, found, problems)
    package = resource(('BIN', settings['package'], JAPANESE))
    if package is not None:
        try:
            with open(package_path, 'rb') as f:
                built = f.read()
        except OSError as error:
            problems.append(f'cannot read the built package: {error}')
        else:
            if package != built:
                problems.append(f'package resource ({len(package)} bytes) differs from '
                                f'{package_path} ({len(built)} bytes)')
    return problems


def check(exe_dir, arch, package_dir):
    problems = []
    for edition, settings in EDITIONS.items():
        path = os.path.join(exe_dir, edition + '.exe')
        try:
            found = check_edition(path, arch, os.path.join(package_dir,
                                                           settings['package_file']),
                                  settings)
        except (OSError, Malformed, struct.error, ValueError) as error:
            found = [f'cannot read: {error}']
        problems += [f'{edition}.exe: {problem}' for problem in found]
    return problems


def main(argv):
    if len(argv) not in (3, 4) or argv[2] not in ARCHES:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    exe_dir, arch = argv[1], argv[2]
    package_dir = argv[3] if len(argv) == 4 else os.path.join(exe_dir, '..', 'resources')
    problems = check(exe_dir, arch, package_dir)
    for problem in problems:
        print(problem)
    if problems:
        return 1
    print(f'{arch}: both editions as expected')
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
