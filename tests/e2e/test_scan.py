"""-scan end to end: the silent update's own checks up to its flash, answered with the code the
update would end with there, and nothing on the machine changed: no stamp, no question, no
README, no flash, no restart, and no record but last-scan.json."""

import json
import pathlib
import shutil
import unittest

from harness import WINE, KitboxTest, exit_status

SEP = "\\" if WINE else "/"
UPDATE_CALL = "FwUpdLcl64 -f ME_Flash%s11.8.55.3510.bin" % SEP
# The flash stops after the verification until the test creates go.flag.
HELD_FLASH = ("[-f]\nbehaviour preamble\nbehaviour verification\nawait go.flag\n"
              "behaviour update\nbehaviour done\n")
PLANTED_STAMP = b"the stamp of an earlier run"
PLANTED_LAST_RUN = b'{"planted": "by the test"}\n'


class ScanTest(KitboxTest):

    def setUp(self):
        super().setUp()
        self.make_kitbox()
        if not WINE:
            # Opening README.htm would be recorded.
            self.install_command("recorder_sim", "xdg-open")

    def plant(self):
        """A stamp and an update's record from before, which a scan must leave as they are."""
        (self.drive / "MeFwVer.sys").write_bytes(PLANTED_STAMP)
        self.state_dir.mkdir(parents=True, exist_ok=True)
        (self.state_dir / "last-run.json").write_bytes(PLANTED_LAST_RUN)
        (self.state_dir / "last-scan.json").unlink(missing_ok=True)
        self.path("sim-calls.log").unlink(missing_ok=True)

    def scan(self, *args):
        """Runs a scan on the planted machine and checks that it changed nothing."""
        self.plant()
        run = self.run_installer("-scan", *args)
        self.assertEqual(self.stamp(), PLANTED_STAMP, run)
        self.assertEqual((self.state_dir / "last-run.json").read_bytes(), PLANTED_LAST_RUN)
        self.assertFalse((self.state_dir / "last-flash.json").exists())
        self.assertFalse((self.state_dir / "runs").exists())
        for call in run.calls:
            self.assertFalse(call.startswith(("FwUpdLcl64 -f ", "shutdown", "xdg-open",
                                              "timeout")), run.calls)
        for text in ["DO NOT SHUT DOWN", "Keep it plugged in", "README.htm"]:
            self.assertNotIn(text, run.out)
        record = self.run_record("last-scan.json")
        self.assertEqual((record["mode"], record["state"], record["restartRequested"]),
                         ("scan", "finished", False))
        self.assertEqual(exit_status(record["exitCode"]), run.code)
        return run, record

    def assert_outcome(self, name, run, code, message_code=None):
        self.assertEqual(run.code, exit_status(code), "%s: %r" % (name, run))
        record = self.run_record("last-scan.json")
        self.assertEqual(record["message"] and record["message"]["code"], message_code, name)


class ScanOutcomes(ScanTest):

    def test_each_outcome_before_the_flash(self):
        self.write("input.txt", "meFirmwareFile = 11.8.55.3510.bin\nsupportedPlatforms = aster\n"
                                "prereqBios = 1.04.0\nupfrontMessage = Keep it plugged in.\n")
        run, record = self.scan("-r")
        self.assert_outcome("passes", run, 0)
        self.assertTrue(run.out.endswith(
            "Scan: this computer would be updated from 11.8.50.3399 to 11.8.55.3510.\n"), run)
        self.assertEqual(record["firmware"], {"installed": "11.8.50.3399",
                                              "kitbox": "11.8.55.3510", "stamped": None})
        self.assertEqual(record["restartPending"], False)
        cases = [
            ("downgrade", "fwupdlcl", "fwver 12.0.1.1\n", (), 3000, "3000n"),
            ("same version", "fwupdlcl", "fwver 11.8.55.3510\n", (), 3001, "3001n"),
            ("same version, forced", "fwupdlcl", "fwver 11.8.55.3510\n", ("-force",), 0, None),
            ("platform", "wmic", "bios Q22 Ver. 1.0\n", (), 2010, "2010s"),
            ("prerequisite", "wmic", "bios N01 Ver. 1.03.0\n", (), 2011, "2011s"),
            ("no version", "fwupdlcl", "[-fwver]\nout nothing to see\n", (), 1015, "1015h"),
            ("stamp cannot carry it", "fwupdlcl", "fwver 11.8.70000.1\n", (), 1019, "1019h"),
        ]
        for name, tool, scenario, args, code, message_code in cases:
            self.scenario(tool, scenario)
            run, _ = self.scan(*args)
            self.assert_outcome(name, run, code, message_code)
            self.path("sim-%s.txt" % tool).unlink()
        self.path("ME_Flash/11.8.55.3510.bin").unlink()
        run, _ = self.scan()
        self.assert_outcome("no image", run, 1002, "1002h")
        tool = self.path("ME_Flash/Local-Win/FwUpdLcl64.exe")
        tool.unlink()
        run, _ = self.scan()
        self.assert_outcome("no tool", run, 1002, "1002h")
        if WINE:
            self.install_tool("fwupdlcl_sim", "ME_Flash/Local-Win/FwUpdLcl64.exe", signer=None)
            run, _ = self.scan()
            self.assert_outcome("unsigned tool", run, 2018, "2018s")
        else:
            self.install_tool("fwupdlcl_sim", "ME_Flash/Local-Win/FwUpdLcl64.exe")
            self.write("ME_Flash/11.8.55.3510.bin", "image")
            battery = self.power_supply / "BAT0"
            battery.mkdir(parents=True)
            for key, value in dict(type="Battery", capacity="10", status="Discharging",
                                   present="1").items():
                (battery / key).write_text(value + "\n")
            run, _ = self.scan()
            self.assert_outcome("battery", run, 2016, "2016s")

    @unittest.skipIf(WINE, "under wine a link to a file reads as a plain file")
    def test_a_linked_image_or_tool_ends_the_scan_as_it_ends_the_update(self):
        for relative in ["ME_Flash/11.8.55.3510.bin", "ME_Flash/Local-Win/FwUpdLcl64.exe"]:
            target = self.root / pathlib.Path(relative).name
            shutil.move(self.path(relative), target)
            self.path(relative).symlink_to(target)
            run, _ = self.scan()
            self.assert_outcome(relative, run, 2020, "2020s")
            self.assertIn("a link, not a file", run.out)
            self.path(relative).unlink()
            shutil.move(target, self.path(relative))

    def test_a_scan_beside_a_running_flash_ends_before_it_holds_the_guard(self):
        self.scenario("fwupdlcl", HELD_FLASH)
        first = self.start_installer("-s")
        try:
            self.wait_for_call(UPDATE_CALL)
            last_run = (self.state_dir / "last-run.json").read_bytes()
            (self.drive / "MeFwVer.sys").write_bytes(PLANTED_STAMP)
            calls = self.calls()
            run = self.run_installer("-scan")
            self.assert_outcome("guard", run, 2015, "2015s")
            self.assertEqual(self.calls(), calls)
            self.assertEqual((self.state_dir / "last-run.json").read_bytes(), last_run)
            self.assertEqual(self.stamp(), PLANTED_STAMP)
        finally:
            self.write("go.flag", "")
            self.assert_code(self.finish_installer(first), 0)


if __name__ == "__main__":
    unittest.main()
