"""The run records in the machine's state folder, end to end: what each kind of run leaves,
the record of a run killed during the flash, the pruning of old runs, and a state folder that
cannot be written, which must change nothing but one verbose line."""

import datetime
import json
import os
import re
import signal
import socket
import subprocess
import unittest

from harness import WINE, KitboxTest, windows_path

SEP = "\\" if WINE else "/"
UPDATE_CALL = "FwUpdLcl64 -f ME_Flash%s11.8.55.3510.bin" % SEP
# The flash stops after the verification until the test creates go.flag.
HELD_FLASH = ("[-f]\nbehaviour preamble\nbehaviour verification\nawait go.flag\n"
              "behaviour update\nbehaviour done\n")
NO_FLASH = {"started": False, "completed": None, "leftover": None}
TIME = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$")
RUN_FOLDER = re.compile(r"^\d{8}T\d{6}Z-\d+$")
NOT_WRITTEN = re.compile(rb"The run record was not written: [^\r\n]*\r?\n")
FIELDS = ["schema", "program", "programVersion", "computerName", "state", "started", "ended",
          "arguments", "mode", "kitbox", "exitCode", "message", "bios", "profile", "firmware",
          "flash", "restartRequested", "restartPending", "logs"]


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
        # The record names its machine: wine's NetBIOS name is the host's, in capitals.
        self.assertEqual(record["computerName"],
                         socket.gethostname().upper()[:15] if WINE else socket.gethostname())
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
            restartPending=False, logs=[])
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
            flash=NO_FLASH, restartRequested=False, restartPending=None,
            logs=["installerError.log", "runLog.log"])
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
            flash=NO_FLASH, restartPending=False)
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


def utc_text(when):
    return when.strftime("%Y-%m-%dT%H:%M:%SZ")


def utc_time(text):
    return datetime.datetime.strptime(text, "%Y-%m-%dT%H:%M:%SZ")


class PendingRestart(RecordTest):
    """Until the machine restarts, the flashed firmware does not run: the version query reads
    the old version, and the tool answers a second flash with 8703."""

    PENDING = "A restart is pending: firmware 11.8.55.3510, installed at %s, runs after it.\n"

    def run_before_the_restart(self, **environment):
        self.scenario("fwupdlcl", "[-f]\nbehaviour error-8703\n")
        run = self.run_installer("-s", "-v", extra_env=environment)
        self.assert_code(run, 3002)
        return run, self.run_record()

    @unittest.skipIf(WINE, "MEFW_BOOT_TIME is read by the POSIX build only")
    def test_the_stamp_keeps_the_flashed_version_until_the_machine_restarts(self):
        self.assert_code(self.run_installer("-s"), 0)
        flash = self.run_record("last-flash.json")
        booted = utc_time(flash["started"]) - datetime.timedelta(seconds=1)
        run, record = self.run_before_the_restart(MEFW_BOOT_TIME=utc_text(booted))
        self.assertEqual(self.stamp_version(), "11.8.55.3510")
        self.assertIn(self.PENDING % flash["ended"], run.out)
        self.assertEqual((record["restartPending"], record["firmware"]),
                         (True, {"installed": "11.8.50.3399", "kitbox": "11.8.55.3510",
                                 "stamped": "11.8.55.3510"}))
        # That run's refused flash is now the last one; a third run still keeps the stamp.
        run, record = self.run_before_the_restart(MEFW_BOOT_TIME=utc_text(booted))
        self.assertEqual(self.stamp_version(), "11.8.55.3510")
        self.assertEqual(record["restartPending"], True)
        # Started after those runs: the stamp has what the firmware reads, as it always had.
        booted = utc_time(record["ended"]) + datetime.timedelta(seconds=1)
        run, record = self.run_before_the_restart(MEFW_BOOT_TIME=utc_text(booted))
        self.assertEqual(self.stamp_version(), "11.8.50.3399")
        self.assertNotIn("A restart is pending", run.out)
        self.assertEqual(record["restartPending"], False)

    def test_a_flash_that_ended_now_waits_and_one_of_2000_does_not(self):
        for ended, pending, stamped in [(utc_text(datetime.datetime.utcnow()), True,
                                         "11.8.55.3510"),
                                        ("2000-01-01T00:00:00Z", False, "11.8.50.3399")]:
            self.state_dir.mkdir(parents=True, exist_ok=True)
            (self.state_dir / "last-flash.json").write_text(json.dumps({
                "schema": 1, "state": "finished", "ended": ended, "mode": "update",
                "firmware": {"installed": "11.8.50.3399", "kitbox": "11.8.55.3510",
                             "stamped": "11.8.55.3510"},
                "flash": {"started": True, "completed": True}}))
            run, record = self.run_before_the_restart()
            self.assertEqual(self.stamp_version(), stamped, ended)
            self.assertEqual(record["restartPending"], pending, ended)
            self.assertEqual(self.PENDING % ended in run.out, pending, ended)


