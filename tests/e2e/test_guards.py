"""What stops a run before the firmware is touched, end to end: a second installer while one
flashes, the flash of a killed first run, a guard that something stands in the way of, a low
battery; an error line or a closed standard output that must not end a flash; and the Windows
program's defence against DLLs planted beside it."""

import os
import pathlib
import shutil
import signal
import stat
import subprocess
import sys
import unittest

from harness import WINE, KitboxTest, error_report, windows_path

SEP = "\\" if WINE else "/"
UPDATE_CALL = "FwUpdLcl64 -f ME_Flash%s11.8.55.3510.bin" % SEP
ANOTHER_RUN = ("ERROR 2015s: Another firmware update is running on this computer. Run the "
               "installer again when it has finished.")
# The flash stops after the verification until the test creates go.flag.
HELD_FLASH = ("[-f]\nbehaviour preamble\nbehaviour verification\nawait go.flag\n"
              "behaviour update\nbehaviour done\n")


class GuardTest(KitboxTest):

    def setUp(self):
        super().setUp()
        self.make_kitbox()

    def flash_calls(self):
        return [call for call in self.calls() if call.startswith("FwUpdLcl64 -f ")]


class SingleInstance(GuardTest):

    def test_second_installer_ends_at_once_and_the_first_finishes(self):
        self.scenario("fwupdlcl", HELD_FLASH)
        first = self.start_installer("-s")
        try:
            self.wait_for_call(UPDATE_CALL)
            calls = self.calls()
            second = self.run_installer("-s", "-meinfo")
            self.assert_code(second, 2015)
            self.assertIn(error_report(ANOTHER_RUN), second.out)
            second = self.run_installer("-s")
            self.assert_code(second, 2015)
            self.assertEqual(second.calls, calls)  # neither ran a tool
        finally:
            self.write("go.flag", "")
            run = self.finish_installer(first)
        self.assert_code(run, 0)
        self.assertIn("Update complete.", run.out)
        self.assertEqual(self.stamp_version(), "11.8.55.3510")

    def test_flash_of_a_killed_installer_keeps_the_guard(self):
        self.scenario("fwupdlcl", HELD_FLASH)
        crash_flag = self.root / "crash.flag"
        first = self.start_installer("-s", terminate_on=crash_flag)
        try:
            self.wait_for_call(UPDATE_CALL)
            if WINE:
                crash_flag.write_text("")
            else:
                os.kill(first.pid, signal.SIGKILL)
            crashed = self.finish_installer(first, timeout=120, read_output=False)
            self.assertEqual(crashed.code, -1073741819 if WINE else -signal.SIGKILL)
            # The orphaned tool still waits in its flash, and the guard went with it.
            second = self.run_installer("-s")
            self.assert_code(second, 2015)
            self.assertIn(error_report(ANOTHER_RUN), second.out)
            self.assertEqual(len(self.flash_calls()), 1)
        finally:
            self.write("go.flag", "")
        # Once the orphan has ended, nothing is left behind to block the next run.
        self.scenario("fwupdlcl", "")
        run = self.run_once_the_guard_is_free()
        self.assert_code(run, 0)
        self.assertEqual(len(self.flash_calls()), 2)
        self.assertEqual(self.stamp_version(), "11.8.55.3510")

    def test_queries_do_not_hold_the_guard(self):
        # A version query that outlives its installer (here, one that waits for a file) would
        # otherwise keep every later run out.
        self.scenario("fwupdlcl", "[-fwver]\nawait go.flag\nbehaviour default\n")
        crash_flag = self.root / "crash.flag"
        first = self.start_installer("-s", terminate_on=crash_flag)
        try:
            self.wait_for_call("FwUpdLcl64 -fwver")
            if WINE:
                crash_flag.write_text("")
            else:
                os.kill(first.pid, signal.SIGKILL)
            self.finish_installer(first, timeout=120, read_output=False)
            self.scenario("fwupdlcl", "")
            run = self.run_installer("-s")
        finally:
            self.write("go.flag", "")
        self.assert_code(run, 0)


class FlashToItsEnd(GuardTest):

    def test_error_line_does_not_cut_the_flash_short(self):
        # The tool reports an error, then goes on to flash and complete. A closed pipe would end
        # it at its next write (POSIX) or make its writes fail (Windows); the file it writes at
        # its very end says whether all its output still reached the installer.
        self.scenario("fwupdlcl", "[-f]\nbehaviour preamble\n"
                      "out Error 8716: The image does not fit this platform.\\r\\n\\r\\n\n"
                      "sleep 300\nbehaviour verification\nbehaviour update\nbehaviour done\n"
                      "touch flash-end.flag\n")
        run = self.run_installer("-s")
        self.assert_code(run, 4001)
        self.assertIn(error_report("ERROR 8716u: The image does not fit this platform."), run.out)
        self.assertNotIn("Update complete.", run.out)  # what follows the error is not shown
        self.assertEqual(self.read("flash-end.flag"), b"output intact\n")
        self.assertEqual(len(self.flash_calls()), 1)

    def test_flash_is_never_run_twice_whatever_its_exit_status(self):
        # 127 and 9009 are what the command interpreter gives when it cannot start a command;
        # a query is then run once more, a flash never.
        for status in [126, 127, 9009]:
            with self.subTest(status):
                self.path("sim-calls.log").unlink(missing_ok=True)
                self.scenario("fwupdlcl", "[-f]\nbehaviour preamble\nexit %d\n" % status)
                run = self.run_installer("-s")
                self.assert_code(run, 2013)
                self.assertEqual(len(self.flash_calls()), 1)

    def test_query_the_interpreter_could_not_start_is_run_once_more(self):
        self.scenario("wmic", "exit %d\n" % (9009 if WINE else 127))
        run = self.run_installer("-s")
        self.assertEqual([call for call in run.calls if call.startswith("wmic")],
                         ["wmic bios get smbiosbiosversion"] * 2)
        self.assert_code(run, 2000)  # no version from wmic, and no usable SMBIOS table


