"""Runs the simulated tools as the installer does, each in a fresh working folder, and checks
the bytes they print, their exit status and the calls they record.

Environment (set by CTest): MEFW_SIM_DIR, the folder of the built programs; for the Windows
build also MEFW_WINE=1 and WINEPREFIX, and the programs then run under wine.
"""

import os
import pathlib
import re
import shutil
import subprocess
import tempfile
import time
import unittest

SIM_DIR = pathlib.Path(os.environ["MEFW_SIM_DIR"])
WINE = os.environ.get("MEFW_WINE") == "1"
EXE = ".exe" if WINE else ""

BANNER = (b"\r\nIntel (R) Firmware Update Utility Version: 11.8.50.3425\r\n"
          b"Copyright (C) 2007 - 2017, Intel Corporation.  All rights reserved.\r\n\r\n")
CHECKING = BANNER + b"Checking firmware parameters...\r\n\r\n"

# What the installer looks for in each tool's output.
BIOS = re.compile(rb"[\s\S]*([a-zA-Z][0-9][0-9] [a-zA-Z0-9\. ]*)[\s\S]*")
TOOL_VERSION = re.compile(rb".*Firmware Update Utility Version: *([0-9\.]*).*")
FW_VERSION = re.compile(rb"[ \t]*FW Version[\:]*[ \t]*([0-9\.]+)[ \t]*")
TOOL_ERROR = re.compile(rb"Error ([0-9]*): ([.\s\S]*)")
UPDATE_PATTERNS = [
    ("verify", re.compile(rb".*verification: *\[ *([0-9]*) *% *\]")),
    ("update", re.compile(rb".*FW Update *: *\[ *([0-9]*)% \(.\).*\]")),
    ("complete", re.compile(rb".*COMPLETE.*")),
    ("error", re.compile(rb"Error ([0-9]*): ([.\s\S]*)")),
    ("completed", re.compile(rb".*completed.*")),
]
MEINFO_PATTERNS = {
    "mebx": re.compile(rb".*MEBx Version *([0-9\.]*).*"),
    "lms": re.compile(rb".*LMS Version *([0-9\.]*).*"),
    "mei": re.compile(rb".*MEI Driver Version *([0-9\.]*).*"),
    "meinfo": re.compile(rb".*MEInfo Version: *([0-9\.]*).*"),
    "pmc": re.compile(rb".*PMC Version *([0-9\.]*).*"),
}


def chunks(output):
    """The pieces the installer reads: up to and with a line feed, at most 127 bytes, each cut
    at its first NUL."""
    pieces = []
    start = 0
    while start < len(output):
        piece = output[start:start + 127]
        line_feed = piece.find(b"\n")
        if line_feed >= 0:
            piece = piece[:line_feed + 1]
        start += len(piece)
        pieces.append(piece.split(b"\0")[0])
    return pieces


def update_kinds(output):
    """How the installer takes the update's output: line feeds dropped, cut at carriage
    returns, each line classified; lines of no kind are left out."""
    pending = b""
    kinds = []
    known = {}
    for piece in chunks(output):
        pending += piece.replace(b"\n", b"")
        *lines, pending = pending.split(b"\r")
        for line in lines:
            if line not in known:
                known[line] = classify(line)
            if known[line]:
                kinds.append(known[line])
    return kinds


def classify(line):
    for name, pattern in UPDATE_PATTERNS:
        match = pattern.search(line)
        if match:
            return name + (" " + match.group(1).decode() if pattern.groups else "")
    return None


def progress(phase, first, last):
    return ["%s %d" % (phase, p) for p in range(first, last + 1)]


class SimTest(unittest.TestCase):
    """A test with its own working folder, kept when the test fails."""

    maxDiff = None

    def setUp(self):
        self.folder = pathlib.Path(tempfile.mkdtemp(prefix="mefw-sim-"))

    def tearDown(self):
        result = getattr(self._outcome, "result", None)
        failed = result is not None and any(
            test is self for test, _ in result.failures + result.errors)
        if failed:
            print("\nkept the test's folder: %s" % self.folder)
        else:
            shutil.rmtree(self.folder, ignore_errors=True)

    def write(self, name, content):
        path = self.folder / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(content.encode("latin-1") if isinstance(content, str) else content)

    def command(self, sim, *args):
        program = str(SIM_DIR / (sim + EXE))
        return ["wine", program, *args] if WINE else [program, *args]

    def run_sim(self, sim, *args, scenario=None, scenario_file=None):
        """Runs one program; returns (standard output, exit status)."""
        if scenario is not None:
            self.write(scenario_file, scenario)
        completed = subprocess.run(
            self.command(sim, *args), cwd=self.folder, stdin=subprocess.DEVNULL,
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=600)
        self.stderr = completed.stderr
        return completed.stdout, completed.returncode

    def calls(self):
        log = self.folder / "sim-calls.log"
        return log.read_bytes().decode("latin-1").splitlines() if log.exists() else []

    def assertCrashed(self, status):
        # A signal on POSIX; under wine the low byte of 0xC0000005.
        if WINE:
            self.assertNotIn(status, (0, 99))
        else:
            self.assertLess(status, 0)