@unittest.skipUnless(WINE, "only the Windows build writes events")
class Events(RecordTest):
    """wine's ReportEventW succeeds without a log; its trace names each event's type and ID and
    prints its strings."""

    SOURCE_KEY = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\mefwupdate"
    REPORT = re.compile(r"fixme:advapi:ReportEventW \([^,]*,0x([0-9a-f]{4}),0x[0-9a-f]{4},"
                        r"0x([0-9a-f]{8}),")
    TYPES = {1: "error", 2: "warning", 4: "information"}

    def events(self, *args):
        """The run and its events as (level, ID, the strings' trace)."""
        run = self.run_installer(*args, extra_env={"WINEDEBUG": "fixme+advapi,+eventlog"})
        events = []
        for line in run.err.splitlines():
            found = self.REPORT.search(line)
            if found:
                events.append((self.TYPES[int(found.group(1), 16)], int(found.group(2), 16), []))
            elif ":eventlog:ReportEventW" in line and events:
                events[-1][2].append(line.split("ReportEventW ", 1)[1])
        return run, events

    def test_every_run_leaves_an_event_of_its_registered_source(self):
        run, events = self.events("-s")
        self.assert_code(run, 0)
        self.assertEqual([event[:2] for event in events], [("information", 9000),
                                                           ("information", 0)], run.err)
        self.assertIn('L"11.8.50.3399"', events[0][2])
        self.assertIn('L"The firmware was updated from 11.8.50.3399 to 11.8.55.3510."',
                      events[1][2])
        self.assertIn('L"%s"' % windows_path(self.kitbox).replace("\\", "\\\\"), events[1][2])
        self.scenario("wmic", "bios N01 Ver. 1.03.0\n")
        run, events = self.events("-s")
        self.assert_code(run, 2011)
        self.assertEqual([event[:2] for event in events], [("error", 2011)])
        self.assertTrue(events[0][2][0].startswith('L"ERROR 2011s: '), events[0][2])
        run, events = self.events("-scan")
        self.assert_code(run, 2011)
        self.assertEqual([event[:2] for event in events], [("information", 12011)])
        # The source's values name a message file outside the Kitbox, which is there.
        query = subprocess.run(["wine", "reg", "query", self.SOURCE_KEY],
                               env=dict(os.environ, WINEPREFIX=str(self.prefix), WINEDEBUG="-all"),
                               stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, timeout=120,
                               check=True).stdout.decode("latin-1")
        values = dict(re.findall(r"^\s+(\w+)\s+REG_\w+\s+(.*?)\r?$", query, re.M))
        self.assertEqual(values["TypesSupported"], "0x7", query)
        message_file = values["EventMessageFile"]
        self.assertEqual(message_file.lower(),
                         "c:\\programdata\\norvane\\mefwupdate\\mefwupdate-messages.dll")
        on_host = self.state_dir / "mefwupdate-messages.dll"
        self.assertEqual(on_host.read_bytes()[:2], b"MZ")


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
