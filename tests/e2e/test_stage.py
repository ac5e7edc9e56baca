"""What runs is what was checked: Intel's tools and the image are copied into a private stage,
checked there and run from there; nothing the installer copies or writes follows a link."""

import os
import pathlib
import re
import shutil
import stat
import unittest

from harness import EXE, SIM_DIR, WINE, KitboxTest, error_report

TOOL = "ME_Flash/Local-Win/FwUpdLcl64.exe"
IMAGE = "ME_Flash/11.8.55.3510.bin"
WMIC_CALL = "wmic bios get smbiosbiosversion"
# The POSIX build hands its commands over with slashes.
FLASH_CALL = "FwUpdLcl64 -f ME_Flash" + ("\\" if WINE else "/") + "11.8.55.3510.bin"
POSIX_ONLY = "under wine a Unix link to a file reads as a plain file"


def not_copied(file, reason):
    return ("ERROR 2020s: The Kitbox file %s could not be copied to the installer's private "
            "folder: %s." % (file, reason))


class Stage(KitboxTest):

    def setUp(self):
        super().setUp()
        self.make_kitbox()

    def assert_run_from_a_stage(self, run):
        """Every one of Intel's tools ran from a stage, in it; none is left."""
        intel = [place for place in self.places() if place[0] != "wmic"]
        self.assertTrue(intel, run)
        for tool, program, folder in intel:
            self.assertIn("mefwupdate-stage-", program, (tool, program))
            # Windows names a folder in any letter case.
            self.assertTrue(program.lower().startswith(folder.lower()), (program, folder))
        self.assertEqual(self.stages(), [])

    def test_the_tools_run_from_the_stage_which_goes_at_every_end(self):
        run = self.run_installer("-s")
        self.assert_code(run, 0)
        self.assertEqual(run.calls, [WMIC_CALL, "FwUpdLcl64 -fwver", FLASH_CALL])
        self.assert_run_from_a_stage(run)
        if WINE:
            # Windows' own programs start in the system folder.
            wmic = [place for place in self.places() if place[0] == "wmic"]
            self.assertTrue(wmic[0][2].lower().endswith("\\windows\\system32"), wmic)
        self.path("sim-places.log").unlink()
        self.assert_code(self.run_installer("-s", "-meinfo"), 1)
        self.assert_run_from_a_stage("-meinfo")
        self.scenario("fwupdlcl", "[-f]\nbehaviour error-8716\n")
        self.assert_code(self.run_installer("-s"), 4001)
        self.assertEqual(self.stages(), [])
        self.path(IMAGE).unlink()
        self.assert_code(self.run_installer("-s"), 1002)
        self.assertEqual(self.stages(), [])

    def test_re_pointing_the_tool_folder_during_the_run_runs_nothing_else(self):
        # ME_Flash is a link to the shipped folder; a copy of it holds another program.
        shipped = self.root / "shipped"
        shutil.move(str(self.path("ME_Flash")), str(shipped))
        other = self.root / "other"
        shutil.copytree(shipped, other)
        marker = self.root / "marker"
        if WINE:
            shutil.copy2(SIM_DIR / ("fwupdlcl_sim" + EXE), other / "Local-Win" / "FwUpdLcl64.exe")
        else:
            (other / "Local-Win" / "FwUpdLcl64.exe").write_text(
                "#!/bin/sh\ntouch '%s'\n" % marker)
            (other / "Local-Win" / "FwUpdLcl64.exe").chmod(0o755)
        self.path("ME_Flash").symlink_to(shipped)
        # The version query waits until the folder was re-pointed under the running installer.
        self.scenario("fwupdlcl", "[-fwver]\nawait swapped\nbehaviour default\n")
        process = self.start_installer("-s")
        self.wait_for_call("FwUpdLcl64 -fwver")
        self.path("ME_Flash").unlink()
        self.path("ME_Flash").symlink_to(other)
        self.write("swapped", "")
        run = self.finish_installer(process)
        self.assert_code(run, 0)
        self.assertFalse(marker.exists())
        self.assertEqual(run.calls, [WMIC_CALL, "FwUpdLcl64 -fwver", FLASH_CALL])
        self.assert_run_from_a_stage(run)

    def test_a_tool_folder_beyond_its_limit_runs_nothing(self):
        with open(self.path("ME_Flash/Local-Win/big.bin"), "wb") as sparse:
            sparse.truncate(300 * 1024 * 1024)
        run = self.run_installer("-s")
        self.assert_code(run, 2020)
        self.assertIn(error_report(not_copied("ME_Flash\\Local-Win\\big.bin",
                                              "more than 256 MiB in ME_Flash\\Local-Win\\")),
                      run.out)
        self.assertEqual(run.calls, [WMIC_CALL])
        self.assertEqual(self.stages(), [])

    def test_system_information_has_its_own_trace_again(self):
        run = self.run_installer("-systeminfo", "-v", "-s")
        self.assert_code(run, 1)
        self.assertNotIn("Checking if FwUpdLcl64.exe", run.out)
        self.assertRegex(run.out, r"BIOS version: [^\n]*\n\nRetrieving system ME firmware version\."
                                  r"\nRunning command: FwUpdLcl64\.exe -fwver\n")
        # A missing tool is not copied; its query, run in the stage, reads no version.
        self.path(TOOL).unlink()
        run = self.run_installer("-systeminfo", "-s")
        self.assert_code(run, 1015)
        self.assertTrue(run.out.endswith(error_report(
            "ERROR 1015h: Unknown error retrieving ME firmware version.")), run.out)
        self.assertEqual(run.calls[3:], [WMIC_CALL])
        self.assertEqual(self.stages(), [])


