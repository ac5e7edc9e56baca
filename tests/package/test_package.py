#!/usr/bin/python3
"""Checks the release package as a user gets it: unpacks the zip, reads the programs' version
resources and manifests with pefile, and runs both programs under wine.

Usage: test_package.py dist/mefwupdate-<version>-win64.zip
Environment: WINEPREFIX, a prepared wine prefix (the Windows tests leave one).
"""

import os
import pathlib
import re
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree
import zipfile

import pefile

ZIP = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "")
VERSION = re.fullmatch(r"mefwupdate-(.+)-win64\.zip", ZIP.name).group(1)
NAME = "mefwupdate-%s-win64" % VERSION
MANIFEST_TYPE = 24
WINDOWS_10_AND_11 = "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"


def run_under_wine(folder, *args):
    """Runs a program under wine; output goes through a file, never a pipe that a wine
    server started by this run could hold open."""
    with tempfile.TemporaryFile() as output:
        env = dict(os.environ, WINEDEBUG="-all")
        code = subprocess.run(["wine", *args], cwd=folder, stdin=subprocess.DEVNULL,
                              stdout=output, stderr=subprocess.STDOUT, env=env,
                              timeout=300).returncode
        output.seek(0)
        return code, output.read().decode("latin-1").replace("\r\n", "\n")


def manifest_of(pe):
    for resource_type in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if resource_type.id != MANIFEST_TYPE:
            continue
        language = resource_type.directory.entries[0].directory.entries[0]
        data = language.data.struct
        return ElementTree.fromstring(pe.get_data(data.OffsetToData, data.Size))
    return None


def version_strings(pe):
    strings = {}
    for info in pe.FileInfo[0]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    return strings


def fixed_version(pe):
    fixed = pe.VS_FIXEDFILEINFO[0]
    return "%d.%d.%d.%d" % (fixed.ProductVersionMS >> 16, fixed.ProductVersionMS & 0xFFFF,
                            fixed.ProductVersionLS >> 16, fixed.ProductVersionLS & 0xFFFF)


class Package(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.temporary = tempfile.TemporaryDirectory(prefix="mefw-package-")
        with zipfile.ZipFile(ZIP) as package:
            cls.names = set(package.namelist())
            package.extractall(cls.temporary.name)
        cls.root = pathlib.Path(cls.temporary.name) / NAME

    @classmethod
    def tearDownClass(cls):
        cls.temporary.cleanup()

    def test_holds_the_programs_the_guides_and_a_kitbox_template(self):
        pages = ["docs/%s.md" % page for page in ["options-and-exit-codes", "kitbox",
                                                  "what-runs", "records", "mefwkit",
                                                  "deployment"]]
        for name in ["mefwupdate.exe", "mefwkit.exe", "README.md", *pages,
                     "docs/platforms.txt", "kitbox-template/input.txt",
                     "kitbox-template/README.htm", "kitbox-template/ME_Flash/Local-Win/",
                     "kitbox-template/MEInfo/Win/WINDOWS64/"]:
            self.assertIn(NAME + "/" + name, self.names)
        # Intel's tools and images are not ours to ship, nor is the developers' page.
        self.assertFalse([n for n in self.names if n.lower().endswith((".bin", "64.exe"))])
        self.assertNotIn(NAME + "/docs/development.md", self.names)

    def test_every_link_between_the_pages_leads_somewhere_in_the_package(self):
        checker = pathlib.Path(__file__).resolve().parents[2] / "scripts" / "check-doc-links"
        pages = [self.root / "README.md", *sorted((self.root / "docs").glob("*.md"))]
        result = subprocess.run([sys.executable, str(checker), *map(str, pages)],
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60)
        self.assertEqual(result.returncode, 0, result.stdout.decode())

    def test_version_resources_and_manifests(self):
        levels = {"mefwupdate.exe": "requireAdministrator", "mefwkit.exe": "asInvoker"}
        for program, level in levels.items():
            pe = pefile.PE(str(self.root / program))
            strings = version_strings(pe)
            self.assertEqual(strings["ProductVersion"], VERSION, program)
            self.assertEqual(strings["FileVersion"], VERSION, program)
            self.assertEqual(strings["OriginalFilename"], program)
            self.assertEqual(fixed_version(pe), VERSION + ".0", program)
            # Stripped: no COFF symbol table left.
            self.assertEqual(pe.FILE_HEADER.NumberOfSymbols, 0, program)
            manifest = manifest_of(pe)
            self.assertIsNotNone(manifest, program)
            execution = manifest.find(
                ASM_V3 + "trustInfo/" + ASM_V3 + "security/" + ASM_V3 + "requestedPrivileges/" +
                ASM_V3 + "requestedExecutionLevel")
            self.assertEqual(execution.get("level"), level, program)
            systems = [os.get("Id") for os in manifest.iter(COMPATIBILITY + "supportedOS")]
            self.assertEqual(systems, [WINDOWS_10_AND_11], program)

    def test_the_installer_runs_and_shows_its_version(self):
        code, output = run_under_wine(self.root, str(self.root / "mefwupdate.exe"), "-s", "-h")
        self.assertEqual(code, 1, output)
        self.assertTrue(output.startswith("\nME firmware updating tool v%s\n\n" % VERSION), output)
        self.assertIn("-s|-silent", output)

    def test_the_kit_tool_checks_the_template(self):
        template = self.root / "kitbox-template"
        code, output = run_under_wine(template, str(self.root / "mefwkit.exe"), "check")
        # The template lacks only what the kit author adds: the installer, Intel's tools and
        # the images.
        self.assertEqual(output.splitlines(), [
            "input.txt:16: error 1002h: profile 0: File 11.8.55.3510.bin does not appear to "
            "exist in ME_Flash\\.",
            "Kitbox: warning: mefwupdate.exe is missing: copy it from the release into the "
            "Kitbox, beside input.txt, before the Kitbox is deployed",
            "Kitbox: error 1002h: every run fails: File FwUpdLcl64.exe does not appear to exist "
            "in ME_Flash\\Local-Win\\.",
            "Kitbox: note 1002h: MEInfoWin64.exe is missing from MEInfo\\Win\\WINDOWS64\\: "
            "-meinfo and -systeminfo fail with 1002h",
            "2 errors, 1 warning, 1 note; 1 profile."])
        self.assertEqual(code, 2)
        code, output = run_under_wine(template, str(self.root / "mefwkit.exe"), "--help")
        self.assertEqual(code, 0, output)
        self.assertIn("mefwkit plan [KITBOX]", output)
        code, output = run_under_wine(template, str(self.root / "mefwkit.exe"), "--version")
        self.assertEqual((code, output.strip()), (0, "mefwkit " + VERSION))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
