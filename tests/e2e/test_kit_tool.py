"""The kit tool, mefwkit: the Kitbox checker and planner, as a kit author or an admin runs it."""

import json
import unittest

from harness import KitboxTest, DEFAULT_INPUT, SIM_DIR, WINE

# What the POSIX build's checker says where the Windows one checks the tools' signatures.
POSIX_SIGNATURE_NOTE = ("Kitbox: info: this build cannot check the signatures of Intel's tools: "
                        "check the Kitbox with the Windows mefwkit\n")

# One Kitbox with a problem of every kind the checker finds without a machine.
FLAWED_INPUT = (
    "# Flawed kit\n"
    "prereqBios = 1.0\n"                                  # 2: 1011h
    "# meFirmwareFile = 10.0.0.1.bin\n"                   # 3: counts although commented
    "meFirmwareFile = fw_11.8.55.3510.bin\n"              # 4: 1018h
    "supportedPlatforms = aster, nowhere\n"               # 5: 1010h
    "prereqBios = N01 1.04\n"                             # 6: cut at the blank
    "SupportedPlatforms = birch\n"                        # 7: letter case
    "meFirmwareFile = 12.0.70000.1.bin\n"                 # 8: 1019h, image missing
    "supportedPlatforms = asterpro, fjord\n"              # 9: 1016h
    "prereqBios = n.a.\n"                                 # 10: 2012s
    "upfrontMessage = Caf\xe9 \"quoted\" \\\\ done\n"     # 11: bytes of another code page
    "meFirmwareFile = fw.bin\n"                           # 12: 1013h
    "supportedPlatforms = \n")                            # 13: 1012h, twice


class Check(KitboxTest):

    def test_a_clean_kit_passes(self):
        self.make_kitbox(images=("11.8.55.3510.bin", "12.0.20.1310.bin"))
        run = self.run_kit_tool("check")
        if WINE:
            self.assertEqual(run.out, "0 errors, 0 warnings, 0 notes; 2 profiles.\n")
        else:
            self.assertEqual(run.out, POSIX_SIGNATURE_NOTE + "0 errors, 0 warnings, 1 note; "
                             "2 profiles.\n")
        self.assertEqual(run.code, 0, run)

    @unittest.skipUnless(WINE, "the Windows build checks signatures")
    def test_signatures_of_the_tools(self):
        self.make_kitbox(images=("11.8.55.3510.bin", "12.0.20.1310.bin"), signer=None)
        run = self.run_kit_tool("check")
        self.assertEqual(run.out.splitlines(), [
            "Kitbox: warning 2018s: FwUpdLcl64.exe has no signature: the installer runs it only "
            "with -allowunsigned, for a lab Kitbox",
            "Kitbox: warning 2018s: MEInfoWin64.exe has no signature: the installer runs it only "
            "with -allowunsigned, for a lab Kitbox",
            "0 errors, 2 warnings, 0 notes; 2 profiles."])
        self.assertEqual(run.code, 1, run)
        self.install_tool("meinfo_sim", "MEInfo/Win/WINDOWS64/MEInfoWin64.exe", "intel")
        image = bytearray((SIM_DIR / "signed" / "fwupdlcl_sim.exe").read_bytes())
        image[0x400] ^= 0xFF
        self.write("ME_Flash/Local-Win/FwUpdLcl64.exe", bytes(image))
        run = self.run_kit_tool("check")
        self.assertEqual(run.out.splitlines(), [
            "Kitbox: error 2018s: The tool FwUpdLcl64.exe is not signed by Intel Corporation (the "
            "signature does not match the file). The Kitbox may have been altered: get it again "
            "from Norvane.",
            "0 errors, 0 warnings, 0 notes; 2 profiles.".replace("0 errors", "1 error")])
        self.assertEqual(run.code, 2, run)

    def test_every_problem_of_a_flawed_kit_is_found_with_its_line(self):
        self.make_kitbox(FLAWED_INPUT, images=("fw_11.8.55.3510.bin", "spare.bin"),
                         readme=False, meinfo=False)
        self.path("ME_Flash/Local-Win/FwUpdLcl64.exe").unlink()
        # Given the folder from elsewhere, as a deployment script would.
        run = self.run_kit_tool("check", self.kit_path(self.kitbox), "--json", cwd=self.root)
        self.assertEqual(run.code, 2, run)
        report = json.loads(run.out)
        found = [(p["severity"], p["line"], p["code"]) for p in report["problems"]]
        self.assertEqual(found, [
            ("error", 2, "1011h"),
            ("warning", 3, None),                       # a key behind a comment mark counts
            ("error", 3, "1002h"),                      # and its image is missing
            ("warning", 3, None),                       # and its profile is never chosen
            ("error", 4, "1018h"),
            ("error", 5, "1010h"),
            ("warning", 6, None),                       # prereqBios cut at the blank
            ("warning", 7, None),                       # letter case
            ("error", 8, "1002h"),
            ("error", 8, "1019h"),
            ("error", 9, "1016h"),
            ("error", 10, "2012s"),
            ("error", 12, "1013h"),
            ("error", 12, "1012h"),                     # the last profile has no platforms
            ("error", 12, "1002h"),
            ("error", 13, "1012h"),
            ("error", None, "1002h"),                   # the update tool
            ("warning", None, "1002h"),                 # README.htm
            ("info", None, "1002h"),                    # MEInfoWin64.exe
            ("info", None, None),                       # spare.bin, named by no profile
        ])
        profiles = report["profiles"]
        self.assertEqual([p["line"] for p in profiles], [3, 4, 8, 12])
        self.assertEqual(profiles[1]["platforms"], [{"id": "aster", "family": "n01"}])
        self.assertEqual(profiles[1]["prereqBios"], "n01")
        self.assertEqual([p["imagePresent"] for p in profiles], [False, True, False, False])
        self.assertEqual(profiles[2]["upfrontMessage"], "Caf\xe9 \"quoted\" \\\\ done")

    def test_warnings_alone(self):
        self.make_kitbox(DEFAULT_INPUT + "prereqbios = 1.0\n",
                         images=("11.8.55.3510.bin", "12.0.20.1310.bin"))
        run = self.run_kit_tool("check")
        self.assertEqual(run.out.splitlines()[0],
                         "input.txt:7: warning: \"prereqbios\" is not the key \"prereqBios\" "
                         "(letter case counts), so this line is ignored")
        self.assertEqual(run.code, 1, run)


