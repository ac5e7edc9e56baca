"""Runs the installer as a user would: the real program in a temporary Kitbox folder, on the
POSIX build or on the Windows build under wine, with our simulated tools standing in for the
commands it runs.

Environment (set by CTest): MEFW_PROGRAM, MEFW_KIT_PROGRAM (the kit tool), MEFW_SIM_DIR, MEFW_SOURCE_DIR, and for the Windows
build MEFW_WINE=1, MEFW_LAUNCHER and WINEPREFIX; optionally MEFW_WRAPPER, a command line to run
the POSIX program under.
"""

import json
import os
import pathlib
import pty
import resource
import shutil
import struct
import subprocess
import tempfile
import threading
import time
import unittest

PROGRAM = pathlib.Path(os.environ["MEFW_PROGRAM"])
KIT_PROGRAM = pathlib.Path(os.environ["MEFW_KIT_PROGRAM"])
SIM_DIR = pathlib.Path(os.environ["MEFW_SIM_DIR"])
SOURCE_DIR = pathlib.Path(os.environ["MEFW_SOURCE_DIR"])
WINE = os.environ.get("MEFW_WINE") == "1"
EXE = ".exe" if WINE else ""
# A program to run the installer under, such as valgrind (POSIX only).
WRAPPER = os.environ.get("MEFW_WRAPPER", "").split()
PROGRAM_NAME = "mefwupdate" + EXE

BANNER = "\nME firmware updating tool v1.5.1\n\n"
DRIVER_ADVICE = (
    "Please confirm that you have the latest ME software driver, Intel ME is enabled,\n"
    "you are running with administrator privileges and try again.\n"
    "If you are still having issues, then please contact Norvane Support.\n\n")
NOTICE_ADVICE = "If you feel that this is inaccurate please contact Norvane Support.\n\n"
ERROR_LOG_ANNOUNCEMENT = "Printing error log file to installerError.log\n"
RUN_LOG_ANNOUNCEMENT = "Printing log file to runLog.log\n"
POSIX_PAUSE_LINE = "\nWaiting for 30 seconds, press a key to continue ...\n"

# The demo's profiles: the simulated machine (BIOS N01, firmware 11.8.50.3399) fits the first.
DEFAULT_INPUT = (
    "meFirmwareFile = 11.8.55.3510.bin\n"
    "supportedPlatforms = aster, asterpro, birch\n"
    "prereqBios = 1.04.0\n"
    "\n"
    "meFirmwareFile = 12.0.20.1310.bin\n"
    "supportedPlatforms = fjord, glacier\n")

# Leave the system drive out of the environment altogether.
UNSET = object()


def exit_status(code):
    """The status a caller sees for an exit code: all of it on Windows, the low eight bits on
    POSIX, where a non-zero code must still not look like success."""
    if WINE:
        return code
    status = code & 0xFF
    return 255 if status == 0 and code != 0 else status


def smbios_table(bios_version):
    """A raw SMBIOS table as Windows hands it out: the 8-byte header, a system structure
    (type 1), the BIOS information (type 0) naming `bios_version` as its BIOS Version string,
    and the end of the table (type 127)."""
    def structure(kind, formatted, strings):
        body = bytes([kind, 4 + len(formatted)]) + struct.pack("<H", 0x20 + kind) + formatted
        return body + b"".join(text + b"\0" for text in strings) + b"\0" * (1 if strings else 2)
    bios = bytearray(0x14)
    bios[0], bios[1] = 1, 2  # vendor is string 1, the BIOS Version (offset 05h) string 2
    structures = (structure(1, bytes(0x17), [b"Norvane", b"Aster 5"])
                  + structure(0, bytes(bios), [b"Norvane Ltd.", bios_version.encode("latin-1")])
                  + structure(127, b"", []))
    return bytes([0, 3, 2, 0]) + struct.pack("<I", len(structures)) + structures


def windows_path(path):
    """The wine path of a host path (wine maps the host's root to drive Z:)."""
    return "Z:" + str(path).replace("/", "\\")


def error_report(message):
    """What the console shows for a raised error, up to and with the error log line."""
    return message + "\n\n" + DRIVER_ADVICE + ERROR_LOG_ANNOUNCEMENT


def notice_report(message):
    return message + "\n\n" + NOTICE_ADVICE


