"""The kit tool, mefwkit: the Kitbox checker and planner, as a kit author or an admin runs it."""

import json
import unittest

from harness import KitboxTest, DEFAULT_INPUT, SIM_DIR, WINE

# What the POSIX build's checker says where the Windows one checks the tools' signatures.
POSIX_SIGNATURE_NOTE = ("Kitbox: note: this build cannot check the signatures of Intel's tools: "
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

# One firmware version in two profiles, as a detection rule needs.
ONE_VERSION_INPUT = DEFAULT_INPUT.replace("12.0.20.1310.bin", "11.8.55.3510.fjord.bin")
ONE_VERSION_IMAGES = ("11.8.55.3510.bin", "11.8.55.3510.fjord.bin")


class Check(KitboxTest):

    def test_a_clean_kit_passes(self):
        self.make_kitbox(ONE_VERSION_INPUT, images=ONE_VERSION_IMAGES)
        run = self.run_kit_tool("check")
        if WINE:
            self.assertEqual(run.out, "0 errors, 0 warnings, 0 notes; 2 profiles.\n")
        else:
            self.assertEqual(run.out, POSIX_SIGNATURE_NOTE + "0 errors, 0 warnings, 1 note; "
                             "2 profiles.\n")
        self.assertEqual(run.code, 0, run)

    @unittest.skipUnless(WINE, "the Windows build checks signatures")
    def test_signatures_of_the_tools(self):
        self.make_kitbox(ONE_VERSION_INPUT, images=ONE_VERSION_IMAGES, signer=None)
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
        # A DLL beside the tool is checked as the tool is.
        self.install_tool("fwupdlcl_sim", "ME_Flash/Local-Win/FwUpdLcl64.exe", "intel")
        self.install_tool("fwupdlcl_sim", "ME_Flash/Local-Win/helper.dll", None)
        run = self.run_kit_tool("check")
        self.assertEqual(run.out.splitlines(), [
            "Kitbox: warning 2018s: helper.dll has no signature: the installer runs it only "
            "with -allowunsigned, for a lab Kitbox",
            "0 errors, 1 warning, 0 notes; 2 profiles."])

    @unittest.skipIf(WINE, "under wine a Unix link to a file reads as a plain file")
    def test_a_linked_tool_is_an_error_naming_2020s(self):
        self.make_kitbox(ONE_VERSION_INPUT, images=ONE_VERSION_IMAGES)
        tool = self.path("ME_Flash/Local-Win/FwUpdLcl64.exe")
        tool.unlink()
        tool.symlink_to(SIM_DIR / "fwupdlcl_sim")
        run = self.run_kit_tool("check")
        self.assertIn("Kitbox: error 2020s: The Kitbox file ME_Flash\\Local-Win\\FwUpdLcl64.exe "
                      "could not be copied to the installer's private folder: a link, not a "
                      "file.\n", run.out)
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
            ("warning", 4, None),                       # a second firmware version
            ("error", 5, "1010h"),
            ("warning", 6, None),                       # prereqBios cut at the blank
            ("warning", 6, None),                       # and a family code is all that is left
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
            ("note", None, "1002h"),                    # MEInfoWin64.exe
            ("note", None, None),                       # spare.bin, named by no profile
        ])
        profiles = report["profiles"]
        self.assertEqual([p["line"] for p in profiles], [3, 4, 8, 12])
        self.assertEqual(profiles[1]["platforms"], [{"id": "aster", "family": "n01"}])
        self.assertEqual(profiles[1]["prereqBios"], "n01")
        self.assertEqual([p["imagePresent"] for p in profiles], [False, True, False, False])
        self.assertEqual(profiles[2]["upfrontMessage"], "Caf\xe9 \"quoted\" \\\\ done")

    def test_warnings_alone(self):
        self.make_kitbox(ONE_VERSION_INPUT + "prereqbios = 1.0\n", images=ONE_VERSION_IMAGES)
        run = self.run_kit_tool("check")
        self.assertEqual(run.out.splitlines()[0],
                         "input.txt:7: warning: \"prereqbios\" is not the key \"prereqBios\" "
                         "(letter case counts), so this line is ignored")
        self.assertEqual(run.code, 1, run)

    def test_a_misassigning_key_line_is_an_error_with_its_line(self):
        self.make_kitbox(ONE_VERSION_INPUT.replace("meFirmwareFile = 11.8.55.3510.fjord",
                                                   "MeFirmwareFile = 11.8.55.3510.fjord"),
                         images=ONE_VERSION_IMAGES)
        run = self.run_kit_tool("check", "--json")
        self.assertEqual(run.code, 2, run)
        report = json.loads(run.out)
        # The POSIX build adds its note that it cannot check signatures.
        self.assertEqual(report["summary"], {"errors": 1, "warnings": 0,
                                             "notes": 1 if WINE else 2, "profiles": 1})
        self.assertEqual(report["problems"][0]["line"], 5)
        self.assertIn("(line 6) fall into profile 0", report["problems"][0]["message"])