@unittest.skipIf(WINE, "the POSIX build's lock file")
class LockFileInTheWay(GuardTest):
    """Whatever stands at the lock's path or lets others into its folder ends the run at once
    with 2019s: it never hangs, never runs a tool, never goes on unguarded."""

    def lock(self):
        return self.lock_dir / "mefwupdate.lock"

    def assert_refused(self, problem):
        run = self.run_installer("-s", timeout=30)  # a hang would end the test here
        self.assert_code(run, 2019)
        self.assertIn(error_report("ERROR 2019s: The one-instance guard %s cannot be set up: "
                                   "%s." % (self.lock(), problem)), run.out)
        self.assertEqual(run.calls, [])

    def test_things_planted_at_the_lock_path(self):
        lock = self.lock()
        elsewhere = self.root / "elsewhere.lock"
        elsewhere.write_text("")
        elsewhere.chmod(0o600)

        def file_others_may_open():
            lock.write_text("")
            lock.chmod(0o644)

        cases = {
            "a FIFO": (lambda: os.mkfifo(lock, 0o600), "it is not a plain file"),
            "a symbolic link": (lambda: os.symlink(elsewhere, lock),
                                "a symbolic link stands at its path"),
            "a folder": (lambda: lock.mkdir(mode=0o700), "it is not a plain file"),
            "a file others may open": (file_others_may_open, "other users may open it"),
        }
        if os.geteuid() == 0:
            def file_of_another_user():
                lock.write_text("")
                lock.chmod(0o600)
                os.chown(lock, 65534, 65534)
            cases["another user's file"] = (file_of_another_user, "it belongs to another user")
        for name, (plant, problem) in cases.items():
            with self.subTest(name):
                plant()
                try:
                    self.assert_refused(problem)
                finally:
                    if lock.is_dir() and not lock.is_symlink():
                        lock.rmdir()
                    else:
                        lock.unlink()
        self.assert_code(self.run_installer("-s"), 0)

    def test_folder_that_others_may_write(self):
        self.lock_dir.chmod(0o777)
        self.assert_refused("other users may write its folder")
        self.lock_dir.chmod(0o700)
        self.assert_code(self.run_installer("-s"), 0)

    @unittest.skipUnless(os.geteuid() == 0 and shutil.which("setpriv"),
                         "root's own lock folder, and another user to try it")
    def test_root_lock_in_a_folder_of_its_own_that_no_one_else_can_open(self):
        self.lock_dir = None  # the default place: /run/mefwupdate
        self.assert_code(self.run_installer("-s", "-meinfo"), 1)
        folder = pathlib.Path("/run/mefwupdate")
        self.assertEqual(stat.S_IMODE(folder.stat().st_mode), 0o700)
        self.assertEqual(stat.S_IMODE((folder / "mefwupdate.lock").stat().st_mode), 0o600)
        attempt = subprocess.run(
            ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", sys.executable,
             "-c", "open('/run/mefwupdate/mefwupdate.lock')"],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        self.assertNotEqual(attempt.returncode, 0)
        self.assertIn(b"PermissionError", attempt.stderr)


@unittest.skipUnless(WINE, "the Windows guard object")
class GuardObjectInTheWay(GuardTest):

    def test_event_under_the_guards_name(self):
        # Any local user may make an event in Global\; CreateMutex then fails, and the run
        # must end rather than go on unguarded.
        release = self.root / "release.flag"
        holder = subprocess.Popen(
            ["wine", os.environ["MEFW_EVENT_HOLDER"], "Global\\Norvane.mefwupdate",
             windows_path(release)], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
            stderr=subprocess.PIPE)
        try:
            self.assertEqual(holder.stdout.readline().strip(), b"ready")
            run = self.run_installer("-s")
            self.assert_code(run, 2019)
            self.assertIn(error_report(
                "ERROR 2019s: The one-instance guard Global\\Norvane.mefwupdate cannot be set "
                "up: another kind of object holds its name."), run.out)
            self.assertEqual(run.calls, [])
        finally:
            release.write_text("")
            holder.communicate(timeout=60)
        self.assert_code(self.run_installer("-s"), 0)