@unittest.skipIf(WINE, POSIX_ONLY)
class Links(KitboxTest):

    def setUp(self):
        super().setUp()
        self.make_kitbox()
        self.secret = self.root / "secret"
        self.secret.write_text("secret\n")
        self.secret.chmod(0o600)

    def link(self, relative, target):
        self.path(relative).unlink(missing_ok=True)
        self.path(relative).symlink_to(target)

    def test_a_linked_tool_or_image_is_never_copied_nor_run(self):
        self.link(TOOL, SIM_DIR / "fwupdlcl_sim")
        run = self.run_installer("-s")
        self.assert_code(run, 2020)
        self.assertIn(not_copied("ME_Flash\\Local-Win\\FwUpdLcl64.exe", "a link, not a file"),
                      run.out)
        self.assertEqual(run.calls, [WMIC_CALL])
        self.path(TOOL).unlink()
        self.install_tool("fwupdlcl_sim", TOOL)
        image = self.root / "image.bin"
        shutil.copy2(self.path(IMAGE), image)
        self.link(IMAGE, image)
        run = self.run_installer("-s")
        self.assert_code(run, 2020)
        self.assertIn(not_copied("ME_Flash\\11.8.55.3510.bin", "a link, not a file"), run.out)
        self.assertEqual(run.calls, [WMIC_CALL, WMIC_CALL, "FwUpdLcl64 -fwver"])
        self.assertEqual(self.stages(), [])

    def test_a_log_planted_as_a_link_is_not_written_through(self):
        self.link("installerError.log", self.secret)
        self.scenario("wmic", "bios Q22 Ver. 1.0\n")
        run = self.run_installer("-s")
        self.assert_code(run, 2010)
        self.assertIn("ERROR 2003s: Cannot write to file installerError.log.", run.out)
        self.assertEqual(self.secret.read_text(), "secret\n")
        self.assertTrue(self.path("installerError.log").is_symlink())

    def test_stages_left_behind_are_removed_and_look_alikes_left_alone(self):
        left = self.tmp / "mefwupdate-stage-aaaaaa"
        (left / "ME_Flash").mkdir(parents=True)
        (left / "ME_Flash" / "outside").symlink_to(self.root)
        left.chmod(0o700)
        # Another's rights, or another owner, make a folder none of ours.
        other = self.tmp / "mefwupdate-stage-bbbbbb"
        other.mkdir(mode=0o755)
        other.chmod(0o755)
        foreign = self.tmp / "mefwupdate-stage-cccccc"
        foreign.mkdir(mode=0o700)
        if os.geteuid() == 0:
            os.chown(foreign, 65534, 65534)
        run = self.run_installer("-s")
        self.assert_code(run, 0)
        self.assertFalse(left.exists())
        self.assertTrue(self.secret.exists() and self.path("input.txt").exists())
        expected = ["mefwupdate-stage-bbbbbb"]
        if os.geteuid() == 0:
            expected.append("mefwupdate-stage-cccccc")
        self.assertEqual(self.stages(), expected)

    def test_a_state_folder_others_may_write_is_moved_aside_by_the_guard(self):
        self.state_dir.mkdir()
        (self.state_dir / "last-run.json").write_text("planted")
        self.state_dir.chmod(0o775)
        run = self.run_installer("-s", "-v")
        self.assert_code(run, 0)
        aside = list(self.root.glob("state.untrusted-*"))
        self.assertEqual(len(aside), 1, run.out)
        self.assertRegex(aside[0].name, r"^state\.untrusted-\d{8}T\d{6}Z-[a-z0-9]{8}$")
        self.assertEqual((aside[0] / "last-run.json").read_text(), "planted")
        self.assertEqual(self.run_record()["exitCode"], 0)
        self.assertEqual(stat.S_IMODE(self.state_dir.stat().st_mode) & 0o022, 0)


@unittest.skipUnless(WINE, "the Windows build checks signatures")
class CompanionFiles(KitboxTest):

    def test_every_program_file_of_the_tool_folder_is_checked_and_data_goes_along(self):
        self.make_kitbox()
        self.write("ME_Flash/Local-Win/notes.txt", "Read me.\n")
        self.install_tool("fwupdlcl_sim", "ME_Flash/Local-Win/helper.dll", "intel")
        run = self.run_installer("-s")
        self.assert_code(run, 0)
        self.assertEqual(run.calls, [WMIC_CALL, "FwUpdLcl64 -fwver", FLASH_CALL])
        self.install_tool("fwupdlcl_sim", "ME_Flash/Local-Win/helper.dll", None)
        run = self.run_installer("-s", "-force")
        self.assert_code(run, 2018)
        self.assertIn("ERROR 2018s: The tool helper.dll is not signed by Intel Corporation (no "
                      "signature).", run.out)
        self.assertEqual(run.calls[-1], WMIC_CALL)
        self.assertEqual(self.stages(), [])


if __name__ == "__main__":
    unittest.main()