class Plan(KitboxTest):

    def test_a_machine_that_would_update(self):
        self.make_kitbox(images=("11.8.55.3510.bin", "12.0.20.1310.bin"))
        run = self.run_kit_tool("plan", self.kit_path(self.kitbox), "--bios", "N01 Ver. 1.05.0",
                                "--me", "11.8.50.3399", "--json", cwd=self.root)
        self.assertEqual(run.code, 0, run)
        plan = json.loads(run.out)
        self.assertEqual(plan.pop("toolVersion"), "1.5.1")
        self.assertEqual(plan, {
            "schema": 1, "biosVersion": "n01 ver. 1.05.0    ", "biosFamily": "n01",
            "profile": {"index": 0, "firmwareFile": "11.8.55.3510.bin",
                        "firmwareVersion": "11.8.55.3510"},
            "installedVersion": "11.8.50.3399", "prerequisite": "met", "comparison": "newer",
            "commandLine": "ME_Flash\\Local-Win\\FwUpdLcl64.exe -f ME_Flash\\11.8.55.3510.bin",
            "exitCode": 0, "code": None, "message": None,
            "mayAlsoEndWith": [2015, 2019, 2018, 2020, 4000, 2001, 2003, 2016, 4001, 3002,
                               2013]})
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
        self.assertIn("Comparison:     same-forced\n", run.out)
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

    def test_help_and_version(self):
        run = self.run_kit_tool("--help")
        self.assertEqual(run.code, 0)
        self.assertIn("mefwkit check [KITBOX] [--json]", run.out)
        # Every exit status is told.
        for status in ["Exit status 0: ", "1: warnings", "2: any error", "Exit status 64: ",
                       "70: a failure"]:
            self.assertIn(status, run.out)
        run = self.run_kit_tool("check", "--help")
        self.assertEqual(run.code, 0, run)
        self.assertIn("check  reads the Kitbox", run.out)
        self.assertNotIn("plan   tells", run.out)
        run = self.run_kit_tool("plan", "-h")
        self.assertEqual(run.code, 0, run)
        self.assertIn("plan   tells", run.out)
        run = self.run_kit_tool("--version")
        self.assertEqual((run.code, run.out), (0, "mefwkit 1.5.1\n"))

    def test_a_folder_that_cannot_be_read_is_told_in_json_too(self):
        missing = self.kit_path(self.root / "no-such-kitbox")
        run = self.run_kit_tool("check", missing, "--json")
        self.assertEqual(run.code, 64, run)
        report = json.loads(run.out)
        self.assertEqual((report["schema"], report["toolVersion"]), (1, "1.5.1"))
        self.assertIn("cannot open the Kitbox folder", report["error"])
        self.assertTrue(run.err.startswith("mefwkit: cannot open"), run.err)


