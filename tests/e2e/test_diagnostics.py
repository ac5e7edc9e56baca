"""The two diagnostic modes, end to end: the MEInfo report and the extended system
information, with the simulated wmic and Intel tools."""

import os
import pathlib
import sys
import threading
import time
import unittest

from harness import BANNER, WINE, WRAPPER, KitboxTest, error_report

MB = 1024 * 1024
QUERY_CAP = 32 * MB
# Reads the peak resident size of the program it runs (in KiB) and writes it to MEFW_PEAK_FILE.
PEAK_OF_CHILD = ("import os, resource, subprocess, sys\n"
                 "code = subprocess.call(sys.argv[1:])\n"
                 "peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss\n"
                 "open(os.environ['MEFW_PEAK_FILE'], 'w').write(str(peak))\n"
                 "sys.exit(code)\n")

OPENING = "Extended system information:\nWait for it..."


def listing(mebx="11.0.0.0012", pmc="300.2.11.1014", lms="11.8.50.3434", mei="11.7.0.1045",
            meinfo="11.8.50.3425"):
    """The listing for the simulated machine: no SOL driver, and no DAL version ever."""
    return ("\r-BIOS version:\tn01 ver. 1.05.2    \n-ME version:\t11.8.50.3399\n"
            "-MEBx version:\t%s\n-PMC version:\t%s\n-LMS version:\t%s\n-MEI version:\t%s\n"
            "-DAL version:\tUnknown\n-SOL version:\tUnknown\n\n"
            "-FwUpdLcl version:\t11.8.50.3425\n-MEInfo version:\t%s\n\n" %
            (mebx, pmc, lms, mei, meinfo))


class MeInfoReport(KitboxTest):

    def setUp(self):
        super().setUp()
        self.make_kitbox()

    def test_report_is_saved_as_the_tool_printed_it(self):
        run = self.run_installer("-meInfo", terminal=True)
        self.assertEqual(run.out, BANNER + "Printing verbose meinfo log to meInfoVerbose.txt\n")
        self.assert_code(run, 1)
        self.assert_pause(run, True)
        report = self.read("meInfoVerbose.txt")
        self.assertEqual(report, self.tool_output("meinfo_sim", "-verbose"))
        self.assertIn(b"MEBx Version", report)
        self.assertEqual(run.calls[0], "MEInfoWin64 -verbose")

    def peak_kib(self, *args):
        """Runs the installer and returns the run and its peak resident size in KiB: POSIX
        measures the process, wine the Linux process that runs the Windows program."""
        if not WINE:
            peak_file = self.root / "peak.txt"
            run = self.run_installer(*args, extra_env={"MEFW_PEAK_FILE": str(peak_file)},
                                     under=[sys.executable, "-c", PEAK_OF_CHILD])
            return run, int(peak_file.read_text())
        peaks, done = [0], threading.Event()

        def watch():
            while not done.wait(0.02):
                for status in pathlib.Path("/proc").glob("[0-9]*/status"):
                    try:
                        command = (status.parent / "cmdline").read_bytes()
                        if b"mefwupdate.exe" not in command or b"launcher" in command:
                            continue
                        for line in status.read_text().splitlines():
                            if line.startswith("VmHWM:"):
                                peaks[0] = max(peaks[0], int(line.split()[1]))
                    except OSError:
                        pass
        watcher = threading.Thread(target=watch)
        watcher.start()
        try:
            run = self.run_installer(*args)
        finally:
            done.set()
            watcher.join()
        return run, peaks[0]

    @unittest.skipIf(WRAPPER or not (WINE or os.environ.get("MEFW_E2E_MEMORY_LIMITS")),
                     "measures the plain builds only: a sanitizer or valgrind costs memory itself")
    def test_a_capped_report_costs_at_most_128_mib_whatever_its_lines(self):
        # 40 MiB of output, cut at the query's cap of 32 MiB: empty lines, then 127-byte lines.
        for line in ["\\n", "x" * 126 + "\\n"]:
            size = 1 if line == "\\n" else 127
            self.scenario("meinfo", "[-verbose]\nrepeat %d %s\n" % (40 * MB // size, line))
            run, peak = self.peak_kib("-meinfo", "-s")
            self.assert_code(run, 1)
            self.assertEqual(os.path.getsize(self.path("meInfoVerbose.txt")), QUERY_CAP)
            self.assertGreater(peak, 0)
            self.assertLessEqual(peak, 128 * 1024, "peak of %d KiB for lines of %d bytes"
                                 % (peak, size))
            print("\npeak of a capped report of %d-byte lines: %d KiB" % (size, peak))

    def test_mode_may_be_asked_for_twice(self):
        run = self.run_installer("-meinfo", "-s", "-MEINFO")
        self.assert_code(run, 1)
        self.assertEqual(run.calls, ["MEInfoWin64 -verbose"])

    def test_missing_tool(self):
        self.path("MEInfo/Win/WINDOWS64/MEInfoWin64.exe").unlink()
        run = self.run_installer("-meinfo", "-s")
        self.assertEqual(run.out, BANNER + error_report(
            "ERROR 1002h: File MEInfoWin64.exe does not appear to exist in "
            "MEInfo\\Win\\WINDOWS64\\."))
        self.assert_code(run, 1002)

    def test_report_that_cannot_be_written(self):
        self.path("meInfoVerbose.txt").mkdir()
        run = self.run_installer("-meinfo", "-s")
        self.assertEqual(run.out, BANNER + "Printing verbose meinfo log to meInfoVerbose.txt\n" +
                         error_report("ERROR 2003s: Cannot write to file meInfoVerbose.txt."))
        self.assert_code(run, 2003)


class SystemInformation(KitboxTest):

    def setUp(self):
        super().setUp()
        self.make_kitbox()

    def test_listing_of_ten_versions(self):
        run = self.run_installer("-systemInfo", "-s")
        self.assertEqual(run.out, BANNER + OPENING + listing())
        self.assert_code(run, 1)
        self.assertEqual(run.calls, ["wmic bios get smbiosbiosversion", "FwUpdLcl64 -fwver",
                                     "MEInfoWin64 -verbose"])

    def test_report_variants(self):
        cases = [("behaviour none", dict(mebx="Unknown", pmc="Unknown", lms="Unknown",
                                         mei="Unknown", meinfo="Unknown")),
                 ("behaviour two-lms", dict(lms="11.0.0.1157")),
                 ("behaviour mebx-colon", dict(mebx=""))]
        for scenario, versions in cases:
            self.scenario("meinfo", scenario + "\n")
            run = self.run_installer("-systeminfo", "-s")
            self.assertEqual(run.out, BANNER + OPENING + listing(**versions), scenario)
            self.assert_code(run, 1)

    def test_missing_meinfo_tool_stops_before_the_listing(self):
        self.path("MEInfo/Win/WINDOWS64/MEInfoWin64.exe").unlink()
        run = self.run_installer("-systeminfo", "-s")
        self.assertEqual(run.out, BANNER + OPENING + error_report(
            "ERROR 1002h: File MEInfoWin64.exe does not appear to exist in "
            "MEInfo\\Win\\WINDOWS64\\."))
        self.assert_code(run, 1002)

    def test_failed_query_ends_the_mode_before_it_prints(self):
        self.scenario("fwupdlcl", "[-fwver]\nbehaviour error-8193\n")
        run = self.run_installer("-systeminfo", "-s")
        self.assert_code(run, 4000)
        self.assertNotIn("Extended system information", run.out)


if __name__ == "__main__":
    unittest.main()
