#!/usr/bin/env python3
"""Tests of the tools that make what is handed out: the archive packer
(cmake/pack_zip.py), the firmware image's checks (cmake/FirmwareImage.cmake)
and the package (package/make_package.py)."""
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile
import zlib

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "cmake"))
sys.path.insert(0, os.path.join(ROOT, "package"))
import make_package  # noqa: E402
import pack_zip  # noqa: E402

CMAKE = os.environ.get("CMAKE_COMMAND", "cmake")
FIRMWARE_CHECK = os.path.join(ROOT, "cmake", "FirmwareImage.cmake")


def noise(blocks):
    """Bytes that do not deflate (SHA-256 in counter mode)."""
    return b"".join(hashlib.sha256(i.to_bytes(4, "big")).digest() for i in range(blocks))


def central_entries(archive):
    """(flags, made-by, external attributes, raw name, extra) per central directory entry."""
    count, size, offset = struct.unpack_from("<HII", archive, len(archive) - 22 + 10)
    at, found = offset, []
    for _ in range(count):
        made_by, flags = struct.unpack_from("<HxxH", archive, at + 4)
        name_len, extra_len, comment_len = struct.unpack_from("<HHH", archive, at + 28)
        external = struct.unpack_from("<I", archive, at + 38)[0]
        name = archive[at + 46:at + 46 + name_len]
        extra = archive[at + 46 + name_len:at + 46 + name_len + extra_len]
        found.append((flags, made_by, external, name, extra))
        at += 46 + name_len + extra_len + comment_len
    return found


class ScratchTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="release-tools-")
        self.addCleanup(shutil.rmtree, self.dir)

    def path(self, name, data=None, size=None):
        path = os.path.join(self.dir, name)
        if data is not None:
            with open(path, "wb") as f:
                f.write(data)
        if size is not None:
            with open(path, "wb") as f:
                f.truncate(size)  # sparse: large sizes cost nothing
        return path


class PackZipTest(ScratchTest):
    def test_archives_read_back_the_same_and_carry_nothing_of_the_machine(self):
        cases = [
            ("one text", [("a.xml", b"<Window>" * 100)]),
            ("order as given, not sorted", [("z.txt", b"z"), ("a/b.png", noise(64)), ("m.txt", b"")]),
            ("a Chinese name", [("repair.exe", b"MZ" + noise(64)), ("使用说明.txt", "说明".encode("utf-8"))]),
        ]
        for label, entries in cases:
            with self.subTest(label):
                archive = pack_zip.pack(entries)
                self.assertEqual(archive, pack_zip.pack(entries), "not the same bytes twice")
                out = self.path("out.zip", archive)
                with zipfile.ZipFile(out) as z:
                    self.assertIsNone(z.testzip())
                    infos = z.infolist()
                    self.assertEqual([z.read(i) for i in infos], [data for _, data in entries])
                    self.assertEqual({i.date_time for i in infos}, {(2024, 1, 1, 0, 0, 0)})
                for (flags, made_by, external, raw, extra), (name, _) in zip(central_entries(archive), entries):
                    self.assertEqual((made_by >> 8, external, flags), (0, 0, 0), name)
                    if name.isascii():
                        self.assertEqual((raw, extra), (name.encode(), b""))

    def test_a_name_outside_ascii_is_code_page_936_with_its_utf8_spelling_beside(self):
        name = "使用说明.txt"
        (flags, _, _, raw, extra), = central_entries(pack_zip.pack([(name, b"x")]))
        self.assertEqual(raw, name.encode("cp936"))
        self.assertFalse(flags & 0x800, "the UTF-8 flag would make old tools misread the name")
        tag, size, version, crc = struct.unpack_from("<HHBI", extra)
        self.assertEqual((tag, size, version, crc), (0x7075, 5 + len(name.encode("utf-8")), 1, zlib.crc32(raw)))
        self.assertEqual(extra[9:].decode("utf-8"), name)

    def test_incompressible_data_is_stored_and_text_deflated(self):
        with zipfile.ZipFile(self.path("m.zip", pack_zip.pack([("n", noise(32)), ("t", b"a" * 1000)]))) as z:
            self.assertEqual([i.compress_type for i in z.infolist()], [zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED])

    def test_bad_entries_are_refused(self):
        cases = [
            ("twice", [("a", b""), ("a", b"")]),
            ("backslash", [("skin\\bk.png", b"")]),
            ("absolute", [("/etc/x", b"")]),
            ("empty name", [("", b"")]),
            ("no code page 936 spelling", [("\U0001F600.txt", b"")]),
        ]
        for label, entries in cases:
            with self.subTest(label), self.assertRaises(pack_zip.PackError):
                pack_zip.pack(entries)

    def test_a_failed_run_leaves_no_archive(self):
        out = self.path("out.zip")
        self.assertEqual(pack_zip.main(["pack_zip.py", out, "a=" + self.path("missing")]), 1)
        self.assertEqual(os.listdir(self.dir), [])


