"""The update mode, end to end, with the simulated wmic and Intel tools: every outcome, what
the console shows, the exit code, the commands run and the stamp file before and after."""

import unittest

from harness import (BANNER, DEFAULT_INPUT, NOTICE_ADVICE, WINE, KitboxTest, error_report,
                     notice_report)

SEP = "\\" if WINE else "/"
WMIC_CALL = "wmic bios get smbiosbiosversion"
VERSION_CALL = "FwUpdLcl64 -fwver"
UPDATE_CALL = "FwUpdLcl64 -f ME_Flash%s11.8.55.3510.bin" % SEP

WARNING = (
    "Updating Management Engine firmware will require a reboot in order for the update to be "
    "effective.\nDO NOT SHUT DOWN, REBOOT, REMOVE POWER, OR INTERRUPT THE UPDATE.\n"
    "Your current ME version: %s\nUpdating  to ME version: %s\n\n")
QUESTION = "Do you want to update the Management Engine firmware now [Y/N]? "
COMPLETION = ("Update complete. You must reboot your computer in order for the Management Engine "
              "firmware update to be effective.\n\n")
# What the installer draws for the simulated tool's default update run.
PROGRESS = ("".join("Verifying FW image:  [ %3d %% ]\r" % p for p in range(101)) +
            "Verifying FW image:  [ COMPLETE ]\n\n" +
            "".join("Updating FW:  [ %3d %% ]\r" % p for p in range(101)))
MANUAL = ("Please refer to the README.htm file for instructions to manually update your "
          "Management Engine firmware.\n")


class CompletedUpdates(KitboxTest):

    def setUp(self):
        super().setUp()
        self.make_kitbox()

    def test_silent_update_flashes_and_stamps_the_new_version(self):
        run = self.run_installer("-s")
        self.assertEqual(run.out, BANNER + WARNING % ("11.8.50.3399", "11.8.55.3510") +
                         PROGRESS + COMPLETION)
        self.assert_code(run, 0)
        self.assertEqual(run.calls, [WMIC_CALL, VERSION_CALL, UPDATE_CALL])
        self.check_stamp("11.8.55.3510")
        self.assertFalse(self.exists("installerError.log"))

    def test_interactive_update_shows_the_message_and_asks(self):
        self.write("input.txt", DEFAULT_INPUT.replace(
            "prereqBios", "upfrontMessage = Keep it plugged in.\\nIt takes a minute.\nprereqBios"))
        run = self.run_installer(stdin=b"maybe\ny\n")
        self.assertEqual(run.out, BANNER + "Keep it plugged in.\nIt takes a minute.\n\n" +
                         WARNING % ("11.8.50.3399", "11.8.55.3510") + QUESTION +
                         "Invalid input.  Please input Y for yes or N for no.\n" + QUESTION +
                         "\n" + PROGRESS + COMPLETION)
        self.assert_code(run, 0)
        if WINE:
            self.assertEqual(run.calls, [WMIC_CALL, VERSION_CALL, "timeout /T 5", UPDATE_CALL,
                                         "timeout /T 30"])

    def test_line_ends_of_input_txt_do_not_matter(self):
        self.write("input.txt", DEFAULT_INPUT.replace("\n", "\r\n"))
        run = self.run_installer("-s")
        self.assert_code(run, 0)
        self.assertEqual(self.stamp_version(), "11.8.55.3510")

    def test_silent_update_on_a_terminal_does_not_pause(self):
        run = self.run_installer("-s", terminal=True)
        self.assert_code(run, 0)
        self.assertTrue(run.out.endswith(COMPLETION))
        self.assert_pause(run, False)

    def test_silent_restart(self):
        run = self.run_installer("-s", "-r")
        self.assert_code(run, 0)
        self.assertTrue(run.out.endswith(COMPLETION + "Rebooting the computer now.\n\n"))
        self.assertEqual(self.restarts(run), ["2"])

    def test_interactive_restart_then_pause(self):
        run = self.run_installer("-restart", stdin=b"Y\n")
        self.assert_code(run, 0)
        self.assertTrue(run.out.endswith(COMPLETION + "Rebooting the computer in 20 seconds\n\n"))
        self.assertEqual(self.restarts(run), ["20"])
        if WINE:
            self.assertEqual(run.calls[-1], "timeout /T 30")

    def test_force_reinstalls_the_same_version(self):
        self.scenario("fwupdlcl", "fwver 11.8.55.3510\n")
        run = self.run_installer("-s", "-force")
        self.assert_code(run, 0)
        self.assertEqual(run.calls[-1], UPDATE_CALL + " -allowsv")

    def test_run_log_of_an_update(self):
        run = self.run_installer("-s", "-log", "-v")
        self.assert_code(run, 0)
        log = self.read("runLog.log").decode("latin-1")
        self.assertIn("Writing ME Firmware version to .sys file.", log)
        self.assertTrue(log.endswith("Printing log file to runLog.log\r\n"))
        # The second stamp is written after the log.
        self.assertEqual(log.count("Write complete"), 1)
        self.assertEqual(run.out.count("Write complete"), 2)