@unittest.skipIf(WINE, "the power supply folder is read by the POSIX build only")
class Power(GuardTest):

    def supplies(self, **entries):
        """Writes a power supply folder: each entry a dict of its files' contents."""
        for name, files in entries.items():
            folder = self.power_supply / name
            folder.mkdir(parents=True)
            for key, value in files.items():
                (folder / key).write_text(value + "\n")

    def battery(self, capacity, status="Discharging", **more):
        return dict(type="Battery", capacity=str(capacity), status=status, present="1", **more)

    def test_low_battery_refuses_the_update_before_the_flash(self):
        self.write("input.txt", "meFirmwareFile = 11.8.55.3510.bin\nsupportedPlatforms = aster\n"
                                "upfrontMessage = Read this first\n")
        self.supplies(AC=dict(type="Mains", online="0"), BAT0=self.battery(10))
        run = self.run_installer("-s")
        self.assert_code(run, 2016)
        self.assertIn(error_report(
            "ERROR 2016s: The computer is running on battery with 10% charge. Connect it to "
            "mains power and run the update again."), run.out)
        self.assertNotIn("Read this first", run.out)
        self.assertEqual(self.flash_calls(), [])
        self.assertEqual(self.stamp_version(), "11.8.50.3399")

    def test_enough_charge_or_outside_power_lets_the_update_go_on(self):
        layouts = {
            "80 % on battery": dict(AC=dict(type="Mains", online="0"), BAT0=self.battery(80)),
            "mains online": dict(AC=dict(type="Mains", online="1"), BAT0=self.battery(10)),
            "USB power online": dict(usb=dict(type="USB", online="1"), BAT0=self.battery(10)),
            "charging, no mains listed": dict(BAT0=self.battery(10, "Charging")),
            "only a mouse's battery": dict(
                AC=dict(type="Mains", online="0"), mouse=self.battery(5, scope="Device")),
            "charge unreadable": dict(AC=dict(type="Mains", online="0"), BAT0=self.battery("x")),
            "two batteries, 30 % together": dict(
                AC=dict(type="Mains", online="0"), BAT0=self.battery(10), BAT1=self.battery(50)),
        }
        for name, layout in layouts.items():
            with self.subTest(name):
                shutil.rmtree(self.power_supply, ignore_errors=True)
                self.supplies(**layout)
                self.assert_code(self.run_installer("-s"), 0)
        shutil.rmtree(self.power_supply)
        self.supplies(AC=dict(type="Mains", online="0"), BAT0=self.battery(24))
        self.assert_code(self.run_installer("-s"), 2016)

    def test_several_batteries_are_weighed_by_what_they_hold(self):
        # 10 % of a large battery and 50 % of a small one: 14 % together, not 30 %.
        layouts = {
            "energy": ("energy_now", "energy_full"),
            "charge": ("charge_now", "charge_full"),
        }
        for name, (now, full) in layouts.items():
            with self.subTest(name):
                shutil.rmtree(self.power_supply, ignore_errors=True)
                self.supplies(AC=dict(type="Mains", online="0"),
                              BAT0=self.battery(10, **{now: "9000000", full: "90000000"}),
                              BAT1=self.battery(50, **{now: "5000000", full: "10000000"}))
                run = self.run_installer("-s")
                self.assert_code(run, 2016)
                self.assertIn("running on battery with 14% charge", run.out)
        # One battery that does not say what it holds: the plain average, 30 %, lets it go on.
        shutil.rmtree(self.power_supply)
        self.supplies(AC=dict(type="Mains", online="0"),
                      BAT0=self.battery(10, energy_now="9000000", energy_full="90000000"),
                      BAT1=self.battery(50))
        self.assert_code(self.run_installer("-s"), 0)


class ClosedOutput(GuardTest):

    def test_closed_standard_output_does_not_end_the_flash(self):
        self.scenario("fwupdlcl", HELD_FLASH)
        first = self.start_installer("-s")
        received = b""
        while len(received) < 600:
            chunk = os.read(first.stdout.fileno(), 600 - len(received))
            self.assertTrue(chunk, received)
            received += chunk
        first.stdout.close()  # as "head -c 600" does
        self.write("go.flag", "")
        run = self.finish_installer(first)
        self.assert_code(run, 0)
        self.assertEqual(self.stamp_version(), "11.8.55.3510")


@unittest.skipUnless(WINE, "the Windows program's imports")
class PlantedDlls(unittest.TestCase):

    SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll", "setupapi.dll", "shell32.dll", "advapi32.dll",
                   "user32.dll"}

    def test_only_system_dlls_are_imported_and_the_search_is_restricted(self):
        import pefile  # Debian's python3-pefile, as the stamp checks use
        from harness import PROGRAM
        image = pefile.PE(str(PROGRAM), fast_load=True)
        image.parse_data_directories(
            directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]])
        imports = {entry.dll.decode().lower(): {i.name.decode() for i in entry.imports if i.name}
                   for entry in image.DIRECTORY_ENTRY_IMPORT}
        self.assertLessEqual(set(imports), self.SYSTEM_DLLS)
        self.assertIn("SetDefaultDllDirectories", imports["kernel32.dll"])
