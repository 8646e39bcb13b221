#!/usr/bin/env python3
"""The stand-in images against the catalogue, the payload folder check against the stand-ins
and against damaged copies of them, and a configure that is given a damaged folder."""

import hashlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

SOURCE_DIR = os.environ.get("VTF_SOURCE_DIR") or os.path.abspath(
    os.path.join(os.path.dirname(__file__), "..", ".."))
TOOLS_DIR = os.path.join(SOURCE_DIR, "tools")
MAKE = os.path.join(TOOLS_DIR, "make_standin_payloads.py")
CHECK = os.path.join(TOOLS_DIR, "check_payload_folder.py")
sys.path.insert(0, TOOLS_DIR)
import make_standin_payloads as standins  # noqa: E402


def pe_header(machine=0x8664, optional_magic=0x20B, subsystem=3):
    """The first bytes of a Windows program: all the check reads, nothing that runs."""
    pe = 0x80
    data = bytearray(0x200)
    data[0:2] = b"MZ"
    struct.pack_into("<I", data, 0x3C, pe)
    data[pe:pe + 4] = b"PE\0\0"
    struct.pack_into("<HH", data, pe + 4, machine, 0)
    struct.pack_into("<H", data, pe + 20, 240)  # size of the optional header
    struct.pack_into("<H", data, pe + 24, optional_magic)
    struct.pack_into("<H", data, pe + 24 + 68, subsystem)
    return bytes(data)


def make_folder(folder):
    subprocess.run([sys.executable, MAKE, folder], check=True)
    with open(os.path.join(folder, "esptool.exe"), "wb") as f:
        f.write(pe_header())


def run_check(folder, *extra):
    result = subprocess.run([sys.executable, CHECK, folder, *extra], capture_output=True,
                            text=True)
    return result.returncode, result.stderr.splitlines()


# Damages, each applied to its own copy of a good folder.

def patch(offset, value):
    def apply(data):
        data = bytearray(data)
        data[offset:offset + len(value)] = value
        return bytes(data)
    return apply


def with_digest(change):
    """A change to an image whose appended SHA-256 is then made to agree again."""
    def apply(data):
        body = change(data)[:-32]
        return body + hashlib.sha256(body).digest()
    return apply


def with_md5(change):
    """A change to a partition table whose checksum entry is then made to agree again."""
    def apply(data):
        data = bytearray(change(data))
        data[0xC0 + 16:0xC0 + 32] = hashlib.md5(data[:0xC0]).digest()
        return bytes(data)
    return apply


def content_of(file_name):
    def apply(_, folder):
        with open(os.path.join(folder, file_name), "rb") as f:
            return f.read()
    apply.needs_folder = True
    return apply


def oversized_c2_bootloader(_):
    # Well formed in every other way, but 0x7010 bytes from 0x1000 end past 0x8000.
    chip_id, entry, _, plan, version = standins.IMAGES["C2_BOOT"]
    return standins.make_image("C2_BOOT", chip_id, entry, 0x7010, plan, version)


DELETE = None
SPIFFS_LABEL = 0x80 + 12
S3_APP0_SIZE = 0x40 + 8

