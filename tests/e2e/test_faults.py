"""Faults, end to end: broken or hostile tool output, files that cannot be written, a full
disk, a missing system drive, odd input at the prompt and odd input.txt files. Each run must end
with its documented exit code, without a crash or a hang, and without a lost or corrupt file."""

import os
import pathlib
import pty
import random
import re
import shutil
import signal
import subprocess
import threading
import time
import unittest

from harness import BANNER, DEFAULT_INPUT, UNSET, WINE, KitboxTest, error_report, windows_path

MB = 1024 * 1024
# 64 MB on the plain POSIX build; the build sets less where every byte costs more.
BIG = int(os.environ.get("MEFW_E2E_HUGE_MB", "64")) * MB
# A query keeps at most 32 MiB of output: the huge outputs that must still be read whole stay
# below that.
QUERY_CAP = 32 * MB
QUERY_BIG = min(BIG, 24 * MB)
SEP = "\\" if WINE else "/"
UPDATE_CALL = "FwUpdLcl64 -f ME_Flash%s11.8.55.3510.bin" % SEP
PROGRESS_LINES = b"".join(b"FW Update:  [ %3d%% (%s)]\r" % (p % 101, b"|/-\\"[p % 4:p % 4 + 1])
                          for p in range(1000))
COMPLETED = b"\r\nFW Update is completed successfully.\r\n"
CATALOGUE_CODES = {1000, 1001, 1002, 1003, 1005, 1010, 1011, 1012, 1013, 1014, 1015, 1016, 1017,
                   1018, 1019, 2000, 2001, 2003, 2010, 2011, 2012, 2013, 2014, 2018, 3000, 3001,
                   3002, 4000, 4001}


