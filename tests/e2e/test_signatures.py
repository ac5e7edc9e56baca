"""Intel's tools run only when Intel signed them (the Windows build, under wine, with our
stand-ins signed by throw-away test certificates), and the lab option -allowunsigned, which
admits a tool without any signature and nothing else."""

import unittest

from harness import WINE, KitboxTest, error_report

TOOL = "ME_Flash/Local-Win/FwUpdLcl64.exe"
MEINFO = "MEInfo/Win/WINDOWS64/MEInfoWin64.exe"
WMIC_CALL = "wmic bios get smbiosbiosversion"
WARNING = ("Warning: the tool FwUpdLcl64.exe has no signature. It runs only because of "
           "-allowunsigned.\n")


def refusal(tool, finding):
    return ("ERROR 2018s: The tool %s is not signed by Intel Corporation (%s). The Kitbox may "
            "have been altered: get it again from Norvane." % (tool, finding))


@unittest.skipUnless(WINE, "the Windows build checks signatures")
class IntelSignatures(KitboxTest):

    def assert_refused(self, run, tool, finding):
        self.assert_code(run, 2018)
        self.assertIn(error_report(refusal(tool, finding)), run.out)
        self.assertIsNone(self.stamp())

    def test_a_tool_intel_signed_runs_without_a_word_about_it(self):
        self.make_kitbox()
        run = self.run_installer("-s", "-sv")
        self.assert_code(run, 0)
        self.assertNotIn("signature", run.out)
        self.assertEqual(self.stamp_version(), "11.8.55.3510")

    def test_a_tool_without_signature_is_never_run(self):
        self.make_kitbox(signer=None)
        run = self.run_installer("-s")
        self.assert_refused(run, "FwUpdLcl64.exe", "no signature")
        self.assertEqual(run.calls, [WMIC_CALL])

    def test_a_changed_tool_is_refused_even_with_the_lab_option(self):
        self.make_kitbox()
        image = bytearray(self.read(TOOL))
        image[0x400] ^= 0xFF  # one byte of its code
        self.write(TOOL, bytes(image))
        run = self.run_installer("-s", "-allowunsigned")
        self.assert_refused(run, "FwUpdLcl64.exe", "the signature does not match the file")
        self.assertEqual(run.calls, [WMIC_CALL])

    def test_a_tool_of_another_signer_is_refused(self):
        self.make_kitbox()
        self.install_tool("fwupdlcl_sim", TOOL, "other")
        run = self.run_installer("-s", "-allowunsigned")
        self.assert_refused(run, "FwUpdLcl64.exe", "signed by Other Tools Corporation")
        self.assertEqual(run.calls, [WMIC_CALL])

    def test_the_lab_option_runs_an_unsigned_tool_with_a_warning(self):
        self.make_kitbox(signer=None)
        run = self.run_installer("-s", "-allowunsigned", "-log")
        self.assert_code(run, 0)
        self.assertEqual(run.out.count(WARNING), 1, run.out)
        self.assertIn(WARNING, self.read("runLog.log").decode("latin-1").replace("\r\n", "\n"))
        self.assertEqual(run.calls, [WMIC_CALL, "FwUpdLcl64 -fwver",
                                     "FwUpdLcl64 -f ME_Flash\\11.8.55.3510.bin"])
        self.assertEqual(self.stamp_version(), "11.8.55.3510")

    def test_an_unsigned_meinfo_ends_the_report_mode(self):
        self.make_kitbox()
        self.install_tool("meinfo_sim", MEINFO, None)
        run = self.run_installer("-s", "-meinfo")
        self.assert_code(run, 2018)
        self.assertIn(refusal("MEInfoWin64.exe", "no signature"), run.out)
        self.assertEqual(run.calls, [])
        self.assertFalse(self.exists("meInfoVerbose.txt"))


class LabOption(KitboxTest):

    def test_it_is_echoed_in_its_place_and_set_once(self):
        self.make_kitbox()
        run = self.run_installer("-allowUnsigned", "-s", "-v")
        self.assert_code(run, 0)
        self.assertIn("Command line arguments: silent verbose allowUnsigned\n\n", run.out)
        # The POSIX build has no signatures: the option changes nothing else there.
        self.assertNotIn("has no signature", run.out)
        run = self.run_installer("-allowunsigned", "-s", "-allowunsigned")
        self.assert_code(run, 1005)
        self.assertIn("ERROR 1005h: You've already set allowUnsigned, you can only set it once.",
                      run.out)


if __name__ == "__main__":
    unittest.main()
