"""What stops a run before the firmware is touched, end to end: a second installer while one
flashes, a crashed first run, a low battery; a closed standard output that must not end a flash;
and the Windows program's defence against DLLs planted beside it."""

import os
import shutil
import signal
import unittest

from harness import WINE, KitboxTest, error_report

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

    def test_crashed_run_leaves_no_stale_guard(self):
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
            if not WINE:
                # A lock file left behind does not count as held.
                self.assertTrue((self.tmp / "mefwupdate.lock").exists())
            # The orphaned tool still waits in its flash: it holds no guard either.
            self.scenario("fwupdlcl", "")
            run = self.run_installer("-s")
        finally:
            self.write("go.flag", "")
        self.assert_code(run, 0)
        self.assertEqual(len(self.flash_calls()), 2)
        self.assertEqual(self.stamp_version(), "11.8.55.3510")


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
