"""The command line: help screens, option errors, the verbose echo, logs and exit codes."""

import unittest

from harness import (BANNER, ERROR_LOG_ANNOUNCEMENT, PROGRAM_NAME, RUN_LOG_ANNOUNCEMENT,
                     KitboxTest, error_report)

HELP = (
    "\t [-s|silent] [-?|h|help] [-r|restart|reboot] [-force]\n\n"
    "-s|-silent \t\tUpdates the firmware without user input\n"
    "-?|h|help \t\tDisplay help screen\n"
    "-r|restart|reboot \tWill restart the computer after update is successful\n"
    "-force \t\t\tForces the install over the same version of ME, allowsv\n\n")

SECRET_HELP = (
    "\t [-s|silent] [-?|h|help] [-superSecretHelp] [-force]\n"
    "\t\t[-verbose] [-meInfo] [-log] [-r|restart|reboot] [-systemInfo]\n\n"
    "-s|-silent \t\tUpdates the firmware without user input\n"
    "-?|h|help \t\tDisplay help screen\n"
    "-superSecretHelp \tDisplays this super secret help screen\n"
    "-force \t\t\tForces the install over the same version of ME, allowsv\n"
    "-verbose \t\tPrints to the screen debug information\n"
    "-meInfo \t\tPrints meinfo -verbose information to meInfoVerbose.txt\n"
    "-log \t\t\tPrints debug information to runLog.log\n"
    "-r|restart|reboot \tWill restart the computer after update is successful\n"
    "-systemInfo \tDisplays relevant extended system versions.\n"
    "--IT'S A SECRET TO EVERYBODY--\n\n")

INVALID = "ERROR 1014h: Invalid command line arguments. Use -h for help."


def already_set(key):
    return "ERROR 1005h: You've already set %s, you can only set it once." % key


class HelpScreens(KitboxTest):

    def test_every_help_spelling_shows_help_then_pauses(self):
        for option in ["-h", "-help", "-?", "-HELP"]:
            run = self.run_installer(option, terminal=True)
            self.assertEqual(run.out, BANNER + PROGRAM_NAME + HELP, option)
            self.assert_code(run, 1)
            self.assert_pause(run, True)

    def test_plain_help_wins_over_secret_help(self):
        run = self.run_installer("-supersecrethelp", "-h", terminal=True)
        self.assertEqual(run.out, BANNER + PROGRAM_NAME + HELP)
        self.assert_code(run, 1)
        self.assert_pause(run, True)

    def test_secret_help(self):
        run = self.run_installer("-superSecretHelp")
        self.assertEqual(run.out, BANNER + PROGRAM_NAME + SECRET_HELP)
        self.assert_code(run, 1)

    def test_silent_help_does_not_pause(self):
        run = self.run_installer("-s", "-h", terminal=True)
        self.assertEqual(run.out, BANNER + PROGRAM_NAME + HELP)
        self.assert_code(run, 1)
        self.assert_pause(run, False)

    def test_verbose_help_echoes_the_options_first(self):
        run = self.run_installer("-h", "-log", "-v", "-s")
        self.assertEqual(run.out, BANNER + "Command line arguments: silent verbose log help\n\n" +
                         PROGRAM_NAME + HELP + RUN_LOG_ANNOUNCEMENT +
                         "Printing to file runLog.log\n\n")
        self.assertTrue(self.exists("runLog.log"))
        self.assertFalse(self.exists("installerError.log"))


class OptionErrors(KitboxTest):

    def test_invalid_option_after_silent_reports_logs_and_does_not_pause(self):
        run = self.run_installer("-s", "-bogus", "-log", terminal=True)
        self.assertEqual(run.out, BANNER + error_report(INVALID))
        self.assert_code(run, 1014)
        self.assert_pause(run, False)
        log = self.read("installerError.log").decode("latin-1")
        self.assertEqual(log.replace("\r\n", "\n"),
                         BANNER + "Extracting return code\nFrom: " + INVALID +
                         " \nType: h  Return code: 1014\n\n" + error_report(INVALID))
        self.assertNotIn("\n", log.replace("\r\n", ""))
        # The option after the invalid one was never looked at.
        self.assertFalse(self.exists("runLog.log"))

    def test_invalid_option_first_still_pauses(self):
        run = self.run_installer("/s", "-s", terminal=True)
        self.assertEqual(run.out, BANNER + error_report(INVALID))
        self.assert_code(run, 1014)
        self.assert_pause(run, True)

    def test_empty_argument_is_invalid(self):
        run = self.run_installer("")
        self.assert_code(run, 1014)

    def test_repeated_settings_name_their_key(self):
        cases = [(["-v", "-verbose"], "VERBOSEFLAG"), (["-sv", "-v"], "VERBOSEFLAG"),
                 (["-sv", "-sv"], "SUPERVERBOSEFLAG"), (["-h", "-?"], "HELPFLAG"),
                 (["-r", "-reboot"], "REBOOTFLAG"), (["-s", "-silent"], "SILENTFLAG")]
        for arguments, key in cases:
            run = self.run_installer(*arguments)
            self.assert_code(run, 1005)
            self.assertIn(error_report(already_set(key)), run.out)

    def test_failure_with_log_writes_both_logs(self):
        run = self.run_installer("-log", "-s", "-s")
        self.assert_code(run, 1005)
        error_log = self.read("installerError.log")
        run_log = self.read("runLog.log")
        self.assertTrue(run_log.startswith(error_log))
        self.assertEqual(run_log[len(error_log):].decode(),
                         "Printing to file installerError.log\r\n\r\n" +
                         RUN_LOG_ANNOUNCEMENT.replace("\n", "\r\n"))
        self.assertTrue(run.out.endswith(ERROR_LOG_ANNOUNCEMENT + RUN_LOG_ANNOUNCEMENT))

    def test_unwritable_error_log_does_not_change_the_outcome(self):
        self.path("installerError.log").mkdir()
        run = self.run_installer("-s", "-x")
        self.assert_code(run, 1014)
        self.assertEqual(run.out, BANNER + error_report(INVALID) +
                         "ERROR 2003s: Cannot write to file installerError.log.")


if __name__ == "__main__":
    unittest.main()