class Run:
    """The outcome of one run: exit code, standard output and what the commands recorded."""

    def __init__(self, code, stdout, stderr, calls, paused, pause_seen):
        self.code = code
        self.stdout_bytes = stdout
        # The Windows runtime writes every line feed as CR LF; fold them back.
        if WINE:
            stdout = stdout.replace(b"\r\n", b"\n")
        self.out = stdout.decode("latin-1")
        self.err = stderr.decode("latin-1", "replace")
        self.calls = calls
        self.paused = paused
        # Whether a closing pause would have shown: wine records every pause; the POSIX
        # build pauses only with a terminal on standard input.
        self.pause_seen = pause_seen

    def __repr__(self):
        return "Run(code=%r, out=%r, err=%r, calls=%r)" % (self.code, self.out, self.err[-500:],
                                                          self.calls)


class KitboxTest(unittest.TestCase):
    """A test with its own Kitbox folder (the working folder) and system drive folder."""

    maxDiff = None

    def setUp(self):
        self.root = pathlib.Path(tempfile.mkdtemp(prefix="mefw-e2e-"))
        self.kitbox = self.root / "kitbox"
        self.kitbox.mkdir()
        # The shared wine prefix, with our wmic, timeout and shutdown in its system folder
        # (tests/support/start_wine.sh); a test that changes a prefix makes its own.
        self.prefix = pathlib.Path(os.environ["WINEPREFIX"]) if WINE else None
        if WINE:
            self._use_prefix(self.prefix)
        else:
            self.drive = self.root / "drive"
            self.drive.mkdir()
        # Where the run records go: the POSIX build's is the test's own; wine's is in the prefix's
        # ProgramData, which the Windows suites take turns to use.
        if WINE:
            self.state_dir = (pathlib.Path(os.environ["WINEPREFIX"]) / "drive_c" / "ProgramData"
                              / "Norvane" / "mefwupdate")
            if self.state_dir.is_dir():
                shutil.rmtree(self.state_dir)
            elif self.state_dir.exists():
                self.state_dir.unlink()
        else:
            self.state_dir = self.root / "state"
        self.posix_tools = self.root / "path"
        self.posix_tools.mkdir()
        # The POSIX build reads its SMBIOS table from here, never from the host's firmware.
        self.smbios_file = self.root / "smbios.bin"
        # The POSIX build's temporary folder (its installer lock) and power supply folder are the
        # test's own: runs of other tests neither block nor see them, and the host's battery
        # never decides a test. No power supply folder at all reads as mains power.
        self.tmp = self.root / "tmp"
        self.tmp.mkdir()
        # The POSIX build's one-instance guard: a folder of the test's own, as no one else may
        # write it, so that suites running side by side never share a lock.
        self.lock_dir = self.root / "lock"
        self.lock_dir.mkdir(mode=0o700)
        self.power_supply = self.root / "power_supply"
        if not WINE:
            # Where the POSIX build looks for the restart command: a recorder, not a restart.
            self.install_tool("recorder_sim", "c:/windows/system32/shutdown")
        self._stages_before = set(self._stage_names())

    def _use_prefix(self, prefix):
        # Wine gives every process SystemDrive=C: whatever its parent says, so the stamp
        # lands in the prefix's own drive C:, which the Windows suites take turns to use.
        self.prefix = prefix
        self.drive = prefix / "drive_c"
        for path in self.drive.glob("MeFwVer.sys*"):
            if not path.is_dir():
                path.unlink()

    def use_own_prefix(self):
        """Gives this test a wine prefix of its own, set up as the shared one, which it may
        change; it is removed with its server when the test ends."""
        prefix = self.root / "wineprefix"
        env = dict(os.environ, WINEPREFIX=str(prefix), WINEDEBUG="-all")
        subprocess.run(["bash", str(SOURCE_DIR / "tests" / "support" / "start_wine.sh"),
                        str(SIM_DIR / "recorder_sim.exe"), str(SIM_DIR / "wmic_sim.exe")],
                       env=env, check=True, timeout=600)
        self.addCleanup(subprocess.run, ["wineserver", "-k"], env=env, timeout=120)
        self._use_prefix(prefix)

    def wine(self, *args):
        """Runs a wine program in this test's prefix, such as reg."""
        env = dict(os.environ, WINEPREFIX=str(self.prefix), WINEDEBUG="-all")
        subprocess.run(["wine", *args], env=env, check=True, timeout=120,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    def tearDown(self):
        result = getattr(self._outcome, "result", None)
        failed = result is not None and any(
            test is self for test, _ in result.failures + result.errors)
        if failed:
            print("\nkept the test's folder: %s" % self.root)
        else:
            shutil.rmtree(self.root, ignore_errors=True)

    # Files of the Kitbox ------------------------------------------------------------------

    def path(self, relative):
        return self.kitbox / relative

    def write(self, relative, content):
        target = self.path(relative)
        target.parent.mkdir(parents=True, exist_ok=True)
        if isinstance(content, str):
            content = content.encode("latin-1")
        target.write_bytes(content)
        return target

    def read(self, relative):
        return self.path(relative).read_bytes()

    def exists(self, relative):
        return self.path(relative).exists()

    def install_tool(self, sim, relative, signer=None):
        """Copies one of our simulated programs into the Kitbox under the given name. Under
        wine, signer "intel" takes the copy signed with the test certificate of "Intel
        Corporation", "other" the one signed by another company (fwupdlcl_sim only); None
        the program as built, without a signature."""
        target = self.path(relative)
        target.parent.mkdir(parents=True, exist_ok=True)
        folder = {None: SIM_DIR, "intel": SIM_DIR / "signed", "other": SIM_DIR / "foreign"}
        shutil.copy2(folder[signer if WINE else None] / (sim + EXE), target)
        return target

    def install_command(self, sim, name):
        """Makes a simulated program answer to a command name on POSIX, through PATH. Under
        wine the prefix's system folder holds our stand-ins."""
        target = self.posix_tools / name
        shutil.copy2(SIM_DIR / sim, target)
        return target

    def make_kitbox(self, input_txt=None, images=("11.8.55.3510.bin",), readme=True, tool=True,
                    meinfo=True, wmic=True, signer="intel"):
        """A Kitbox as shipped: input.txt, the images, README.htm and our simulated tools,
        signed by `signer` (see install_tool).
        Without our wmic the POSIX build finds none; wine always has ours, in its system
        folder."""
        self.write("input.txt", DEFAULT_INPUT if input_txt is None else input_txt)
        for image in images:
            self.write("ME_Flash/" + image, "firmware image " + image + "\n")
        if readme:
            self.write("README.htm", "<html><body>Update by hand.</body></html>\n")
        if tool:
            self.install_tool("fwupdlcl_sim", "ME_Flash/Local-Win/FwUpdLcl64.exe", signer)
        if meinfo:
            self.install_tool("meinfo_sim", "MEInfo/Win/WINDOWS64/MEInfoWin64.exe", signer)
        if wmic and not WINE:
            self.install_command("wmic_sim", "wmic")

    def stage_smbios_table(self, bios_version):
        """Gives the POSIX build a firmware table whose BIOS Version is `bios_version` (the
        Windows build reads wine's own table)."""
        self.smbios_file.write_bytes(smbios_table(bios_version))

    def scenario(self, tool, text):
        """Scripts a simulated tool: tool is "wmic", "fwupdlcl" or "meinfo"."""
        self.write("sim-%s.txt" % tool, text)

    def tool_output(self, sim, *args):
        """What one of our simulated programs prints, run directly in the Kitbox."""
        program = SIM_DIR / (sim + EXE)
        command = ["wine", str(program), *args] if WINE else [str(program), *args]
        return subprocess.run(command, cwd=self.kitbox, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              timeout=120).stdout

    def stamp(self):
        path = self.drive / "MeFwVer.sys"
        return path.read_bytes() if path.exists() else None

    def stamp_version(self):
        """The FileVersion string of the stamp file, or None without one."""
        image = self.stamp()
        if image is None:
            return None
        key = "FileVersion\0".encode("utf-16-le")
        at = image.find(key) + len(key)
        at += (4 - at % 4) % 4
        end = at
        while image[end:end + 2] != b"\0\0":
            end += 2
        return image[at:end].decode("utf-16-le")

    def check_stamp(self, version):
        """Reads the stamp back with PE readers that are not ours."""
        checker = SOURCE_DIR / "tests" / "stamp" / "check_stamp.py"
        result = subprocess.run(["/usr/bin/python3", str(checker),
                                 str(self.drive / "MeFwVer.sys"), version],
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
        self.assertEqual(result.returncode, 0, result.stdout.decode("latin-1"))

    def calls(self):
        log = self.path("sim-calls.log")
        return log.read_text("latin-1").splitlines() if log.exists() else []

    def places(self):
        """Where each simulated program ran, in order: (tool, its program file, its working
        folder), as the system named them."""
        log = self.path("sim-places.log")
        lines = log.read_text("latin-1").splitlines() if log.exists() else []
        return [tuple(line.split("\t")) for line in lines]

    def stages(self):
        """The stages left since the test started in the place the installer makes them: its
        temporary folder on POSIX, the prefix's Windows\\Temp under wine (where a killed run of
        another test may have left one)."""
        return sorted(set(self._stage_names()) - self._stages_before)

    def _stage_names(self):
        parent = self.drive / "windows" / "temp" if WINE else self.tmp
        if WINE and not parent.exists():
            parent = self.drive / "windows" / "Temp"
        return [path.name for path in parent.glob("mefwupdate-stage-*")]

    def run_record(self, name="last-run.json"):
        """A run record of the state folder as a dict, or None without one."""
        path = self.state_dir / name
        return json.loads(path.read_bytes()) if path.exists() else None

    def run_folders(self):
        runs = self.state_dir / "runs"
        return sorted(path.name for path in runs.iterdir()) if runs.is_dir() else []

    # Running ------------------------------------------------------------------------------

    def run_kit_tool(self, *args, cwd=None):
        """Runs the kit tool (its exit statuses fit in eight bits, so wine keeps them)."""
        command = ["wine", str(KIT_PROGRAM), *args] if WINE else [str(KIT_PROGRAM), *args]
        completed = subprocess.run(command, cwd=cwd or self.kitbox, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
        return Run(completed.returncode, completed.stdout, completed.stderr, [], False, False)

    def kit_path(self, path):
        """A folder as the kit tool is given it on the command line."""
        return windows_path(path) if WINE else str(path)

    def _command(self, args, system_drive, exit_file=None, terminate_on=None, extra_env=None,
                 under=()):
        """The command line and environment of one installer run; `under`: a command to run the
        POSIX program under (such as strace)."""
        env = dict(os.environ, **(extra_env or {}))
        drive = self.drive if system_drive is None else system_drive
        # The simulated programs keep their scenarios and call log in the Kitbox, wherever the
        # installer starts them.
        env["MEFW_SIM_FOLDER"] = windows_path(self.kitbox) if WINE else str(self.kitbox)
        if WINE:
            env["WINEPREFIX"] = str(self.prefix)
            env["MEFW_EXIT_CODE_FILE"] = windows_path(exit_file)
            if terminate_on is not None:
                env["MEFW_TERMINATE_ON_FILE"] = windows_path(terminate_on)
            return ["wine", os.environ["MEFW_LAUNCHER"], windows_path(PROGRAM), *args], env
        env.pop("SystemDrive", None)
        if drive is not UNSET:
            env["SystemDrive"] = str(drive)
        env["PATH"] = str(self.posix_tools) + os.pathsep + env.get("PATH", "")
        env["TMPDIR"] = str(self.tmp)
        if self.lock_dir is not None:  # None: the guard's own default place
            env["MEFW_LOCK_DIR"] = str(self.lock_dir)
        env["MEFW_POWER_SUPPLY_DIR"] = str(self.power_supply)
        env["MEFW_SMBIOS_FILE"] = str(self.smbios_file)
        env["MEFW_STATE_DIR"] = str(self.state_dir)
        if WRAPPER or under:
            return [*under, *WRAPPER, str(PROGRAM), *args], env
        return [PROGRAM_NAME, *args], env

    def _exit_file(self, name):
        exit_file = self.root / name
        exit_file.unlink(missing_ok=True)
        return exit_file

    def _run_result(self, code, stdout, stderr, terminal=False, exit_file=None):
        if WINE:
            code = int(exit_file.read_text().strip()) if exit_file.exists() else None
        calls = self.calls()
        paused = False
        if WINE:
            paused = "timeout /T 30" in calls
        elif terminal:
            paused = POSIX_PAUSE_LINE.encode() in stdout
            stdout = stdout.replace(POSIX_PAUSE_LINE.encode(), b"")
        return Run(code, stdout, stderr, calls, paused, WINE or terminal)

    def run_installer(self, *args, stdin=b"", system_drive=None, terminal=False, timeout=600,
                      memory_limit_mb=None, extra_env=None, under=()):
        """Runs the installer in the Kitbox.

        system_drive: the SystemDrive value on POSIX (default: this test's drive folder; UNSET
        leaves it out); wine always uses its own. terminal: on POSIX, make standard input a
        terminal that keeps pressing a key, so that the closing pause shows itself.
        memory_limit_mb: on POSIX, the most address space the installer may take (ulimit -v).
        """
        exit_file = self._exit_file("exit-code.txt")
        command, env = self._command(args, system_drive, exit_file, extra_env=extra_env,
                                     under=under)
        if terminal and not WINE:
            stdout, stderr, code = self._run_on_terminal(command, env, timeout)
        else:
            completed = subprocess.run(
                command, executable=None if WINE or WRAPPER or under else str(PROGRAM),
                cwd=self.kitbox, input=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                env=env, timeout=timeout,
                preexec_fn=self._memory_limit(memory_limit_mb))
            stdout, stderr, code = completed.stdout, completed.stderr, completed.returncode
        return self._run_result(code, stdout, stderr, terminal, exit_file)

    @staticmethod
    def _memory_limit(megabytes):
        if megabytes is None or WINE:
            return None

        def limit():
            size = megabytes * 1024 * 1024
            resource.setrlimit(resource.RLIMIT_AS, (size, size))
        return limit

    def start_installer(self, *args, terminate_on=None, extra_env=None, new_session=False):
        """Starts the installer in the background, its output on a pipe; finish_installer
        collects it. terminate_on: a file whose creation ends the run the hard way under wine
        (on POSIX, kill the process instead). new_session: in a session and process group of
        its own, as from a terminal of its own."""
        exit_file = self._exit_file("background-exit-code.txt")
        command, env = self._command(args, None, exit_file, terminate_on, extra_env)
        process = subprocess.Popen(
            command, executable=None if WINE or WRAPPER else str(PROGRAM), cwd=self.kitbox,
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env,
            start_new_session=new_session)
        process.exit_file = exit_file
        return process

    def finish_installer(self, process, timeout=600, read_output=True):
        """Waits for a run started by start_installer. Without read_output its pipes are left
        unread: after a crash, an orphaned tool may hold them open."""
        stdout = stderr = b""
        if read_output:
            stdout, stderr = process.communicate(timeout=timeout)
        else:
            process.wait(timeout=timeout)
        for pipe in (process.stdout, process.stderr):
            pipe.close()
        return self._run_result(process.returncode, stdout or b"", stderr or b"",
                             exit_file=process.exit_file)

    def run_once_the_guard_is_free(self):
        """Runs the installer until it no longer meets a held guard (at most a minute). An
        orphaned flash holds the guard until it ends, and under wine the guard is the whole
        prefix's, so a test that leaves one behind waits here before the next test starts."""
        deadline = time.monotonic() + 60
        while True:
            run = self.run_installer("-s")
            if run.code != exit_status(2015) or time.monotonic() > deadline:
                return run
            time.sleep(0.1)

    def wait_for_call(self, call, timeout=120):
        """Waits until a simulated tool has recorded the call."""
        deadline = time.monotonic() + timeout
        while call not in self.calls():
            self.assertLess(time.monotonic(), deadline, "no call %r in %r" % (call, self.calls()))
            time.sleep(0.02)

    def _run_on_terminal(self, command, env, timeout):
        controller, terminal = pty.openpty()
        process = subprocess.Popen(
            command, executable=None if WRAPPER else str(PROGRAM), cwd=self.kitbox,
            stdin=terminal,
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
        os.close(terminal)
        done = threading.Event()

        def press_keys():
            while not done.wait(0.2):
                try:
                    os.write(controller, b"k")
                except OSError:
                    return

        presser = threading.Thread(target=press_keys)
        presser.start()
        try:
            stdout, stderr = process.communicate(timeout=timeout)
        finally:
            done.set()
            presser.join()
            os.close(controller)
        return stdout, stderr, process.returncode

    @staticmethod
    def restarts(run):
        """The delays of the restart commands a run gave, in order."""
        return [call.split()[3] for call in run.calls
                if call.split()[:3] == ["shutdown", "/r", "/t"]]

    # Assertions ---------------------------------------------------------------------------

    def assert_code(self, run, code):
        self.assertEqual(run.code, exit_status(code), run)

    def assert_pause(self, run, expected):
        """Checks the closing pause, expected or not. On POSIX only a run on a terminal can show
        it, so a check of any other run would prove nothing and is refused."""
        if not run.pause_seen:
            self.fail("the closing pause shows only on a terminal: run with terminal=True")
        self.assertEqual(run.paused, expected, run)