# (damaged file, damage, file the check must blame, words its message must hold)
DAMAGES = [
    ("c2_partitions.bin", DELETE, "c2_partitions.bin", "missing"),
    ("s3_firmware.bin", DELETE, "s3_firmware.bin", "missing"),
    ("esptool.exe", lambda _: b"\x7fELF" + bytes(0x200), "esptool.exe", "no MZ header"),
    ("esptool.exe", lambda _: pe_header(machine=0x14C, optional_magic=0x10B), "esptool.exe",
     "not x86-64"),
    ("esptool.exe", lambda _: pe_header(optional_magic=0x10B), "esptool.exe",
     "not a PE32+ executable"),
    ("esptool.exe", lambda _: pe_header(subsystem=2), "esptool.exe",
     "subsystem 2: not a console program"),
    ("c2_bootloader.bin", patch(0, b"\xE8"), "c2_bootloader.bin", "image magic 0xE8, not 0xE9"),
    ("s3_firmware.bin", content_of("c2_firmware.bin"), "s3_firmware.bin",
     "header chip id 0, but the M5Stick S3 needs 9 (ESP32-S3)"),
    ("c2_bootloader.bin", content_of("s3_bootloader.bin"), "c2_bootloader.bin",
     "header chip id 9, but the M5Stick C Plus 2 needs 0 (ESP32)"),
    ("s3_bootloader.bin", with_digest(patch(24 + 8 + 10, b"\x00\x00")), "s3_bootloader.bin",
     "checksum byte"),
    ("c2_firmware.bin", lambda data: data[:-1] + bytes([data[-1] ^ 1]), "c2_firmware.bin",
     "appended SHA-256 digest does not match"),
    ("c2_firmware.bin", lambda data: data[:-20], "c2_firmware.bin",
     "file ends inside the appended SHA-256 digest"),
    ("c2_bootloader.bin", oversized_c2_bootloader, "c2_bootloader.bin",
     "from 0x1000 the bootloader ends at 0x8010"),
    ("s3_partitions.bin", lambda data: data[:3040], "s3_partitions.bin",
     "3040 bytes, a partition table is 3072"),
    ("c2_partitions.bin", patch(0x40, b"\xAB"), "c2_partitions.bin", "entry at 0x40 has magic AB 50"),
    ("c2_partitions.bin", patch(SPIFFS_LABEL, b"x"), "c2_partitions.bin",
     "MD5 in the checksum entry at 0xC0 does not match"),
    ("s3_partitions.bin", patch(0x800, b"\x00"), "s3_partitions.bin",
     "byte at 0x800 after the entries is 0x00, not 0xFF"),
    ("s3_partitions.bin", with_md5(patch(S3_APP0_SIZE, struct.pack("<I", 0x80000))),
     "s3_firmware.bin", "725328 bytes do not fit \"app0\" of s3_partitions.bin (524288 bytes)"),
]


class PayloadFolderTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="vtf-payloads-")
        cls.good = os.path.join(cls.scratch, "good")
        make_folder(cls.good)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch)

    def damaged_copy(self, name, file_name, damage):
        folder = os.path.join(self.scratch, name)
        shutil.copytree(self.good, folder)
        path = os.path.join(folder, file_name)
        if damage is DELETE:
            os.remove(path)
            return folder
        with open(path, "rb") as f:
            data = f.read()
        data = damage(data, folder) if getattr(damage, "needs_folder", False) else damage(data)
        with open(path, "wb") as f:
            f.write(data)
        return folder

    def test_stand_ins_pass_the_check(self):
        stamp = os.path.join(self.scratch, "checked")
        self.assertEqual(run_check(self.good, stamp), (0, []))
        self.assertTrue(os.path.exists(stamp))

    def test_stand_ins_have_the_catalogues_sizes_headers_and_tables(self):
        # (size, segment count, entry address, chip id) from the catalogue.
        images = {
            "c2_bootloader.bin": (17568, 3, 0x400805E4, 0),
            "c2_firmware.bin": (824416, 7, 0x400835C8, 0),
            "s3_bootloader.bin": (15104, 3, 0x403C98D0, 9),
            "s3_firmware.bin": (725328, 6, 0x403772A0, 9),
        }
        for file_name, (size, segments, entry, chip_id) in images.items():
            with self.subTest(file_name):
                with open(os.path.join(self.good, file_name), "rb") as f:
                    data = f.read()
                self.assertEqual(len(data), size)
                self.assertEqual(
                    struct.unpack_from("<BBBBIB3sHBHH4sB", data),
                    (0xE9, segments, 2, 0x3F, entry, 0xEE, bytes(3), chip_id, 0, 0, 0xFFFF,
                     bytes(4), 1))
                if "firmware" in file_name:
                    # The description record opens the first segment's data.
                    magic, = struct.unpack_from("<I", data, 32)
                    self.assertEqual(magic, 0xABCD5432)
                    self.assertEqual(data[32 + 112:32 + 144].rstrip(b"\0"), b"v4.4.7")
        tables = {
            "c2_partitions.bin": [(b"nvs", 1, 2, 0x9000, 0x5000), (b"otadata", 1, 0, 0xE000, 0x2000),
                                  (b"app0", 0, 0x10, 0x10000, 0x330000),
                                  (b"app1", 0, 0x11, 0x340000, 0x330000),
                                  (b"spiffs", 1, 0x82, 0x670000, 0x180000),
                                  (b"coredump", 1, 3, 0x7F0000, 0x10000)],
            "s3_partitions.bin": [(b"nvs", 1, 2, 0x9000, 0x5000), (b"otadata", 1, 0, 0xE000, 0x2000),
                                  (b"app0", 0, 0x10, 0x10000, 0x140000),
                                  (b"app1", 0, 0x11, 0x150000, 0x140000),
                                  (b"spiffs", 1, 0x82, 0x290000, 0x160000),
                                  (b"coredump", 1, 3, 0x3F0000, 0x10000)],
        }
        for file_name, rows in tables.items():
            with self.subTest(file_name):
                with open(os.path.join(self.good, file_name), "rb") as f:
                    data = f.read()
                self.assertEqual(len(data), 3072)
                entries = [struct.unpack_from("<2sBBII16sI", data, 32 * i) for i in range(6)]
                self.assertEqual([(m, t, s, o, n, l.rstrip(b"\0"), fl)
                                  for m, t, s, o, n, l, fl in entries],
                                 [(b"\xAA\x50", t, s, o, n, l, 0) for l, t, s, o, n in rows])
                self.assertEqual(data[0xC0:0xD0], b"\xEB\xEB" + b"\xFF" * 14)
                self.assertEqual(data[0xE0:], b"\xFF" * 2848)

    def test_stand_ins_are_the_same_bytes_every_time(self):
        again = os.path.join(self.scratch, "again")
        subprocess.run([sys.executable, MAKE, again], check=True)
        for file_name in os.listdir(again):
            with open(os.path.join(again, file_name), "rb") as a, \
                    open(os.path.join(self.good, file_name), "rb") as b:
                self.assertTrue(a.read() == b.read(), file_name)

    def test_each_damage_fails_the_check_naming_the_file_and_the_fault(self):
        for number, (file_name, damage, blamed, words) in enumerate(DAMAGES):
            with self.subTest(file=file_name, expected=words):
                folder = self.damaged_copy("damage%d" % number, file_name, damage)
                status, lines = run_check(folder)
                self.assertEqual(status, 1)
                self.assertTrue(lines)
                # The fault is put on the right file, and on no other.
                blamed_path = os.path.join(folder, blamed) + ": "
                for line in lines:
                    self.assertIn(blamed_path, line)
                self.assertTrue(any(words in line for line in lines), lines)

    def test_configure_stops_at_a_wrong_chip_image(self):
        if shutil.which("x86_64-w64-mingw32-g++-posix") is None:
            self.skipTest("no mingw-w64 cross compiler")
        folder = self.damaged_copy("release", "s3_firmware.bin", content_of("c2_firmware.bin"))
        build = os.path.join(self.scratch, "build")
        result = subprocess.run(
            [os.environ.get("VTF_CMAKE", "cmake"), "-S", SOURCE_DIR, "-B", build, "-G", "Ninja",
             "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(SOURCE_DIR, "cmake",
                                                      "mingw-w64-x86_64.cmake"),
             "-DVTF_PAYLOAD_DIR=" + folder],
            capture_output=True, text=True)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("VTF_PAYLOAD_DIR does not hold payloads fit to embed", result.stderr)
        self.assertIn(os.path.join(folder, "s3_firmware.bin") + ": header chip id 0",
                      result.stderr)
        self.assertFalse(os.path.exists(os.path.join(build, "build.ninja")))


if __name__ == "__main__":
    unittest.main()