def sized(pattern, size):
    """`pattern` repeated to exactly `size` bytes."""
    return (pattern * (size // len(pattern) + 1))[:size]


def strace_works():
    """Whether strace is there and may trace here: a container can forbid ptrace."""
    if shutil.which("strace") is None:
        return False
    return subprocess.run(["strace", "-qq", "-o", os.devnull, "true"], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, timeout=60).returncode == 0


class FaultTest(KitboxTest):

    def setUp(self):
        super().setUp()
        self.make_kitbox()

    def tool_prints(self, run_name, data, name="output.bin"):
        """Makes the simulated update tool print `data` for one of its runs."""
        self.write(name, data)
        self.scenario("fwupdlcl", "[%s]\nfile %s\n" % (run_name, name))

    def assert_coded_failure(self, run):
        self.assertIn(run.code, {code if WINE else (code & 0xFF) for code in CATALOGUE_CODES},
                      run.out[-2000:])


class BrokenUpdateTool(FaultTest):

    def test_killed_at_once(self):
        self.scenario("fwupdlcl", "[-f]\nkill\n")
        run = self.run_installer("-s")
        self.assert_code(run, 2013)
        self.assertEqual(self.stamp_version(), "11.8.50.3399")

    def test_huge_output_that_completes(self):
        self.tool_prints("-f", sized(PROGRESS_LINES, BIG) + COMPLETED)
        run = self.run_installer("-s")
        self.assert_code(run, 0)
        self.assertEqual(self.stamp_version(), "11.8.55.3510")

    def test_huge_output_without_carriage_return(self):
        self.tool_prints("-f", sized(b"FW Update is completed, honest\n", BIG))
        run = self.run_installer("-s")
        self.assert_code(run, 2013)

    def test_binary_bytes_and_nuls(self):
        self.scenario("fwupdlcl", "[-f]\nbehaviour binary\n")
        run = self.run_installer("-s")
        self.assert_code(run, 0)
        noise = bytes(random.Random(7).randrange(256) for _ in range(256 * 1024))
        self.tool_prints("-f", noise)
        # As after a restart: the first flash no longer waits for one, so the stamp has the
        # version the tool reads.
        (self.state_dir / "last-flash.json").unlink()
        run = self.run_installer("-s")
        self.assert_coded_failure(run)
        self.assertEqual(self.stamp_version(), "11.8.50.3399")


class BrokenQueries(FaultTest):

    def test_wmic_prints_nothing_or_garbage(self):
        for behaviour in ["empty", "garbage", "error"]:
            self.scenario("wmic", "behaviour %s\n" % behaviour)
            run = self.run_installer("-s")
            self.assert_code(run, 2000)

    def test_wmic_prints_a_huge_output(self):
        self.write("wmic.bin",
                   sized(b"SMBIOSBIOSVersion header without a version\r\r\n", QUERY_BIG))
        self.scenario("wmic", "file wmic.bin\n")
        run = self.run_installer("-s")
        self.assert_code(run, 2000)
        self.write("wmic.bin", sized(b"noise 1234\r\r\n", QUERY_BIG) + b"N01 Ver. 1.05.2\r\r\n")
        run = self.run_installer("-s")
        self.assert_code(run, 0)

    def test_version_query_prints_nothing_garbage_or_a_huge_error(self):
        self.scenario("fwupdlcl", "[-fwver]\nbehaviour empty\n")
        self.assert_code(self.run_installer("-s"), 1015)
        self.tool_prints("-fwver", bytes(range(256)) * 64)
        self.assert_code(self.run_installer("-s"), 1015)
        self.tool_prints("-fwver", b"Error 8193: " + sized(b"details ", QUERY_BIG))
        run = self.run_installer("-s")
        self.assert_code(run, 4000)
        self.assertIsNone(self.stamp())
        # The record keeps the start of the tool's error, 64 KiB at most, and says it was cut.
        text = self.run_record()["message"]["text"].encode()
        self.assertLessEqual(len(text), 64 * 1024)
        self.assertTrue(text.startswith(b"ERROR 8193v: details details"), text[:100])
        self.assertTrue(text.endswith(b" of %d bytes are kept]" % (QUERY_BIG + 13)), text[-100:])

    def test_version_query_past_the_output_cap(self):
        # Ended at the cap as at its time limit: the version printed after it never counts.
        self.tool_prints("-fwver", sized(b"details 1234\r\n", QUERY_CAP + 1)
                         + b"FW Version: 11.8.50.3399\r\n")
        limit = 256 if os.environ.get("MEFW_E2E_MEMORY_LIMITS") == "1" else None
        run = self.run_installer("-s", "-v", memory_limit_mb=limit)
        self.assert_code(run, 1015)
        self.assertIn("Command ended after 33554432 bytes of output: "
                      "ME_Flash\\Local-Win\\FwUpdLcl64.exe -fwver\n", run.out)
        self.assertIsNone(self.stamp())
        # Exactly at the cap the output is whole.
        version = b"\r\nFW Version: 11.8.50.3399\r\n\r\n"
        self.tool_prints("-fwver", sized(b"details 1234\r\n", QUERY_CAP - len(version)) + version)
        self.assert_code(self.run_installer("-s"), 0)

    def test_version_with_oversized_fields(self):
        for version in ["11.8.50.99999999999", "70000.1.2.3"]:
            self.scenario("fwupdlcl", "fwver %s\n" % version)
            run = self.run_installer("-s")
            self.assertIn(run.code, {1018 if WINE else 1018 & 0xFF, 1019 if WINE else 1019 & 0xFF})
            self.assertIsNone(self.stamp())


class BiosFromTheFirmwareTable(FaultTest):
    """Where wmic gives no version, the BIOS Version string of the SMBIOS table stands in. The
    POSIX build reads the table staged by the test; the Windows build reads wine's own, which
    holds no usable version here."""

    FALLBACK = "wmic gave no BIOS version.\nReading the SMBIOS table.\n"

    def setUp(self):
        super().setUp()
        self.stage_smbios_table("N01 Ver. 1.05.2")

    def assert_fallback_outcome(self, run):
        self.assertIn(self.FALLBACK, run.out)
        if WINE:
            self.assert_code(run, 2000)
            self.assertIn("ERROR 2000s: Could not retrieve BIOS version.", run.out)
            self.assertIsNone(self.stamp())
        else:
            self.assert_code(run, 0)
            # Read through wmic's layout: the column's padding joins the version.
            self.assertIn("SMBIOS BIOS version: N01 Ver. 1.05.2\n"
                          "BIOS version: N01 Ver. 1.05.2    \n\n", run.out)
            self.assertEqual(self.stamp_version(), "11.8.55.3510")

    @unittest.skipIf(WINE, "wine's wmic is in the shared prefix: test_system_folder removes it")
    def test_update_without_wmic(self):
        (self.posix_tools / "wmic").unlink()
        self.assert_fallback_outcome(self.run_installer("-s", "-v"))

    def test_update_with_wmic_printing_garbage(self):
        self.scenario("wmic", "behaviour garbage\n")
        self.assert_fallback_outcome(self.run_installer("-s", "-v"))

    @unittest.skipIf(WINE, "wine's wmic is in the shared prefix: test_system_folder removes it")
    def test_system_information_without_wmic(self):
        (self.posix_tools / "wmic").unlink()
        run = self.run_installer("-systeminfo")
        self.assert_code(run, 1)
        self.assertIn("\r-BIOS version:\tn01 ver. 1.05.2    \n", run.out)

    def test_either_source_gives_the_same_outcome(self):
        """A last word that looks like a family code decides, and a family code alone is a
        version, through wmic and through the table alike. Under wine the table is wine's own,
        so only the wmic side runs there."""
        for bios, code in [("N01 Ver. 1.05.2 A01", 2010), ("N01", 2012)]:
            self.scenario("wmic", "bios %s\n" % bios)
            through_wmic = self.run_installer("-s")
            self.assert_code(through_wmic, code)
            if WINE:
                continue
            self.stage_smbios_table(bios)
            self.scenario("wmic", "behaviour error\n")
            through_table = self.run_installer("-s", "-v")
            self.assertIn(self.FALLBACK, through_table.out)
            self.assertEqual(through_table.code, through_wmic.code, (bios, through_table))

    def test_both_sources_without_version(self):
        self.stage_smbios_table("")
        self.scenario("wmic", "behaviour error\n")
        run = self.run_installer("-s", "-v")
        self.assert_code(run, 2000)
        self.assertIn(self.FALLBACK, run.out)
        self.assertIsNone(self.stamp())

    def test_wmic_that_prints_without_end(self):
        # Ended at the output cap well within its time limit, and handled as a wmic that timed
        # out; on the plain POSIX build within a memory limit that an unbounded reading breaks.
        self.scenario("wmic", "repeat 1000000000 noise without a version 1234\\r\\r\\n\n")
        limit = 256 if os.environ.get("MEFW_E2E_MEMORY_LIMITS") == "1" else None
        started = time.monotonic()
        run = self.run_installer("-s", "-v", timeout=120, memory_limit_mb=limit)
        self.assertLess(time.monotonic() - started, 60)
        # Windows names the system folder's wmic.
        self.assertRegex(run.out, r"Command ended after 33554432 bytes of output: "
                         r"(wmic|\S+\\wbem\\WMIC\.exe) bios get smbiosbiosversion\n")
        self.assertNotIn("1017h", run.out)
        self.assert_fallback_outcome(run)

    @unittest.skipUnless(os.environ.get("MEFW_E2E_REAL_LIMITS") == "1",
                         "waits out the real 60-second limit: plain POSIX build only")
    def test_wmic_that_never_ends(self):
        self.scenario("wmic", "behaviour hang\n")
        run = self.run_installer("-s", "-v", timeout=150)
        self.assertIn("Command ended after its time limit of 60 seconds: "
                      "wmic bios get smbiosbiosversion\n", run.out)
        self.assert_fallback_outcome(run)


class FilesThatCannotBeWritten(FaultTest):

    def test_logs_in_the_way_do_not_change_the_outcome(self):
        self.path("installerError.log").mkdir()
        self.path("runLog.log").mkdir()
        run = self.run_installer("-s", "-log", "-bogus")
        self.assert_code(run, 1014)
        self.assertTrue(run.out.endswith(
            "Printing error log file to installerError.log\n"
            "ERROR 2003s: Cannot write to file installerError.log."
            "Printing log file to runLog.log\nERROR 2003s: Cannot write to file runLog.log."))

    def test_stamp_in_the_way_stops_before_the_update(self):
        (self.drive / "MeFwVer.sys").mkdir()
        try:
            run = self.run_installer("-s")
            self.assert_code(run, 2003)
            self.assertNotIn(UPDATE_CALL, run.calls)
        finally:
            (self.drive / "MeFwVer.sys").rmdir()

    def test_new_version_the_stamp_cannot_carry(self):
        self.write("input.txt", DEFAULT_INPUT.replace("11.8.55.3510", "11.8.70000.1"))
        self.write("ME_Flash/11.8.70000.1.bin", "image")
        run = self.run_installer("-s")
        self.assert_code(run, 1019)
        self.assertIn("ERROR 1019h: Version 11.8.70000.1 cannot be written to the version stamp",
                      run.out)
        self.assertNotIn("DO NOT SHUT DOWN", run.out)
        self.assertFalse([call for call in run.calls if call.startswith("FwUpdLcl64 -f ")])
        self.assertEqual(self.stamp_version(), "11.8.50.3399")

    def test_stamp_that_becomes_unwritable_during_the_update(self):
        self.scenario("fwupdlcl", "[-f]\nbehaviour preamble\nawait go.flag\n"
                                  "behaviour verification\nbehaviour update\nbehaviour done\n")
        first = self.start_installer("-s")
        blocker = self.drive / "MeFwVer.sys"
        try:
            self.wait_for_call(UPDATE_CALL)
            blocker.unlink()
            blocker.mkdir()
            self.write("go.flag", "")
            run = self.finish_installer(first)
        finally:
            if blocker.is_dir():
                blocker.rmdir()
        self.assert_code(run, 2014)
        self.assertIn("ERROR 2014s: The firmware was updated, but its version stamp was not "
                      "written: 2003s: Cannot write to file ", run.out)

    def test_read_only_working_folder(self):
        if WINE or subprocess.run(["chattr", "+i", str(self.kitbox)],
                                  stderr=subprocess.DEVNULL).returncode != 0:
            self.skipTest("needs a folder that even root cannot write (chattr +i on POSIX)")
        try:
            run = self.run_installer("-s")
            self.assert_code(run, 0)
            run = self.run_installer("-s", "-bogus")
            self.assert_code(run, 1014)
            self.assertTrue(run.out.endswith("ERROR 2003s: Cannot write to file "
                                             "installerError.log."))
        finally:
            subprocess.run(["chattr", "-i", str(self.kitbox)])


@unittest.skipIf(WINE, "a full disk and the system drive variable can only be staged on POSIX")
class FullDiskAndMissingDrive(FaultTest):

    def full(self, path):
        path.parent.mkdir(parents=True, exist_ok=True)
        os.symlink("/dev/full", path)

    def test_full_disk_for_the_logs_and_the_report(self):
        self.full(self.path("installerError.log"))
        self.full(self.path("runLog.log"))
        run = self.run_installer("-s", "-log", "-bogus")
        self.assert_code(run, 1014)
        self.assertIn("ERROR 2003s: Cannot write to file installerError.log.", run.out)
        self.assertIn("ERROR 2003s: Cannot write to file runLog.log.", run.out)
        self.full(self.path("meInfoVerbose.txt"))
        run = self.run_installer("-s", "-meinfo")
        self.assert_code(run, 2003)

    def test_full_disk_for_the_stamp_keeps_the_old_one(self):
        self.assert_code(self.run_installer("-s"), 0)
        old = self.stamp()
        self.scenario("fwupdlcl", "fwver 11.8.50.3300\n")
        # The stamp's temporary file has a new name each time, so no link can stand in for it:
        # the drive itself takes no more files (chattr +i, which even root cannot pass).
        if subprocess.run(["chattr", "+i", str(self.drive)],
                          stderr=subprocess.DEVNULL).returncode != 0:
            self.skipTest("needs a folder that even root cannot write (chattr +i)")
        try:
            run = self.run_installer("-s")
        finally:
            subprocess.run(["chattr", "-i", str(self.drive)])
        self.assert_code(run, 2003)
        self.assertEqual(self.stamp(), old)

    def test_system_drive_unset_or_nowhere(self):
        run = self.run_installer("-s", system_drive=UNSET)
        self.assert_code(run, 2001)
        self.assertIn(error_report("ERROR 2001s: Cannot find OS drive."), run.out)
        run = self.run_installer("-s", system_drive=str(self.root / "no-such-drive"))
        self.assert_code(run, 2003)
        self.assertNotIn(UPDATE_CALL, run.calls)


# The flash stops after the verification until the test creates go.flag, and marks its end.
HELD_FLASH = ("[-f]\nbehaviour preamble\nbehaviour verification\nawait go.flag\n"
              "behaviour update\nbehaviour done\ntouch flash.done\n")
LEFTOVER_LINE = ("A program the update tool started was still running 10 seconds after the tool "
                 "ended; its output is no longer read, and the computer is not restarted.\n")


class TheFlashOutlivesWhatEndsTheInstaller(FaultTest):
    """Nothing but a power cut ends a flash: not a signal, not Ctrl+C, not the agent's job."""

    def wait_for_file(self, name, timeout=60):
        deadline = time.monotonic() + timeout
        while not self.exists(name):
            self.assertLess(time.monotonic(), deadline, "no %s" % name)
            time.sleep(0.05)

    def test_what_the_flash_leaves_running_is_let_go_of_after_ten_seconds(self):
        # Under wine the helper holds the guard of the whole prefix: it ends soon after the bound.
        self.scenario("fwupdlcl", "[-f]\nbehaviour default\ntouch flash.done\nleave %d\n"
                      % (16000 if WINE else 60000))
        installer = self.start_installer("-s", "-r", "-v")
        self.wait_for_file("flash.done", timeout=120)
        flashed = time.monotonic()
        # Under wine the helper also holds the installer's inherited output handles, so its end
        # is told by the launcher's exit code file rather than by the end of its output.
        while installer.poll() is None and not installer.exit_file.exists():
            self.assertLess(time.monotonic() - flashed, 15, "the installer still runs")
            time.sleep(0.05)
        run = self.finish_installer(installer, timeout=120)
        self.assert_code(run, 0)
        self.assertIn(LEFTOVER_LINE, run.out)
        self.assertEqual(self.restarts(run), [])
        record = self.run_record("last-flash.json")
        self.assertEqual((record["flash"], record["restartRequested"]),
                         ({"started": True, "completed": True, "leftover": True}, False))
        if WINE:
            self.assert_code(self.run_once_the_guard_is_free(), 0)

    @unittest.skipIf(WINE, "terminal signals are POSIX's")
    def test_hang_up_and_interrupt_end_neither_the_installer_nor_the_flash(self):
        self.scenario("fwupdlcl", HELD_FLASH)
        installer = self.start_installer("-s", new_session=True)
        try:
            self.wait_for_call(UPDATE_CALL)
            children = pathlib.Path("/proc/%d/task/%d/children" % (installer.pid, installer.pid))
            flash = int(children.read_text().split()[0])
            self.assertEqual(os.getpgid(flash), flash, "the flash has no process group of its own")
            for sent in (signal.SIGHUP, signal.SIGINT):
                for group in (installer.pid, flash):
                    os.killpg(group, sent)
            time.sleep(0.2)
        finally:
            self.write("go.flag", "")
        run = self.finish_installer(installer, timeout=120)
        self.assert_code(run, 0)
        self.assertTrue(self.exists("flash.done"))
        self.assertEqual(self.run_record()["state"], "finished")

    @unittest.skipUnless(WINE, "a console's Ctrl+C is Windows'")
    def test_ctrl_c_on_the_console_ends_neither_the_installer_nor_the_flash(self):
        self.scenario("fwupdlcl", HELD_FLASH)
        trigger = self.root / "ctrl-c.flag"
        exit_file = self._exit_file("exit-code.txt")
        command, env = self._command(("-s",), None, exit_file,
                                     extra_env={"MEFW_CTRL_C_ON_FILE": windows_path(trigger)})
        # A console of its own, on a terminal, that the launcher shares with the installer.
        controller, terminal = pty.openpty()
        process = subprocess.Popen(command, cwd=self.kitbox, stdin=terminal, stdout=terminal,
                                   stderr=subprocess.PIPE, env=env)
        os.close(terminal)
        reader = threading.Thread(target=self._drain, args=(controller,))
        reader.start()
        try:
            self.wait_for_call(UPDATE_CALL)
            trigger.write_text("")
            time.sleep(1)
        finally:
            self.write("go.flag", "")
        _, stderr = process.communicate(timeout=120)
        reader.join()
        self.assertIn(b"ctrl-c sent: 1", stderr)
        self.assertEqual(exit_file.read_text().strip(), "0")
        self.assertTrue(self.exists("flash.done"))

    @staticmethod
    def _drain(controller):
        try:
            while os.read(controller, 4096):
                pass
        except OSError:
            pass
        os.close(controller)

    @unittest.skipUnless(WINE, "a deployment agent's job is Windows'")
    def test_closing_the_agents_job_does_not_end_the_flash(self):
        self.scenario("fwupdlcl", HELD_FLASH)
        close = self.root / "close-job.flag"
        installer = self.start_installer("-s", extra_env={
            "MEFW_JOB": "breakaway", "MEFW_CLOSE_JOB_ON_FILE": windows_path(close)})
        try:
            self.wait_for_call(UPDATE_CALL)
            close.write_text("")
            installer.wait(timeout=120)
        finally:
            self.write("go.flag", "")
        self.finish_installer(installer, read_output=False)
        self.wait_for_file("flash.done")
        # The installer was ended with its job: its record says so, and the flash keeps the guard.
        self.assertEqual(self.run_record("last-flash.json")["state"], "flashing")
        self.assert_code(self.run_once_the_guard_is_free(), 0)
        # A job that lets nothing break away still gets its flash, once.
        flashes = self.calls().count(UPDATE_CALL)
        run = self.run_installer("-s", extra_env={"MEFW_JOB": "no-breakaway"})
        self.assert_code(run, 0)
        self.assertEqual(run.calls.count(UPDATE_CALL), flashes + 1)

    @unittest.skipUnless(WINE, "a file held without delete sharing is Windows'")
    def test_a_stamp_held_for_a_moment_is_still_replaced(self):
        self.scenario("fwupdlcl", "[-fwver]\nbehaviour default\ntouch fwver.done\n")
        stamp = self.drive / "MeFwVer.sys"
        for hold_ms, code in [(1000, 0), (3000, 2003)]:
            stamp.write_bytes(b"old stamp")
            (self.kitbox / "fwver.done").unlink(missing_ok=True)
            run = self.run_installer("-s", extra_env={
                "MEFW_HOLD_FILE": windows_path(stamp),
                "MEFW_HOLD_UNTIL_FILE": windows_path(self.kitbox / "fwver.done"),
                "MEFW_HOLD_MS": str(hold_ms)})
            self.assert_code(run, code)
        self.assertEqual(stamp.read_bytes(), b"old stamp")

    def test_names_planted_beside_the_stamp_and_the_records_change_nothing(self):
        (self.drive / "MeFwVer.sys.tmp").mkdir()
        try:
            self.state_dir.mkdir(parents=True, exist_ok=True)
            target = self.root / "target"
            target.write_text("untouched")
            os.symlink(target, self.state_dir / "last-run.json.tmp")
            run = self.run_installer("-s")
            self.assert_code(run, 0)
            self.assertEqual(self.stamp_version(), "11.8.55.3510")
            self.assertEqual(self.run_record()["state"], "finished")
            self.assertEqual(target.read_text(), "untouched")
        finally:
            (self.drive / "MeFwVer.sys.tmp").rmdir()

    @unittest.skipIf(WINE or not strace_works(), "traces system calls on POSIX, where ptrace is allowed")
    def test_a_synced_replace_is_on_the_disk_before_it_counts(self):
        trace = self.root / "trace.txt"
        # LeakSanitizer cannot work under ptrace: the sanitizer build leaves leaks to its other runs.
        run = self.run_installer("-s", extra_env={"ASAN_OPTIONS": "detect_leaks=0"},
                                 under=["strace", "-f", "-y", "-qq", "-o", str(trace), "-e",
                                        "trace=fsync,rename,renameat,renameat2"])
        self.assert_code(run, 0)
        calls = []
        for line in trace.read_text().splitlines():
            fsync = re.search(r"fsync\(\d+<([^>]*)>\)", line)
            rename = re.search(r'rename(?:at2?)?\((?:[^,]*, )?"([^"]*)", (?:[^,]*, )?"([^"]*)"', line)
            if fsync:
                calls.append(("fsync", fsync.group(1)))
            elif rename:
                calls.append(("rename", rename.group(1), rename.group(2)))
        stamp = str(self.drive / "MeFwVer.sys")
        flash_record = str(self.state_dir / "last-flash.json")
        for target in (stamp, flash_record, stamp):
            at = next(i for i, call in enumerate(calls) if call[0] == "rename" and call[2] == target)
            temporary = calls[at][1]
            self.assertRegex(temporary, re.escape(target) + r"\.tmp-[0-9a-f]{16}$")
            self.assertEqual(calls[at - 1], ("fsync", temporary))
            self.assertEqual(calls[at + 1], ("fsync", os.path.dirname(target)))
            del calls[:at + 2]


class PromptInput(FaultTest):

    def test_empty_and_invalid_input_mean_no(self):
        for stdin in [b"", b"\n\n  \t\n", b"x " * 100000]:
            run = self.run_installer(stdin=stdin, timeout=300)
            self.assert_code(run, 100)
            self.assertNotIn(UPDATE_CALL, run.calls)


class OddInputFiles(FaultTest):

    def test_empty_and_binary_input_files(self):
        self.write("input.txt", "")
        self.assert_code(self.run_installer("-s"), 1011)
        self.write("input.txt", bytes(random.Random(3).randrange(256) for _ in range(65536)))
        self.assert_coded_failure(self.run_installer("-s"))

    def test_huge_input_file(self):
        size = 100 * MB if BIG >= 64 * MB else BIG
        self.write("input.txt", sized(b"# a comment line that names no key at all\r\n", size) +
                   DEFAULT_INPUT.encode())
        run = self.run_installer("-s")
        self.assert_code(run, 0)

    def test_carriage_return_line_ends_make_one_line(self):
        self.write("input.txt", DEFAULT_INPUT.replace("\n", "\r"))
        run = self.run_installer("-s")
        self.assert_code(run, 1012)

    def test_shell_metacharacters_run_nothing(self):
        self.write("input.txt",
                   "meFirmwareFile = 11.8.55.3510.bin & echo pwned > pwned1 | touch pwned2\n"
                   "supportedPlatforms = aster; touch pwned3 `touch pwned4` $(touch pwned5)\n"
                   "upfrontMessage = \"quoted\" & touch pwned6 ; %PATH% $HOME `touch pwned7`\n"
                   "prereqBios = 1.04.0&&touch pwned8\n")
        run = self.run_installer("-s")
        self.assert_code(run, 0)
        self.assertEqual([call for call in run.calls if not call.startswith("timeout")],
                         ["wmic bios get smbiosbiosversion", "FwUpdLcl64 -fwver", UPDATE_CALL])
        self.assertEqual(sorted(p.name for p in self.kitbox.iterdir() if "pwned" in p.name), [])
        self.assertIn("\"quoted\" & touch pwned6 ; %PATH% $HOME `touch pwned7`\n", run.out)


if __name__ == "__main__":
    unittest.main()