class FirmwareImageTest(ScratchTest):
    LIMIT = 33553919  # 65535 blocks of 512 bytes, the last one short

    def run_check(self, image, test_image="FALSE"):
        header = self.path("firmware_info.h")
        result = subprocess.run([CMAKE, f"-DIMAGE={image}", f"-DHEADER={header}", f"-DTEST_IMAGE={test_image}",
                                 "-P", FIRMWARE_CHECK], capture_output=True, text=True)
        text = open(header).read() if os.path.exists(header) else None
        return result.returncode, result.stdout + result.stderr, text

    def test_images_the_box_cannot_take_are_refused_with_the_reason(self):
        os.mkdir(self.path("folder.bin"))
        cases = [
            ("missing", self.path("missing.bin"), "no such file"),
            ("a folder", self.path("folder.bin"), "is a folder"),
            ("empty", self.path("empty.bin", b""), "the file is empty"),
            ("one byte over", self.path("big.bin", size=self.LIMIT + 1),
             f"{self.LIMIT + 1} bytes is more than the box can take by TFTP: at most {self.LIMIT} bytes"),
        ]
        for label, image, reason in cases:
            with self.subTest(label):
                rc, output, header = self.run_check(image)
                self.assertNotEqual(rc, 0)
                self.assertIn("REPAIR_FIRMWARE_IMAGE: " + image, output)
                self.assertIn(reason, " ".join(output.split()))
                self.assertIsNone(header, "no header for a refused image")

    def test_an_accepted_image_is_printed_and_described_to_the_program(self):
        cases = [
            ("the largest", self.path("limit.bin", size=self.LIMIT), "FALSE", 0),
            ("a test image", self.path("test.bin", b"TEST FIRMWARE IMAGE"), "TRUE", 1),
        ]
        for label, image, test_image, is_test in cases:
            with self.subTest(label):
                rc, output, header = self.run_check(image, test_image)
                self.assertEqual(rc, 0, output)
                with open(image, "rb") as f:
                    data = f.read()
                sha256 = hashlib.sha256(data).hexdigest()
                self.assertIn(f"{len(data)} bytes, SHA-256 {sha256}", output)
                self.assertIn(f"#define REPAIR_FIRMWARE_SIZE {len(data)}u\n", header)
                self.assertIn(f'#define REPAIR_FIRMWARE_SHA256 "{sha256}"\n', header)
                self.assertIn(f"#define REPAIR_FIRMWARE_IS_TEST {is_test}\n", header)


class PackageTest(ScratchTest):
    def make(self, *extra):
        exe = self.path("repair.exe", b"MZ" + b"\0" * 1000)
        guide = self.path("guide.txt", "DEzed 修复向导 @VERSION@\n一、做什么\r\n".encode("utf-8"))
        out = os.path.join(self.dir, "dist")
        args = ["make_package.py", "--exe", exe, "--guide", guide, "--product", "DEzed-repair",
                "--version", "1.2.3", "--out", out, *extra]
        return make_package.main(args), out

    def test_the_package_holds_the_program_the_guide_and_their_sums(self):
        for extra, name in [((), "DEzed-repair-1.2.3.zip"), (("--test-image",), "DEzed-repair-1.2.3-test-image.zip")]:
            with self.subTest(name):
                rc, out = self.make(*extra)
                self.assertEqual(rc, 0)
                self.assertEqual(sorted(os.listdir(out)), [name, name + ".sha256"])
                path = os.path.join(out, name)
                with open(path, "rb") as f:
                    archive = f.read()
                with open(path + ".sha256") as f:
                    self.assertEqual(f.read(), f"{hashlib.sha256(archive).hexdigest()}  {name}\n")
                names = [raw.decode("cp936") for _, _, _, raw, _ in central_entries(archive)]
                self.assertEqual(names, ["repair.exe", "使用说明.txt", "SHA256SUMS.txt"])
                with zipfile.ZipFile(path) as z:
                    exe, guide, sums = (z.read(i) for i in z.infolist())
                self.assertEqual(guide, "\ufeffDEzed 修复向导 1.2.3\r\n一、做什么\r\n".encode("utf-8"))
                self.assertEqual(sums.decode("utf-8").splitlines(), [
                    f"{hashlib.sha256(exe).hexdigest()}  repair.exe",
                    f"{hashlib.sha256(guide).hexdigest()}  使用说明.txt"])
                first = archive
                self.assertEqual(self.make(*extra)[0], 0)
                with open(path, "rb") as f:
                    self.assertEqual(f.read(), first, "not the same bytes twice")
                shutil.rmtree(out)

    def test_a_missing_program_writes_nothing(self):
        out = os.path.join(self.dir, "dist")
        rc = make_package.main(["make_package.py", "--exe", self.path("repair.exe"), "--guide", self.path("g", b""),
                                "--product", "P", "--version", "1.0.0", "--out", out])
        self.assertEqual(rc, 1)
        self.assertFalse(os.path.exists(out))


if __name__ == "__main__":
    unittest.main()
