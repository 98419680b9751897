#!/usr/bin/env python3
"""Shows that check_resources.py notices faults: each case damages a copy of
the built editions in one way and expects the check to name it.

    check_resources_test.py EXE_DIR ARCH PACKAGE_DIR
"""
import os
import shutil
import struct
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_resources as cr  # noqa: E402

EXE_DIR = ARCH = PACKAGE_DIR = None


def replace_in_resource(key, old, new):
    """A mutation that replaces bytes inside one resource."""
    assert len(old) == len(new)

    def mutate(data, pe, found):
        at, size, _ = found[key]
        where = data.find(old, at, at + size)
        assert where >= 0, f'{old!r} not in resource {key}'
        data[where:where + len(old)] = new
    return mutate


def set_header(field, value):
    def mutate(data, pe, found):
        struct.pack_into('<I' if field == 'timestamp' else '<H', data, pe[field + '_at'], value)
    return mutate


def flip_last_byte(key):
    def mutate(data, pe, found):
        at, size, _ = found[key]
        data[at + size - 1] ^= 0xFF
    return mutate


def utf16(text):
    return text.encode('utf-16-le')


# (case, edition, mutation, words the check must report)
CASES = [
    ('link timestamp', 'tivarn_patch104', set_header('timestamp', 0x5A000000),
     'link timestamp'),
    ('console subsystem', 'tivarn_append104', set_header('subsystem', 3), 'subsystem 3'),
    ('manifest content', 'tivarn_patch104',
     replace_in_resource((24, 1, 0x409), b'requireAdministrator', b'requireAdministratoR'),
     'manifest differs'),
    ('version string', 'tivarn_append104',
     replace_in_resource((16, 1, 0x411), utf16('PATCH.EXE'), utf16('PATCH.EXX')),
     'string InternalName'),
    ('version flags mask', 'tivarn_patch104',
     replace_in_resource((16, 1, 0x411), struct.pack('<II', 0x17, 0), struct.pack('<II', 0x3F, 0)),
     'fileFlagsMask'),
    ('dialog style', 'tivarn_patch104',
     replace_in_resource((5, 1178, 0x411), struct.pack('<I', 0x80C800C8),
                         struct.pack('<I', 0x90C800C8)),
     'dialog style'),
    ('control text', 'tivarn_append104',
     replace_in_resource((5, 102, 0x411), utf16('お待ち'), utf16('お持ち')),
     'dialog control 0 title'),
    ('icon copy differs', 'tivarn_append104', flip_last_byte((3, 16, 0x411)),
     'group 108: images differ'),
    ('package bytes', 'tivarn_append104', flip_last_byte(('BIN', 132, 0x411)),
     'package resource'),
]


class CheckerNoticesFaults(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()
        for edition in cr.EDITIONS:
            shutil.copy(os.path.join(EXE_DIR, edition + '.exe'), self.folder)

    def tearDown(self):
        shutil.rmtree(self.folder)

    def test_built_editions_pass(self):
        self.assertEqual(cr.check(self.folder, ARCH, PACKAGE_DIR), [])

    def test_other_architecture_fails(self):
        other = 'x86' if ARCH == 'x64' else 'x64'
        problems = '\n'.join(cr.check(self.folder, other, PACKAGE_DIR))
        self.assertIn('machine', problems)
        self.assertIn('manifest differs', problems)

    def test_damaged_copies_fail(self):
        for name, edition, mutate, expected in CASES:
            with self.subTest(name):
                path = os.path.join(self.folder, edition + '.exe')
                shutil.copy(os.path.join(EXE_DIR, edition + '.exe'), path)
                with open(path, 'rb') as f:
                    data = bytearray(f.read())
                pe = cr.read_pe(data)
                found, _ = cr.resources(data, pe)
                mutate(data, pe, found)
                with open(path, 'wb') as f:
                    f.write(data)
                problems = cr.check(self.folder, ARCH, PACKAGE_DIR)
                shutil.copy(os.path.join(EXE_DIR, edition + '.exe'), path)
                self.assertTrue(any(expected in p and p.startswith(edition) for p in problems),
                                f'expected "{expected}" for {edition}, got {problems}')


if __name__ == '__main__':
    if len(sys.argv) < 4:
        print(__doc__.strip().splitlines()[-1].strip(), file=sys.stderr)
        sys.exit(2)
    EXE_DIR, ARCH, PACKAGE_DIR = sys.argv[1:4]
    unittest.main(argv=sys.argv[:1] + sys.argv[4:])
