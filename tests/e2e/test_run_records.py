"""The run records in the machine's state folder, end to end: what each kind of run leaves,
the record of a run killed during the flash, the pruning of old runs, and a state folder that
cannot be written, which must change nothing but one verbose line."""

import os
import re
import signal
import unittest

from harness import WINE, KitboxTest

SEP = "\\" if WINE else "/"
UPDATE_CALL = "FwUpdLcl64 -f ME_Flash%s11.8.55.3510.bin" % SEP
# The flash stops after the verification until the test creates go.flag.
HELD_FLASH = ("[-f]\nbehaviour preamble\nbehaviour verification\nawait go.flag\n"
              "behaviour update\nbehaviour done\n")
NO_FLASH = {"started": False, "completed": None, "leftover": None}
TIME = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$")
RUN_FOLDER = re.compile(r"^\d{8}T\d{6}Z-\d+$")
NOT_WRITTEN = re.compile(rb"The run record was not written: [^\r\n]*\r?\n")
FIELDS = ["schema", "program", "programVersion", "state", "started", "ended", "arguments",
          "mode", "kitbox", "exitCode", "message", "bios", "profile", "firmware", "flash",
          "restartRequested", "logs"]


class RecordTest(KitboxTest):

    def setUp(self):
        super().setUp()
        self.make_kitbox()

    def finished_record(self, run_folder=True, **expected):
        """The last run's record, checked for the fields every finished record has and for the
        values given; with its run folder unless the run ended before it held the guard."""
        record = self.run_record()
        self.assertIsNotNone(record, "no last-run.json")
        self.assertEqual(list(record), FIELDS)
        self.assertEqual((record["schema"], record["program"], record["programVersion"]),
                         (1, "mefwupdate", "1.5.1"))
        self.assertEqual(record["state"], "finished")
        self.assertRegex(record["started"], TIME)
        self.assertRegex(record["ended"], TIME)
        self.assertLessEqual(record["started"], record["ended"])
        for key, value in expected.items():
            self.assertEqual(record[key], value, key)
        folders = self.run_folders()
        if not run_folder:
            self.assertEqual(folders, [])
            return record, None
        self.assertEqual(len(folders), 1, folders)
        self.assertRegex(folders[0], RUN_FOLDER)
        folder = self.state_dir / "runs" / folders[0]
        self.assertEqual((folder / "result.json").read_bytes(),
                         (self.state_dir / "last-run.json").read_bytes())
        return record, folder


class WhatRunsLeave(RecordTest):

    def test_completed_update(self):
        run = self.run_installer("-s", "-r")
        self.assert_code(run, 0)
        record, folder = self.finished_record(
            arguments=["-s", "-r"], mode="update", exitCode=0, message=None, profile=0,
            firmware={"installed": "11.8.50.3399", "kitbox": "11.8.55.3510",
                      "stamped": "11.8.55.3510"},
            flash={"started": True, "completed": True, "leftover": False}, restartRequested=True,
            logs=[])
        self.assertEqual(record["bios"]["source"], "wmic")
        self.assertEqual(record["bios"]["text"].rstrip(), "N01 Ver. 1.05.2")
        self.assertTrue(record["kitbox"].endswith("kitbox"), record["kitbox"])
        self.assertEqual(self.run_record("last-flash.json"), record)
        self.assertEqual(sorted(path.name for path in folder.iterdir()), ["result.json"])

    def test_unsupported_platform(self):
        self.scenario("wmic", "bios Q22 Ver. 1.0\n")
        run = self.run_installer("-s", "-log")
        self.assert_code(run, 2010)
        record, folder = self.finished_record(
            arguments=["-s", "-log"], mode="update", exitCode=2010, profile=None,
            firmware={"installed": None, "kitbox": None, "stamped": None},
            flash=NO_FLASH, restartRequested=False, logs=["installerError.log", "runLog.log"])
        self.assertEqual(record["message"], {
            "code": "2010s", "text": "ERROR 2010s: This platform is not supported by the Kitbox."})
        self.assertEqual(record["bios"]["text"].rstrip(), "Q22 Ver. 1.0")
        self.assertIsNone(self.run_record("last-flash.json"))
        for log in ["installerError.log", "runLog.log"]:
            self.assertEqual((folder / log).read_bytes(), self.read(log))

    def test_unreadable_command_line(self):
        run = self.run_installer("-s", "-bogus")
        self.assert_code(run, 1014)
        # It ended before it held the guard: last-run.json alone.
        record, _ = self.finished_record(
            run_folder=False, arguments=["-s", "-bogus"], mode=None, exitCode=1014, bios=None,
            profile=None, restartRequested=False, logs=["installerError.log"])
        self.assertEqual(record["message"]["code"], "1014h")

    def test_system_information(self):
        run = self.run_installer("-s", "-systeminfo")
        self.assert_code(run, 1)
        record, _ = self.finished_record(
            mode="systeminfo", exitCode=1, message=None,
            firmware={"installed": "11.8.50.3399", "kitbox": None, "stamped": None},
            flash=NO_FLASH)
        self.assertEqual(record["bios"]["source"], "wmic")

    def test_help_leaves_no_record(self):
        run = self.run_installer("-s", "-h")
        self.assert_code(run, 1)
        self.assertIsNone(self.run_record())
        self.assertEqual(self.run_folders(), [])