class WmicTest(SimTest):
    def wmic(self, scenario=None):
        return self.run_sim("wmic_sim", "bios", "get", "smbiosbiosversion", scenario=scenario,
                            scenario_file="sim-wmic.txt")

    def test_default_answer_and_call(self):
        output, status = self.wmic()
        self.assertEqual(output, b"SMBIOSBIOSVersion  \r\r\nN01 Ver. 1.05.2    \r\r\n\r\r\n")
        self.assertEqual(status, 0)
        self.assertEqual(BIOS.search(output).group(1), b"N01 Ver. 1.05.2    ")
        self.assertEqual(self.calls(), ["wmic bios get smbiosbiosversion"])

    def test_given_and_upper_case_versions(self):
        output, _ = self.wmic("bios N02 VER. 2.00.1A\n")
        self.assertEqual(BIOS.search(output).group(1), b"N02 VER. 2.00.1A   ")
        # Longer than the header: the column widens to the version and two blanks.
        output, _ = self.wmic("# comment\r\nbios A12 BIOS V1.2 BUILD 7788\r\n")
        self.assertEqual(output, b"SMBIOSBIOSVersion         \r\r\n"
                         b"A12 BIOS V1.2 BUILD 7788  \r\r\n\r\r\n")
        self.assertEqual(BIOS.search(output).group(1), b"A12 BIOS V1.2 BUILD 7788  ")

    def test_answers_without_a_version(self):
        for behaviour in ("empty", "garbage", "error"):
            with self.subTest(behaviour):
                output, _ = self.wmic("behaviour %s\n" % behaviour)
                self.assertIsNone(BIOS.search(output))
                self.assertEqual(output == b"", behaviour == "empty")
        output, _ = self.wmic("behaviour garbage\n")
        self.assertIn(b"\0", output)

    def test_64_megabytes_then_a_version(self):
        block = "0123456789abcdef" * 4
        output, status = self.wmic(
            "out SMBIOSBIOSVersion\\r\\r\\n\nrepeat 1048576 %s\nout \\r\\r\\nN03 Ver. 3\\r\\r\\n\n"
            % block)
        self.assertEqual(status, 0)
        head, tail = b"SMBIOSBIOSVersion\r\r\n", b"\r\r\nN03 Ver. 3\r\r\n"
        self.assertEqual(len(output), len(head) + 64 * 1024 * 1024 + len(tail))
        self.assertTrue(output.startswith(head + block.encode()))
        self.assertTrue(output.endswith(block.encode() + tail))
        self.assertEqual(BIOS.search(output[-200:]).group(1), b"N03 Ver. 3")

    def test_file_bytes_pass_unchanged(self):
        content = bytes(range(256)) * (64 * 4096)  # 64 MB, every byte value, NULs included
        self.write("answer.bin", content)
        output, _ = self.wmic("file answer.bin\nout \\r\\r\\n\n")
        self.assertEqual(output, content + b"\r\r\n")


