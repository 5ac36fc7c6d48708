"""What the Windows installation's own files say about themselves: the version resource
of the program and of both DLLs (the project's version, the company, the names) and the
program's manifest. Read from the files' bytes; nothing is run."""

import os
import re
import struct
import unittest

from harness import WINDOWS, install_root

# VS_FIXEDFILEINFO begins with this signature.
FIXED_INFO_SIGNATURE = struct.pack("<I", 0xFEEF04BD)
# Windows 10 and 11, Windows Server 2016 and later.
WINDOWS_10 = b'<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>'


def version_string(data, name):
    """The value of name in the version resource's string table, or None: the key in
    UTF-16, its terminator, padding to four bytes, then the value up to its terminator."""
    key = name.encode("utf-16-le") + b"\0\0"
    start = data.find(key)
    if start < 0:
        return None
    value = start + len(key)
    value += (4 - value % 4) % 4
    end = value
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[value:end].decode("utf-16-le")


def fixed_version(data):
    """The file version of VS_FIXEDFILEINFO as four numbers."""
    at = data.find(FIXED_INFO_SIGNATURE)
    most, least = struct.unpack_from("<II", data, at + 8)
    return (most >> 16, most & 0xFFFF, least >> 16, least & 0xFFFF)


@unittest.skipUnless(WINDOWS, "the Windows installation only")
class WindowsFilesTest(unittest.TestCase):

    def read(self, name):
        with open(os.path.join(install_root(), "bin", name), "rb") as binary:
            return binary.read()

    def test_version_resources(self):
        version = os.environ["CORVANE_VERSION"]
        numbers = tuple(int(part) for part in (version + ".0.0.0").split(".")[:4])
        file_version = ".".join(str(number) for number in numbers)
        for name, description in (("CorvanePing.exe", "Corvane Ping Utility"),
                                  ("CorvaneCommon.dll", "Corvane agent common library"),
                                  ("CommunicationAPI.dll", "Corvane agent communication module")):
            with self.subTest(name):
                data = self.read(name)
                self.assertEqual(fixed_version(data), numbers)
                strings = {key: version_string(data, key) for key in
                           ("OriginalFilename", "FileDescription", "FileVersion",
                            "ProductVersion", "CompanyName", "ProductName")}
                self.assertEqual(strings, {
                    "OriginalFilename": name, "FileDescription": description,
                    "FileVersion": file_version, "ProductVersion": version,
                    "CompanyName": "Corvane", "ProductName": "CorvanePing"})
                self.assertRegex(version_string(data, "LegalCopyright"),
                                 r"^Copyright \(C\) \d{4} Corvane$")

    def test_manifest(self):
        data = self.read("CorvanePing.exe")
        manifest = re.search(rb"<assembly .*?</assembly>", data, re.DOTALL)
        self.assertIsNotNone(manifest, "the program carries no manifest")
        text = manifest.group(0)
        for wanted in (b'<requestedExecutionLevel level="asInvoker" uiAccess="false"/>',
                       WINDOWS_10, b">true</longPathAware>"):
            with self.subTest(wanted.decode()):
                self.assertIn(wanted, text)


if __name__ == "__main__":
    unittest.main()