class KilledDuringTheFlash(RecordTest):

    def test_last_flash_keeps_saying_flashing(self):
        self.scenario("fwupdlcl", HELD_FLASH)
        crash_flag = self.root / "crash.flag"
        first = self.start_installer("-s", terminate_on=crash_flag)
        try:
            self.wait_for_call(UPDATE_CALL)
            flashing = self.run_record("last-flash.json")
            self.assertEqual((flashing["state"], flashing["flash"]),
                             ("flashing", {"started": True, "completed": None, "leftover": None}))
            self.assertEqual(flashing["firmware"]["installed"], "11.8.50.3399")
            # A retry while the first still flashes ends with 2015s and leaves it alone.
            second = self.run_installer("-s")
            self.assert_code(second, 2015)
            self.assertEqual(self.run_record()["message"]["code"], "2015s")
            if WINE:
                crash_flag.write_text("")
            else:
                os.kill(first.pid, signal.SIGKILL)
            self.finish_installer(first, timeout=120, read_output=False)
        finally:
            self.write("go.flag", "")
        self.assertEqual(self.run_record("last-flash.json"), flashing)
        # The refused run made no folder of its own.
        self.assertEqual(len(self.run_folders()), 1)
        # The orphaned flash holds the guard until it has ended.
        self.assert_code(self.run_once_the_guard_is_free(), 0)


    @unittest.skipIf(WINE, "twenty-one refused runs are quick on POSIX only")
    def test_refused_runs_leave_the_flashs_record_alone(self):
        self.scenario("fwupdlcl", HELD_FLASH)
        first = self.start_installer("-s")
        try:
            self.wait_for_call(UPDATE_CALL)
            folders = self.run_folders()
            # More refused runs than run folders are kept: none of them may prune the flash's.
            for _ in range(21):
                self.assert_code(self.run_installer("-s"), 2015)
            self.assertEqual(self.run_folders(), folders)
            self.assertEqual(self.run_record()["message"]["code"], "2015s")
            # And when the flash's own result.json cannot be written, last-flash.json still is.
            result = self.state_dir / "runs" / folders[0] / "result.json"
            result.unlink()
            result.mkdir()
        finally:
            self.write("go.flag", "")
        self.assert_code(self.finish_installer(first), 0)
        self.assertEqual(self.run_folders(), folders)
        flashed = self.run_record("last-flash.json")
        self.assertEqual((flashed["state"], flashed["exitCode"], flashed["flash"]),
                         ("finished", 0, {"started": True, "completed": True, "leftover": False}))
        self.assertEqual(self.run_record(), flashed)


class Pruning(RecordTest):

    def test_only_the_newest_twenty_run_folders_are_kept(self):
        runs = self.state_dir / "runs"
        # Twenty old runs, the last two of one second told apart by their process ids as numbers.
        planted = ["20250101T0000%02dZ-7" % second for second in range(18)]
        planted += ["20250101T000059Z-10", "20250101T000059Z-9"]
        for name in planted:
            (runs / name).mkdir(parents=True)
            (runs / name / "result.json").write_text("{}")
        (runs / "not-a-run").mkdir()
        # Runs that hold the guard, and so prune; a refused one would not.
        self.scenario("wmic", "bios Q22 Ver. 1.0\n")
        for _ in range(5):
            self.assert_code(self.run_installer("-s"), 2010)
        folders = self.run_folders()
        self.assertEqual(len([name for name in folders if RUN_FOLDER.match(name)]), 20)
        self.assertIn("not-a-run", folders)
        kept = sorted(set(planted) & set(folders))
        self.assertEqual(kept, sorted(planted[5:18] + ["20250101T000059Z-9",
                                                      "20250101T000059Z-10"]))


class UnwritableStateFolder(KitboxTest):

    def setUp(self):
        super().setUp()
        self.make_kitbox()
        self.scenario("wmic", "bios Q22 Ver. 1.0\n")

    def outcome(self, *args):
        """Exit code, console output and both logs, and how often the logs name the record."""
        run = self.run_installer(*args)
        logs, lines = [], 0
        for name in ["installerError.log", "runLog.log"]:
            log, count = NOT_WRITTEN.subn(b"", self.read(name))
            logs.append(log)
            lines += count
        return run.code, run.out, logs, lines

    def test_a_file_in_its_place_costs_one_verbose_line_until_the_guard_moves_it_aside(self):
        written = self.outcome("-s", "-log")
        self.assertIsNotNone(self.run_record())
        self.state_dir.parent.mkdir(parents=True, exist_ok=True)
        for path in sorted(self.state_dir.rglob("*"), reverse=True):
            path.rmdir() if path.is_dir() else path.unlink()
        self.state_dir.rmdir()
        self.state_dir.write_text("not a folder")
        self.assertEqual(written[3], 0)
        # The logs hold every verbose line, shown or not: there, and only there, is the one line,
        # from the record written before the run held the guard.
        pattern = self.state_dir.name + ".untrusted-*"
        # Under wine the state folder's parent is the shared prefix's, which others' runs use.
        before = set(self.state_dir.parent.glob(pattern))
        code, out, _, lines = self.outcome("-s", "-log", "-v")
        self.assertEqual((code, lines), (written[0], 2))
        self.assertEqual(len(re.findall("The run record was not written: .* is not a folder\n",
                                        out)), 1, out)
        # Holding the guard, the run moved the file aside and kept its record in a new folder.
        aside = sorted(set(self.state_dir.parent.glob(pattern)) - before)
        for path in aside:
            self.addCleanup(path.unlink, missing_ok=True)
        self.assertEqual([path.read_text() for path in aside], ["not a folder"])
        self.assertEqual(self.run_record()["exitCode"], 2010)
        self.assertEqual(self.outcome("-s", "-log"), written)


if __name__ == "__main__":
    unittest.main()