class FwVersionQueryTest(SimTest):
    def query(self, scenario=None):
        return self.run_sim("fwupdlcl_sim", "-fwver", scenario=scenario,
                            scenario_file="sim-fwupdlcl.txt")

    def test_default_answer_and_call(self):
        output, status = self.query()
        self.assertEqual(output, CHECKING + b"Platform: Client PCH, Consumer SKU\r\n"
                         b"FW Version: 11.8.50.3399\r\n\r\n")
        self.assertEqual(status, 0)
        self.assertEqual(TOOL_VERSION.search(output).group(1), b"11.8.50.3425")
        self.assertEqual(FW_VERSION.search(output).group(1), b"11.8.50.3399")
        self.assertEqual(self.calls(), ["FwUpdLcl64 -fwver"])

    def test_versions_from_the_scenario(self):
        cases = [("fwver 11.8\n", b"11.8"),
                 ("fwver 11.8.50.99999999999\n", b"11.8.50.99999999999"),
                 ("behaviour many-colons\n", b"11.8.50.3399"),
                 ("behaviour no-colon\nfwver 12.0.1.2\n", b"12.0.1.2")]
        for scenario, version in cases:
            with self.subTest(scenario):
                output, _ = self.query(scenario)
                self.assertEqual(FW_VERSION.search(output).group(1), version)
        output, _ = self.query("fwver\n")
        self.assertIn(b"\r\nFW Version: \r\n", output)
        self.assertIsNone(FW_VERSION.search(output))
        output, _ = self.query("behaviour many-colons\n")
        self.assertIn(b"\r\nFW Version::: 11.8.50.3399\r\n", output)
        output, _ = self.query("behaviour no-colon\n")
        self.assertIn(b"\r\nFW Version 11.8.50.3399\r\n", output)

    def test_empty_tool_version(self):
        output, _ = self.query("tool-version\n")
        self.assertIn(b"Utility Version: \r\n", output)
        self.assertEqual(TOOL_VERSION.search(output).group(1), b"")

    def test_errors(self):
        output, status = self.query("behaviour error-8193\n")
        self.assertEqual(status, 1)
        self.assertIsNone(FW_VERSION.search(output))
        match = TOOL_ERROR.search(output)
        self.assertEqual(match.group(1), b"8193")
        self.assertEqual(match.group(2).count(b"\r\n"), 4)
        self.assertTrue(output.endswith(b"administrator.\r\n\r\n"))
        output, _ = self.query("behaviour error-no-number\n")
        self.assertEqual(TOOL_ERROR.search(output).group(1), b"")
        self.assertIn(b"\r\nError : ", output)

    def test_nothing(self):
        self.assertEqual(self.query("behaviour empty\n"), (b"", 0))

    def test_sections_pick_the_run(self):
        scenario = "fwver 9.9\n[-fwver]\nout query {fwver}\n[-f]\nout update\nexit 3\n"
        self.assertEqual(self.query(scenario), (b"query 9.9", 0))
        self.write("image.bin", b"image")
        output = self.run_sim("fwupdlcl_sim", "-f", "image.bin")
        self.assertEqual(output, (b"update", 3))

    def test_other_command_lines_get_usage(self):
        output, status = self.run_sim("fwupdlcl_sim")
        self.assertIn(b"Usage: ", output)
        self.assertEqual(TOOL_ERROR.search(output).group(1), b"8204")
        self.assertEqual(status, 1)


class FwUpdateTest(SimTest):
    IMAGE = "ME_Flash\\11.8.55.3510.bin" if WINE else "ME_Flash/11.8.55.3510.bin"

    def setUp(self):
        super().setUp()
        self.write("ME_Flash/11.8.55.3510.bin", b"\x5a" * 1024)

    def update(self, scenario=None, *extra):
        return self.run_sim("fwupdlcl_sim", "-f", self.IMAGE, *extra, scenario=scenario,
                            scenario_file="sim-fwupdlcl.txt")

    NORMAL = (progress("verify", 0, 100) + ["complete"] + progress("update", 0, 100)
              + ["completed"])

    def test_normal_update_and_its_arguments(self):
        output, status = self.update(None, "-allowsv")
        self.assertEqual(status, 0)
        self.assertTrue(output.startswith(CHECKING))
        self.assertEqual(update_kinds(output), self.NORMAL)
        self.assertIn(b"for verification:  [ COMPLETE ]\r\n", output)
        self.assertIn(b"FW Update:  [   0% (|)]\rFW Update:  [   1% (/)]\r"
                      b"FW Update:  [   2% (-)]\rFW Update:  [   3% (\\)]\r", output)
        self.assertEqual(self.calls(), ["FwUpdLcl64 -f %s -allowsv" % self.IMAGE])

    def test_errors(self):
        cases = [("error-8703", ["error 8703"]), ("error-348", ["error 348"]),
                 ("error-8716", progress("verify", 0, 30) + ["error 8716"]),
                 ("error-no-number", ["error "])]
        for behaviour, kinds in cases:
            with self.subTest(behaviour):
                output, status = self.update("behaviour %s\n" % behaviour)
                self.assertEqual(update_kinds(output), kinds)
                self.assertEqual(status, 1)

    def test_crash_after_40_percent(self):
        output, status = self.update("behaviour crash\n")
        self.assertCrashed(status)
        self.assertEqual(update_kinds(output),
                         progress("verify", 0, 100) + ["complete"] + progress("update", 0, 40))
        self.assertTrue(output.endswith(b"FW Update:  [  40% (|)]\r"))

    def test_kill_ends_any_scenario(self):
        output, status = self.update("out before\nkill\nout after\n")
        self.assertEqual(output, b"before")
        self.assertCrashed(status)

    def test_nothing(self):
        self.assertEqual(self.update("behaviour empty\n"), (b"", 0))

    def test_very_long_output(self):
        output, status = self.update("behaviour huge\n")
        self.assertEqual(status, 0)
        self.assertGreater(len(output), 8 * 1024 * 1024)
        kinds = update_kinds(output)
        self.assertEqual(len(kinds), len(self.NORMAL) + 4 * 100000)
        self.assertEqual(kinds[-52:], progress("update", 50, 100) + ["completed"])

    def test_line_feeds_only(self):
        output, _ = self.update("behaviour lf-only\n")
        self.assertNotIn(b"\r", output)
        self.assertEqual(update_kinds(output), [])
        kinds = [classify(line) for line in output.split(b"\n")]
        self.assertEqual([kind for kind in kinds if kind], self.NORMAL)

    def test_binary_bytes(self):
        output, _ = self.update("behaviour binary\n")
        self.assertIn(b"\x00\x01\x02\x03 \xff\xfe\xfd\x80\x7f\x00\x00", output)
        self.assertEqual(update_kinds(output), self.NORMAL)

    def test_missing_image_is_refused_whatever_the_scenario(self):
        (self.folder / "ME_Flash/11.8.55.3510.bin").unlink()
        output, status = self.update("out scripted\n")
        self.assertNotIn(b"scripted", output)
        self.assertEqual(update_kinds(output), ["error 8199"])
        self.assertEqual(status, 1)


