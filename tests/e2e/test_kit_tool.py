"""The kit tool, mefwkit: the Kitbox checker and planner, as a kit author or an admin runs it."""

import json
import os
import shutil
import subprocess
import sys
import unittest

from harness import KitboxTest, DEFAULT_INPUT, KIT_PROGRAM, SIM_DIR, WINE

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
        self.write("mefwupdate.exe", "the installer")
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
        self.write("mefwupdate.exe", "the installer")
        run = self.run_kit_tool("check")
        unsigned = ("Kitbox: error 2018s: The tool %s is not signed by Intel Corporation (no "
                    "signature). The Kitbox may have been altered: get it again from Norvane. Only "
                    "a lab Kitbox with simulated tools runs without a signature, with "
                    "-allowunsigned.")
        self.assertEqual(run.out.splitlines(), [
            unsigned % "FwUpdLcl64.exe", unsigned % "MEInfoWin64.exe",
            "2 errors, 0 warnings, 0 notes; 2 profiles."])
        self.assertEqual(run.code, 2, run)
        self.install_tool("meinfo_sim", "MEInfo/Win/WINDOWS64/MEInfoWin64.exe", "intel")
        image = bytearray((SIM_DIR / "signed" / "fwupdlcl_sim.exe").read_bytes())
        image[0x400] ^= 0xFF
        self.write("ME_Flash/Local-Win/FwUpdLcl64.exe", bytes(image))
        run = self.run_kit_tool("check")
        self.assertEqual(run.out.splitlines(), [
            "Kitbox: error 2018s: The tool FwUpdLcl64.exe is not signed by Intel Corporation (the "
            "signature does not match the file). The Kitbox may have been altered: get it again "
            "from Norvane.",
            "1 error, 0 warnings, 0 notes; 2 profiles."])
        self.assertEqual(run.code, 2, run)
        # A DLL beside the tool is checked as the tool is.
        self.install_tool("fwupdlcl_sim", "ME_Flash/Local-Win/FwUpdLcl64.exe", "intel")
        self.install_tool("fwupdlcl_sim", "ME_Flash/Local-Win/helper.dll", None)
        run = self.run_kit_tool("check")
        self.assertEqual(run.out.splitlines(), [
            unsigned % "helper.dll", "1 error, 0 warnings, 0 notes; 2 profiles."])
        self.assertEqual(run.code, 2, run)

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
            ("warning", None, None),                    # mefwupdate.exe
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
        # mefwupdate.exe is not in the test's Kitbox: a warning.
        self.assertEqual(report["summary"], {"errors": 1, "warnings": 1,
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
            "installedVersion": "11.8.50.3399", "prerequisite": "met",
            "signature": "passed" if WINE else "not checked", "comparison": "newer",
            "commandLine": "ME_Flash\\Local-Win\\FwUpdLcl64.exe -f ME_Flash\\11.8.55.3510.bin",
            "exitCode": 0, "needs": None, "code": None, "message": None, "joinedDigits": None,
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
        for args in [[], ["plan", "--me", "1.2.3.4"], ["plan", "--me"], ["check", "--bogus"],
                     ["flash"], ["check", "a", "b"]]:
            if WINE and args not in ([], ["plan", "--me", "1.2.3.4"]):
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
                       "70: a", "3: the run needs", "exit status 1 when"]:
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


class Fleet(KitboxTest):

    def setUp(self):
        super().setUp()
        self.make_kitbox()

    def test_a_csv_of_machines_gated_by_the_expected_codes(self):
        machines = self.root / "machines.csv"
        # As Windows PowerShell's Export-Csv -Encoding Unicode writes it: UTF-16 with a
        # byte-order mark, a #TYPE line and quoted headers.
        machines.write_bytes(("#TYPE System.Management.Automation.PSCustomObject\r\n"
                              "\"Name\",\"BIOS\",\"ME\"\r\n"
                              "\"pc-1\",\"N01 Ver. 1.05.2\",\"11.8.50.3399\"\r\n"
                              "\"pc-2\",\"Q22 Ver. 1.0\",\"11.8.50.3399\"\r\n"
                              "\"pc-\x1b[2J\",\"N01 Ver. 1.05.2,11.8.50.3399\r\n")
                             .encode("utf-16"))
        where = self.kit_path(machines)
        unchecked = [] if WINE else ["--no-signature-check"]
        run = self.run_kit_tool("plan", "--machines", where, "--expect", "0,2010",
                                "--allow-unreadable=1", *unchecked)
        self.assertEqual(run.code, 0, run)
        self.assertEqual(run.out.replace("\r\n", "\n"),
                         "Exit code 0, 1 machine:\n  pc-1: N01 Ver. 1.05.2, 11.8.50.3399\n"
                         "Exit code 2010, 1 machine:\n  pc-2: Q22 Ver. 1.0, 11.8.50.3399\n"
                         "unreadable: %s:5: a quote that is never closed\n"
                         "exit code 0: 1 machine: the firmware is flashed; a restart makes it "
                         "effective\n"
                         "exit code 2010: 1 machine: no profile of the Kitbox is meant for this "
                         "platform\n"
                         "signature of Intel's tool: %s\n"
                         "2 machines planned, 0 need the installed version, 1 unreadable.\n"
                         "Gate: passed.\n" % (where, "checked" if WINE else
                                               "not checked (--no-signature-check)"))
        run = self.run_kit_tool("plan", "--machines", where, "--expect", "0,3001", "--json",
                                *unchecked)
        self.assertEqual(run.code, 1, run)
        report = json.loads(run.out)
        self.assertEqual(report["counts"], {"0": 1, "2010": 1})
        self.assertEqual([m["name"] for m in report["machines"]], ["pc-1", "pc-2"])
        self.assertEqual(report["unreadable"], [
            {"where": where + ":5", "why": "a quote that is never closed"}])
        self.assertEqual(report["gate"]["failures"], [
            "1 machine would end with a code outside 0,3001: 2010 (1 machine)",
            "1 unreadable and 0 machines needing the installed version, more than "
            "--allow-unreadable admits (0)"])
        run = self.run_kit_tool("plan", "--machines", where, "--bios", "N01", "--me", "1.2.3.4")
        self.assertEqual(run.code, 64, run)

    def test_the_installers_own_records(self):
        self.assertEqual(self.run_installer("-s").code, 0)
        run = self.run_kit_tool("plan", "--machines", self.kit_path(self.state_dir), "--json")
        self.assertEqual(run.code, 0, run)
        report = json.loads(run.out)
        # The state folder is one machine, whatever its runs\ hold; it now has the Kitbox's
        # firmware, and its record names the computer.
        self.assertEqual([m["name"] for m in report["machines"]],
                         ["mefwupdate" if WINE else "state"])
        self.assertTrue(report["machines"][0]["computerName"])
        self.assertEqual(report["machines"][0]["last"]["exitCode"], 0)
        self.assertEqual(report["counts"], {"3001": 1})
        self.assertEqual(report["unreadable"], [])


class FleetGate(KitboxTest):
    """`--expect` passes only a Kitbox planned for every machine. Each case fails for the
    reason it names and passes once that reason is gone; on POSIX, which cannot check
    signatures, every case but the last leaves the signature out on purpose."""

    def setUp(self):
        super().setUp()
        self.make_kitbox()
        self.unchecked = [] if WINE else ["--no-signature-check"]

    def gate(self, machines, *args):
        run = self.run_kit_tool("plan", "--machines", self.kit_path(machines), "--expect", "0",
                                *args)
        self.assertIn(run.code, (0, 1), run)
        return run

    def csv(self, *rows):
        machines = self.root / "machines.csv"
        machines.write_text("name,bios,me\n" + "".join(row + "\n" for row in rows))
        return machines

    def test_what_was_not_planned_fails_the_gate(self):
        good = "pc-1,N01 Ver. 1.05.2,11.8.50.3399"
        self.assertEqual(self.gate(self.csv(good), *self.unchecked).code, 0)
        # An unreadable row, and a machine that needs the installed version: admitted only by
        # --allow-unreadable.
        for row in ["\"pc-2,N01", "pc-2,N01 Ver. 1.05.2,"]:
            run = self.gate(self.csv(good, row), *self.unchecked)
            self.assertEqual(run.code, 1, run)
            self.assertIn("more than --allow-unreadable admits (0).\n", run.out)
            if WINE:
                break  # each wine run costs seconds; the unit tests cover the rest there
            self.assertEqual(
                self.gate(self.csv(good, row), "--allow-unreadable", "1", *self.unchecked).code,
                0)
        # An empty folder: nothing planned.
        empty = self.root / "records"
        empty.mkdir()
        run = self.gate(empty, *self.unchecked)
        self.assertEqual(run.code, 1, run)
        self.assertIn("Gate failed: no machine was planned.\n", run.out)

    @unittest.skipIf(WINE, "the Windows build checks signatures")
    def test_a_build_that_cannot_check_signatures_fails_the_gate_unless_told(self):
        run = self.gate(self.csv("pc-1,N01 Ver. 1.05.2,11.8.50.3399"))
        self.assertEqual(run.code, 1, run)
        self.assertIn("Gate failed: this build cannot check the signature of Intel's tool",
                      run.out)

    @unittest.skipUnless(WINE, "the Windows build checks signatures")
    def test_a_foreign_signed_tool_fails_the_gate(self):
        self.install_tool("fwupdlcl_sim", "ME_Flash/Local-Win/FwUpdLcl64.exe", "other")
        plan = json.loads(self.run_kit_tool("plan", "--bios=N01 Ver. 1.05.2",
                                            "--me=11.8.50.3399", "--json").out)
        self.assertEqual((plan["exitCode"], plan["signature"]), (2018, "2018s"))
        run = self.gate(self.csv("pc-1,N01 Ver. 1.05.2,11.8.50.3399"))
        self.assertEqual(run.code, 1, run)
        self.assertIn("Gate failed: 1 machine would end with a code outside 0: 2018 (1 machine)",
                      run.out)


@unittest.skipIf(WINE, "the same code writes and reads the records on both builds; "
                 "test_the_installers_own_records plans the Windows build's")
class FleetRecords(KitboxTest):
    """Records the installer itself wrote, collected as an admin collects them."""

    def setUp(self):
        super().setUp()
        self.make_kitbox()
        self.records = self.root / "records"

    def collect(self, name):
        """Moves the state folder's records into the collected folder, as one machine's."""
        shutil.copytree(self.state_dir, self.records / name)
        shutil.rmtree(self.state_dir)

    def run_on(self, bios, *args):
        self.scenario("wmic", "bios %s\n" % bios)
        return self.run_installer("-s", *args)

    def test_records_without_an_installed_version_are_planned(self):
        # Runs that end before the version query keep the BIOS version.
        for bios, code in [("Q22 Ver. 1.0", 2010), ("N01 Ver. 1.03.0", 2011), ("N01", 2012)]:
            self.assert_code(self.run_on(bios), code)
            self.collect("pc-%d" % code)
        tool = self.path("ME_Flash/Local-Win/FwUpdLcl64.exe")
        tool.rename(self.path("tool.exe"))
        self.assert_code(self.run_on("N01 Ver. 1.05.2"), 1002)
        self.path("tool.exe").rename(tool)
        self.collect("pc-1002")
        # A refused run after a full one: the older record holds both versions.
        self.assert_code(self.run_on("N01 Ver. 1.05.2"), 0)
        self.assert_code(self.run_on("N01 Ver. 1.05.2", "-bogus"), 1014)
        self.collect("pc-refused")
        # A machine that was only ever scanned: its last-scan.json holds both versions.
        self.run_on("N01 Ver. 1.05.2", "-scan")
        self.collect("pc-scanned")
        run = self.run_kit_tool("plan", "--machines", self.kit_path(self.records), "--json")
        self.assertEqual(run.code, 0, run)
        report = json.loads(run.out)
        self.assertEqual(report["unreadable"], [])
        planned = [(m["name"], m["exitCode"], m["needs"]) for m in report["machines"]]
        self.assertEqual(planned, [("pc-1002", None, "installedVersion"), ("pc-2010", 2010, None),
                                   ("pc-2011", 2011, None), ("pc-2012", 2012, None),
                                   ("pc-refused", 3001, None), ("pc-scanned", 0, None)])
        self.assertEqual(report["needsInstalledVersion"], ["pc-1002"])
        self.assertEqual(report["machines"][4]["last"]["code"], "1014h")
        # The scan is shown beside the last outcome, never as it.
        scanned = report["machines"][5]
        self.assertEqual((scanned["last"], scanned["lastScan"]["state"]), (None, "finished"))


class FleetBounds(KitboxTest):
    """Hostile or broken input costs bounded memory and never blocks the plan. The memory is
    measured on the plain POSIX build only: the sanitizers' shadow memory is not the program's."""

    MEMORY_LIMIT = 256 * 1024 * 1024
    MEASURED = os.environ.get("MEFW_E2E_MEMORY_LIMITS") == "1"

    def assert_bounded(self, peak):
        if self.MEASURED:
            self.assertLess(peak, self.MEMORY_LIMIT)

    def setUp(self):
        super().setUp()
        self.make_kitbox()

    def peak_plan(self, machines, *args):
        """A plan of the machines and its peak resident memory in bytes, by getrusage."""
        probe = ("import resource, subprocess, sys\n"
                 "run = subprocess.run(sys.argv[1:], stdout=subprocess.PIPE, "
                 "stderr=subprocess.PIPE, timeout=300)\n"
                 "sys.stderr.buffer.write(run.stdout)\n"
                 "print(run.returncode, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)\n")
        completed = subprocess.run(
            [sys.executable, "-c", probe, str(KIT_PROGRAM), "plan", "--machines", str(machines),
             *args], cwd=self.kitbox, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
        code, peak = completed.stdout.split()
        return int(code), completed.stderr.decode("latin-1"), int(peak) * 1024

    @unittest.skipIf(WINE, "the memory of a program under wine is wine's")
    def test_a_hundred_thousand_machines_and_a_huge_record(self):
        machines = self.root / "machines.csv"
        with machines.open("w") as csv:
            csv.write("name,bios,me\n")
            for i in range(100000):
                csv.write("pc-%06d,N01 Ver. 1.%02d.%d,11.8.%d.%d\n" % (
                    i, i % 100, i % 7, i % 50, 3000 + i % 6))
        code, out, peak = self.peak_plan(machines, "--json")
        self.assertEqual(code, 0, out[-2000:])
        self.assertEqual(len(json.loads(out)["machines"]), 100000)
        self.assert_bounded(peak)
        # A sparse record of 3 GB is never read; a pipe named like a record never opened.
        records = self.root / "records"
        (records / "pc-1").mkdir(parents=True)
        with (records / "pc-1" / "last-run.json").open("wb") as huge:
            huge.truncate(3 * 1024 * 1024 * 1024)
        (records / "pc-2").mkdir()
        os.mkfifo(records / "pc-2" / "result.json")
        code, out, peak = self.peak_plan(records, "--json")
        self.assertEqual(code, 0, out)
        self.assertEqual(json.loads(out)["unreadable"], [
            {"where": str(records / "pc-1" / "last-run.json"),
             "why": "too large: 3221225472 bytes, more than 8 MiB"},
            {"where": str(records / "pc-2" / "result.json"), "why": "not a regular file"}])
        self.assert_bounded(peak)


if __name__ == "__main__":
    unittest.main()