class Refusals(KitboxTest):

    def setUp(self):
        super().setUp()
        self.make_kitbox()

    def test_platform_without_profile(self):
        self.scenario("wmic", "bios Q22 Ver. 1.0\n")
        run = self.run_installer("-s")
        self.assertEqual(run.out, BANNER + error_report(
            "ERROR 2010s: This platform is not supported by the Kitbox."))
        self.assert_code(run, 2010)
        self.assertEqual(run.calls, [WMIC_CALL])
        self.assertIsNone(self.stamp())

    def test_bios_older_than_the_prerequisite(self):
        self.write("input.txt", DEFAULT_INPUT.replace("1.04.0", "1.06.0"))
        run = self.run_installer("-s")
        self.assertIn("ERROR 2011s: System bios version n01 ver. 1.05.2     does not meet "
                      "prerequisite version 1.06.0.", run.out)
        self.assert_code(run, 2011)

    def test_missing_update_tool(self):
        self.path("ME_Flash/Local-Win/FwUpdLcl64.exe").unlink()
        run = self.run_installer("-s")
        self.assertEqual(run.out, BANNER + error_report(
            "ERROR 1002h: File FwUpdLcl64.exe does not appear to exist in ME_Flash\\Local-Win\\."))
        self.assert_code(run, 1002)
        self.assertEqual(run.calls, [WMIC_CALL])
        self.assertIsNone(self.stamp())

    def test_downgrade_is_refused_after_stamping_the_installed_version(self):
        self.scenario("fwupdlcl", "fwver 11.8.60.1000\n")
        run = self.run_installer("-s")
        self.assertEqual(run.out, BANNER + notice_report(
            "CODE  3000n: The system's firmware 11.8.60.1000 is newer than the kitbox "
            "11.8.55.3510, cannot downgrade."))
        self.assert_code(run, 3000)
        self.check_stamp("11.8.60.1000")
        self.assertFalse(self.exists("installerError.log"))

    def test_same_version_needs_force(self):
        self.scenario("fwupdlcl", "fwver 11.8.55.3510\n")
        run = self.run_installer("-s")
        self.assertEqual(run.out, BANNER + notice_report(
            "CODE  3001n: Your system already has firmware 11.8.55.3510 installed. If you would "
            "like to update over the same version, run this again with the -force argument."))
        self.assert_code(run, 3001)
        self.assertEqual(self.stamp_version(), "11.8.55.3510")

    def test_missing_image_after_the_warning(self):
        self.path("ME_Flash/11.8.55.3510.bin").unlink()
        run = self.run_installer("-s")
        self.assertEqual(run.out, BANNER + WARNING % ("11.8.50.3399", "11.8.55.3510") +
                         error_report("ERROR 1002h: File 11.8.55.3510.bin does not appear to "
                                      "exist in ME_Flash\\."))
        self.assert_code(run, 1002)

    def test_declined_update_opens_the_readme(self):
        run = self.run_installer("-r", stdin=b"n\n")
        self.assertEqual(run.out, BANNER + WARNING % ("11.8.50.3399", "11.8.55.3510") +
                         QUESTION + "\n" + MANUAL)
        self.assert_code(run, 100)
        self.assertEqual(self.stamp_version(), "11.8.50.3399")
        self.assertNotIn(UPDATE_CALL, run.calls)
        self.assertEqual(self.restarts(run), [])
        self.assertFalse(self.exists("installerError.log"))

    def test_declined_without_readme(self):
        self.path("README.htm").unlink()
        run = self.run_installer(stdin=b"N\n")
        self.assertTrue(run.out.endswith(MANUAL + error_report(
            "ERROR 1002h: File README.htm does not appear to exist in .\\.")))
        self.assert_code(run, 1002)

    def test_closed_input_is_a_no(self):
        run = self.run_installer(stdin=b"")
        self.assert_code(run, 100)
        self.assertTrue(run.out.endswith(QUESTION + "\n" + MANUAL))