class PlanReadsAsTheInstallerDoes(KitboxTest):

    def plan(self, *args):
        run = self.run_kit_tool("plan", *args, "--json")
        self.assertEqual(run.code, 0, run)
        return json.loads(run.out)

    def test_the_machine_texts(self):
        self.make_kitbox(images=("11.8.55.3510.bin", "12.0.20.1310.bin"))
        # wmic's padding joins the version: the last family-like word decides.
        self.assertEqual(self.plan("--bios=N01 Ver. 1.05.2 A01", "--me=11.8.50.3399")["code"],
                         "2010s")
        self.assertEqual(self.plan("--bios", "N01", "--me", "11.8.50.3399")["exitCode"], 2012)
        # The digits and dots after "FW Version" count, nothing after them.
        forced = self.plan("--bios=N01 Ver. 1.05.2", "--me=11.8.55.3510 ", "--force")
        self.assertEqual((forced["exitCode"], forced["comparison"]), (0, "same-forced"))
        self.assertEqual(self.plan("--bios=N01 Ver. 1.05.2", "--me=11.8.55.3510a")["code"],
                         "3001n")
        run = self.run_kit_tool("plan", "--bios=N01 Ver. 1.05.2", "--me=v11.8.50.3399")
        self.assertEqual((run.code, run.out), (64, ""), run)
        self.assertIn("expected digits and dots", run.err)

    def test_a_network_path_is_refused_as_the_installer_refuses_it(self):
        plan = self.plan("\\\\server\\kits\\n01", "--bios=N01 1.05", "--me=11.8.50.3399")
        self.assertEqual((plan["exitCode"], plan["code"]), (2017, "2017s"))
        self.assertEqual(plan["mayAlsoEndWith"], [])


if __name__ == "__main__":
    unittest.main()


class Fleet(KitboxTest):

    def setUp(self):
        super().setUp()
        self.make_kitbox()

    def test_a_csv_of_machines_gated_by_the_expected_codes(self):
        machines = self.root / "machines.csv"
        machines.write_bytes(b"name,bios,me\r\n"
                             b"pc-1,\"N01 Ver. 1.05.2\",11.8.50.3399\r\n"
                             b"pc-2,Q22 Ver. 1.0,11.8.50.3399\r\n"
                             b"pc-3,\"N01 Ver. 1.05.2,11.8.50.3399\r\n")
        where = self.kit_path(machines)
        run = self.run_kit_tool("plan", "--machines", where, "--expect", "0,2010")
        self.assertEqual(run.code, 0, run)
        self.assertEqual(run.out.replace("\r\n", "\n"),
                         "pc-1: 0\npc-2: 2010 2010s\n"
                         "exit code 0: 1 machine\nexit code 2010: 1 machine\n"
                         "unreadable: %s:4: a quote that is never closed\n"
                         "2 machines planned, 1 unreadable.\n" % where)
        run = self.run_kit_tool("plan", "--machines", where, "--expect", "0,3001", "--json")
        self.assertEqual(run.code, 1, run)
        report = json.loads(run.out)
        self.assertEqual(report["counts"], {"0": 1, "2010": 1})
        self.assertEqual([m["name"] for m in report["machines"]], ["pc-1", "pc-2"])
        self.assertEqual(report["unreadable"], [
            {"where": where + ":4", "why": "a quote that is never closed"}])
        run = self.run_kit_tool("plan", "--machines", where, "--bios", "N01", "--me", "1.2.3.4")
        self.assertEqual(run.code, 64, run)

    def test_the_installers_own_records(self):
        self.assertEqual(self.run_installer("-s").code, 0)
        run = self.run_kit_tool("plan", "--machines", self.kit_path(self.state_dir), "--json")
        self.assertEqual(run.code, 0, run)
        report = json.loads(run.out)
        # last-run.json names the state folder, the run's result.json its run folder; both
        # machines now have the Kitbox's firmware.
        self.assertEqual([m["name"] for m in report["machines"]],
                         ["mefwupdate" if WINE else "state", self.run_folders()[0]])
        self.assertEqual(report["counts"], {"3001": 2})
        self.assertEqual(report["unreadable"], [])