class MeInfoTest(SimTest):
    def report(self, scenario=None):
        return self.run_sim("meinfo_sim", "-verbose", scenario=scenario,
                            scenario_file="sim-meinfo.txt")

    def versions(self, output):
        """Every version the installer picks out of the report, per pattern, in order."""
        found = {name: [] for name in MEINFO_PATTERNS}
        for piece in chunks(output):
            for name, pattern in MEINFO_PATTERNS.items():
                match = pattern.search(piece)
                if match:
                    found[name].append(match.group(1).decode())
                    break
        return found

    def test_default_report_and_call(self):
        output, status = self.report()
        self.assertEqual(status, 0)
        self.assertEqual(self.versions(output), {
            "mebx": ["11.0.0.0012"], "lms": ["11.8.50.3434"], "mei": ["11.7.0.1045"],
            "meinfo": ["11.8.50.3425"], "pmc": ["300.2.11.1014"]})
        lines = output.split(b"\r\n")
        self.assertGreater(max(len(line) for line in lines), 127)
        self.assertEqual(lines[-2:], [b"", b""])
        self.assertEqual(self.calls(), ["MEInfoWin64 -verbose"])

    def test_values_from_the_scenario(self):
        output, _ = self.report("mebx 12.0.0.0005\npmc\n")
        versions = self.versions(output)
        self.assertEqual(versions["mebx"], ["12.0.0.0005"])
        self.assertEqual(versions["pmc"], [""])

    def test_variants(self):
        output, _ = self.report("behaviour mebx-colon\n")
        self.assertIn(b"MEBx Version:", output)
        self.assertEqual(self.versions(output)["mebx"], [""])
        output, _ = self.report("behaviour two-lms\n")
        self.assertEqual(self.versions(output)["lms"], ["11.8.50.3434", "11.0.0.1157"])
        output, status = self.report("behaviour none\n")
        self.assertNotEqual(output, b"")
        self.assertEqual(self.versions(output), {name: [] for name in MEINFO_PATTERNS})
        self.assertEqual(status, 1)


class ScenarioTest(SimTest):
    def test_a_mistake_prints_nothing_and_says_where(self):
        output, status = self.run_sim("meinfo_sim", "-verbose", scenario="out x\nmebx-version 1\n",
                                      scenario_file="sim-meinfo.txt")
        self.assertEqual((output, status), (b"", 99))
        self.assertIn(b"sim-meinfo.txt, line 2: unknown key \"mebx-version\"", self.stderr)
        self.assertEqual(self.calls(), ["MEInfoWin64 -verbose"])

    def test_calls_accumulate_in_order(self):
        self.run_sim("wmic_sim", "bios", "get", "smbiosbiosversion")
        self.run_sim("fwupdlcl_sim", "-fwver")
        self.run_sim("meinfo_sim", "-verbose")
        self.assertEqual(self.calls(), ["wmic bios get smbiosbiosversion", "FwUpdLcl64 -fwver",
                                        "MEInfoWin64 -verbose"])

    def test_output_arrives_as_it_is_printed(self):
        """A reader sees each part when it is printed, not all at the end."""
        self.write("sim-fwupdlcl.txt", "pace 150\ncount 1 4 {n}\\r\nsleep 400\nout end\n")
        process = subprocess.Popen(self.command("fwupdlcl_sim", "-fwver"), cwd=self.folder,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.PIPE)
        arrivals = []
        while True:
            data = os.read(process.stdout.fileno(), 4096)
            if not data:
                break
            arrivals.append((time.monotonic(), data))
        process.wait(timeout=60)
        process.stdout.close()
        self.assertEqual(b"".join(data for _, data in arrivals), b"1\r2\r3\r4\rend")
        self.assertEqual(arrivals[0][1], b"1\r")
        first, last = arrivals[0][0], arrivals[-1][0]
        self.assertGreater(last - first, 0.8)


if __name__ == "__main__":
    unittest.main()