class Plan(KitboxTest):

    def test_a_machine_that_would_update(self):
        self.make_kitbox(images=("11.8.55.3510.bin", "12.0.20.1310.bin"))
        run = self.run_kit_tool("plan", self.kit_path(self.kitbox), "--bios", "N01 Ver. 1.05.0",
                                "--me", "11.8.50.3399", "--json", cwd=self.root)
        self.assertEqual(run.code, 0, run)
        self.assertEqual(json.loads(run.out), {
            "biosVersion": "n01 ver. 1.05.0", "biosFamily": "n01",
            "profile": {"index": 0, "firmwareFile": "11.8.55.3510.bin",
                        "firmwareVersion": "11.8.55.3510"},
            "prerequisite": "met", "comparison": "newer",
            "commandLine": "ME_Flash\\Local-Win\\FwUpdLcl64.exe -f ME_Flash\\11.8.55.3510.bin",
            "exitCode": 0, "message": None})
        # Nothing was run: no simulated tool recorded a call.
        self.assertEqual(self.calls(), [])

    def test_a_machine_of_no_profile_and_a_forced_one(self):
        self.make_kitbox(images=("11.8.55.3510.bin", "12.0.20.1310.bin"))
        run = self.run_kit_tool("plan", "--bios", "Q20 1.0", "--me", "11.8.50.3399")
        self.assertEqual(run.code, 0, run)
        self.assertIn("BIOS family:    q20\n", run.out)
        self.assertIn("Profile:        (not reached)\n", run.out)
        self.assertIn("Exit code:      2010\n", run.out)
        self.assertIn("Ends with:      ERROR 2010s: This platform is not supported by the Kitbox.\n",
                      run.out)
        run = self.run_kit_tool("plan", "--force", "--bios", "P11 1", "--me", "12.0.20.1310")
        self.assertIn("Comparison:     same version, forced\n", run.out)
        self.assertIn("-f ME_Flash\\12.0.20.1310.bin -allowsv\n", run.out)

    def test_bad_arguments_are_a_usage_error(self):
        for args in [[], ["plan", "--bios", "N01 1"], ["plan", "--me"], ["check", "--bogus"],
                     ["flash"], ["check", "a", "b"]]:
            if WINE and args not in ([], ["plan", "--bios", "N01 1"]):
                continue  # each wine run costs a second; two show the exit status there
            run = self.run_kit_tool(*args)
            self.assertEqual(run.code, 64, args)
            self.assertEqual(run.out, "", args)
            self.assertEqual(len(run.err.strip().splitlines()), 1, (args, run.err))
            self.assertTrue(run.err.startswith("mefwkit: "), run.err)

    def test_help(self):
        run = self.run_kit_tool("--help")
        self.assertEqual(run.code, 0)
        self.assertIn("mefwkit check [KITBOX] [--json]", run.out)


if __name__ == "__main__":
    unittest.main()
