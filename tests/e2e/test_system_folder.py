"""Windows' own programs run from the system folder only, under wine: a wmic or timeout planted
in the Kitbox never runs, nor does a command interpreter that %ComSpec% names, and a Windows
without wmic falls back on the SMBIOS table without running any."""

import shutil
import unittest

from harness import SIM_DIR, WINE, KitboxTest

WMIC_CALL = "wmic bios get smbiosbiosversion"
# A script that leaves a file behind when it runs.
PLANTED = "@echo planted>planted-%s.txt\r\n"


@unittest.skipUnless(WINE, "the Windows build's search rules")
class SystemFolderOnly(KitboxTest):

    def setUp(self):
        super().setUp()
        self.make_kitbox()

    def test_scripts_planted_in_the_kitbox_never_run(self):
        for name in ["wmic.bat", "wmic.cmd", "timeout.cmd", "Timeout.bat", "shutdown.cmd"]:
            self.write(name, PLANTED % name)
        # Interactive, so the closing pause runs timeout; -r, so shutdown runs.
        run = self.run_installer("-r", stdin=b"y\n")
        self.assert_code(run, 0)
        self.assertEqual(sorted(p.name for p in self.kitbox.glob("planted-*")), [])
        self.assertEqual(run.calls[0], WMIC_CALL)
        self.assertEqual(self.restarts(run), ["20"])
        self.assertEqual(run.calls[-1], "timeout /T 30")

    def test_comspec_is_never_run_and_a_missing_wmic_is_never_looked_for(self):
        self.use_own_prefix()
        # Wine takes %ComSpec% from the registry, as Windows does for a user's own setting.
        planted = self.drive / "planted"
        planted.mkdir()
        shutil.copy2(SIM_DIR / "recorder_sim.exe", planted / "comspec.exe")
        self.wine("reg", "add", "HKCU\\Environment", "/v", "ComSpec", "/d",
                  "C:\\planted\\comspec.exe", "/f")
        run = self.run_installer("-r", stdin=b"y\n")
        self.assert_code(run, 0)
        self.assertEqual([call for call in run.calls if call.startswith("comspec")], [])
        self.assertEqual(run.calls[0], WMIC_CALL)
        self.assertEqual(self.restarts(run), ["20"])
        self.assertEqual(run.calls[-1], "timeout /T 30")
        self.assertEqual(self.stamp_version(), "11.8.55.3510")

        # Windows 11 24H2 and later: no wmic in the system folder. A wmic in the Kitbox does not
        # stand in, and wine's table holds no usable version: 2000s, since nothing failed to
        # start.
        (self.drive / "windows" / "system32" / "wbem" / "wmic.exe").unlink()
        self.path("sim-calls.log").unlink()
        self.write("wmic.bat", PLANTED % "wmic.bat")
        run = self.run_installer("-s", "-v")
        self.assert_code(run, 2000)
        self.assertIn("Retrieving system BIOS version.\nwmic is not installed.\n", run.out)
        self.assertNotIn("Running command: wmic", run.out)
        self.assertIn("ERROR 2000s: Could not retrieve BIOS version.", run.out)
        self.assertEqual(run.calls, [])
        self.assertFalse(self.exists("planted-wmic.bat.txt"))


if __name__ == "__main__":
    unittest.main()
