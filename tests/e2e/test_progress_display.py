"""The progress display follows the update tool: redraws are not flushed one by one, but
whatever the installer has drawn is on its standard output while it waits for the tool."""

import os
import subprocess
import threading
import time
import unittest

from harness import PROGRAM, WINE, KitboxTest, windows_path

# The tool draws 50 %, prints a line and then works for a while before it goes on.
PAUSING_UPDATE = r"""[-f]
behaviour preamble
out FW Update:  [  50%% (|)]\rWriting the image.\r\n
sleep %d
out FW Update:  [ 100%% (/)]\r\r\n\r\nFW Update is completed successfully.\r\n
"""
PAUSE_MS = 4000
REDRAW = b"Updating FW:  [  50 % ]\r"


class ProgressWhileTheToolWorks(KitboxTest):

    def start_installer(self, *args):
        """Starts the installer in the Kitbox as run_installer does, with its output piped."""
        env = dict(os.environ)
        env["MEFW_SIM_FOLDER"] = windows_path(self.kitbox) if WINE else str(self.kitbox)
        if WINE:
            env["MEFW_EXIT_CODE_FILE"] = windows_path(self.root / "exit-code.txt")
            command = ["wine", os.environ["MEFW_LAUNCHER"], windows_path(PROGRAM), *args]
        else:
            env["SystemDrive"] = str(self.drive)
            env["PATH"] = str(self.posix_tools) + os.pathsep + env.get("PATH", "")
            command = [str(PROGRAM), *args]
        return subprocess.Popen(command, cwd=self.kitbox, env=env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)

    def test_redraw_is_shown_while_the_tool_pauses(self):
        self.make_kitbox()
        self.scenario("fwupdlcl", PAUSING_UPDATE % PAUSE_MS)
        process = self.start_installer("-s")
        arrivals = []  # (seconds since start, bytes received so far)

        def read_output():
            received = b""
            while True:
                piece = os.read(process.stdout.fileno(), 4096)
                if not piece:
                    return
                received += piece
                arrivals.append((time.monotonic(), received))

        reader = threading.Thread(target=read_output)
        reader.start()
        process.wait(timeout=600)
        ended = time.monotonic()
        reader.join()
        shown = [at for at, received in arrivals if REDRAW in received]
        self.assertTrue(shown, arrivals[-1][1] if arrivals else b"")
        # Shown before the pause, not when the tool went on: the rest of the run after the
        # pause takes a fraction of it.
        self.assertGreater(ended - shown[0], PAUSE_MS / 1000 / 2, arrivals[-1][1])


if __name__ == "__main__":
    unittest.main()