class ToolFailures(KitboxTest):

    def setUp(self):
        super().setUp()
        self.make_kitbox()

    def update_with(self, behaviour, *options):
        self.scenario("fwupdlcl", "[-f]\nbehaviour %s\n" % behaviour)
        return self.run_installer("-s", *options)

    def test_firmware_waiting_for_a_reboot(self):
        for behaviour in ["error-8703", "error-348"]:
            run = self.update_with(behaviour)
            self.assert_code(run, 3002)
            self.assertTrue(run.out.endswith(notice_report(
                "CODE  3002n: The firmware was already installed and requires a reboot. PLEASE "
                "REBOOT YOUR SYSTEM.")), behaviour)

    def test_numbered_tool_error(self):
        run = self.update_with("error-8716", "-r")
        self.assert_code(run, 4001)
        self.assertIn(error_report("ERROR 8716u: The image does not fit this platform."), run.out)
        self.assertEqual(self.stamp_version(), "11.8.50.3399")
        self.assertEqual(self.restarts(run), [])

    def test_tool_error_without_number_still_fails(self):
        self.scenario("fwupdlcl", "[-f]\nbehaviour error-no-number\n")
        run = self.run_installer("-s")
        self.assert_code(run, 4001)
        self.assertIn("ERROR u: Internal error while talking to the firmware.", run.out)

    def test_runs_that_never_complete_are_not_updates(self):
        for behaviour in ["crash", "empty", "lf-only"]:
            run = self.update_with(behaviour)
            self.assert_code(run, 2013)
            self.assertTrue(run.out.endswith(error_report(
                "ERROR 2013s: The firmware update tool ended without reporting a completed "
                "update.")), behaviour)
            self.check_stamp("11.8.50.3399")

    def test_version_query_errors(self):
        self.scenario("fwupdlcl", "[-fwver]\nbehaviour error-8193\n")
        run = self.run_installer("-s")
        self.assert_code(run, 4000)
        self.assertIn("ERROR 8193v: Unable to reach the firmware through the Intel (R) MEI "
                      "driver.\r\nThe driver may be missing", run.out)
        self.assertIsNone(self.stamp())

    def test_malformed_installed_version(self):
        self.scenario("fwupdlcl", "fwver 11.8\n")
        run = self.run_installer("-s")
        self.assert_code(run, 1018)
        self.assertIn("ERROR 1018h: Version 11.8 is malformed: its field 3 is missing, not a "
                      "number or out of range.", run.out)
        self.assertIsNone(self.stamp())

    def test_bios_that_cannot_be_read(self):
        self.scenario("wmic", "behaviour empty\n")
        run = self.run_installer("-s")
        self.assert_code(run, 2000)
        self.assertIn("ERROR 2000s: Could not retrieve BIOS version.", run.out)


if __name__ == "__main__":
    unittest.main()
