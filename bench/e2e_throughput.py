#!/usr/bin/env python3
"""End-to-end measurements of the POSIX build, and the performance budgets that CI checks.

Throughput. Our simulated update tool prints a prepared file of progress redraws (carriage
return only) and ordinary lines (CR LF). The same output goes once through `cat` and once
through `mefwupdate -s`, which runs the tool in a temporary Kitbox exactly as on a real
machine; both write to /dev/null. Each is also run on an output that holds only the tool's
completion lines, so that the fixed costs (starting the tools, querying versions, writing the
stamp twice) can be taken off: rate = (bytes of the big output - bytes of the small one) /
(time of the big run - time of the small run), each time the shortest of the runs made, which
is the run least disturbed by anything else on the machine. The runs of both commands are
interleaved, so that a slow spell falls on both.

Memory. `mefwupdate -s -log` runs on both outputs with a probe preloaded (peak_memory_probe)
that reads the program's own peak resident set size (VmHWM) as it ends; the simulated tools
and the shell report theirs apart. The run log of a run is the text the program keeps in
memory: the bytes of runLog.log less one per line feed, since the file writes each line feed
as CR LF. Growth is compared from the small run to the big one.

Start-up. hyperfine times `mefwupdate -h` against a trivial C++ program built with the same
options (bench/trivial_program.cpp), both started without a shell; medians are compared.

Budgets. Each is a ratio of two measurements made on the same machine in the same run.
- Throughput: the goal is a sixth of cat's rate. --check fails below a twentieth, since on a
  busy two-core machine the ratio moves by a factor of two and more.
- Memory: peak memory grows with the run log, never with the tool's output. --check fails
  above 2 bytes of peak per byte of log; the tool's output is 16 times the log here, so
  memory that followed the output would be far beyond that. It also fails when the probe
  measured no peak for either run, which would otherwise pass as no growth at all.
- Start-up: `-h` takes at most twice the trivial program's time.
- Fleet plan: `mefwkit plan --machines` on a CSV of 100,000 machines with 30,000 distinct
  (BIOS, firmware) pairs takes under 5 seconds, as text and as --json, the shortest of three
  each; a --json run peaks under 256 MiB. The cost follows the distinct pairs, each planned
  once, so their number is what the figure is about.
"""

import argparse
import json
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent

IMAGE = "11.8.55.3510.bin"
INPUT_TXT = "meFirmwareFile = %s\nsupportedPlatforms = aster, asterpro, birch\n" % IMAGE
TOOL = "ME_Flash/Local-Win/FwUpdLcl64.exe"
COMPLETION = b"\r\n\r\nFW Update is completed successfully.\r\n"

RATE_GOAL_FRACTION_OF_CAT = 1 / 6
MIN_RATE_FRACTION_OF_CAT = 1 / 20
MAX_PEAK_GROWTH_PER_LOG_BYTE = 2.0
MAX_START_UP_FACTOR = 2.0
FLEET_MACHINES = 100000
FLEET_PAIRS = 30000
MAX_FLEET_SECONDS = 5.0
MAX_FLEET_PEAK = 256 << 20


def update_pass():
    """One pass of the update as the tool prints it; the same shape as updatePass() in
    bench/bench_support.cpp: about 9 KB, of which about 6 % reaches the run log."""
    spinner = "|/-\\"
    text = "".join("Sending the update image to FW for verification:  [ %3d %% ]\r" % p
                   for p in range(101))
    text += "Sending the update image to FW for verification:  [ COMPLETE ]\r\n\r\n"
    for p in range(101):
        text += "FW Update:  [ %3d%% (%s)]\r" % (p, spinner[p % 4])
        if p % 10 == 0:
            text += "Writing partition %d of the image to the flash.\r\n" % (p // 10)
    return text.encode()


def update_output(size):
    """Passes until `size` bytes are reached, then the completion lines."""
    one = update_pass()
    return one * -(-size // len(one)) + COMPLETION if size > 0 else COMPLETION


class Kitbox:
    """A Kitbox with our simulated tools, whose update prints `output`."""

    def __init__(self, root, name, build, output):
        self.folder = root / name
        self.drive = root / (name + "-drive")
        self.tools = root / (name + "-path")
        for folder in [self.folder / "ME_Flash" / "Local-Win", self.drive, self.tools]:
            folder.mkdir(parents=True)
        (self.folder / "input.txt").write_text(INPUT_TXT)
        (self.folder / "README.htm").write_text("<html><body>Update by hand.</body></html>\n")
        (self.folder / "ME_Flash" / IMAGE).write_text("firmware image\n")
        shutil.copy2(build / "tests" / "sim" / "fwupdlcl_sim", self.folder / TOOL)
        shutil.copy2(build / "tests" / "sim" / "wmic_sim", self.tools / "wmic")
        (self.folder / "update-output.bin").write_bytes(output)
        (self.folder / "sim-fwupdlcl.txt").write_text("[-f]\nfile update-output.bin\n")
        self.output_bytes = len(output)

    def environment(self, extra=None):
        env = dict(os.environ)
        env["PATH"] = str(self.tools) + os.pathsep + env.get("PATH", "")
        env["SystemDrive"] = str(self.drive)
        # The run records go to a folder of the Kitbox's own, never to /var/lib.
        env["MEFW_STATE_DIR"] = str(self.folder.parent / (self.folder.name + "-state"))
        # The simulated tool runs in the installer's stage; its scenario stays in the Kitbox.
        env["MEFW_SIM_FOLDER"] = str(self.folder)
        env.update(extra or {})
        return env

    def run(self, command, extra_env=None):
        """Runs a command in the Kitbox with its output thrown away; returns the seconds taken.
        A failed run is an error: the figures would not be about a completed update."""
        start = time.perf_counter()
        completed = subprocess.run(command, cwd=self.folder, env=self.environment(extra_env),
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.PIPE, timeout=600)
        seconds = time.perf_counter() - start
        if completed.returncode != 0:
            raise RuntimeError("%s ended with %d in %s: %s" % (
                command, completed.returncode, self.folder,
                completed.stderr.decode("latin-1", "replace")))
        return seconds


def check_tool_output(box):
    """The tool must print the whole output: a shell pipeline's status is cat's alone, so a
    tool that failed would otherwise pass for a fast one."""
    printed = subprocess.run([str(box.folder / TOOL), "-f", "ME_Flash/" + IMAGE], cwd=box.folder,
                             stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, timeout=600).stdout
    if len(printed) != box.output_bytes:
        raise RuntimeError("the simulated tool printed %d bytes instead of %d in %s" % (
            len(printed), box.output_bytes, box.folder))


def throughput(small, big, program, runs):
    """Rates in bytes per second of cat and of the program, taking the fixed costs off."""
    for box in [small, big]:
        check_tool_output(box)
    cat = ["/bin/sh", "-c", "%s -f ME_Flash/%s | cat" % (TOOL, IMAGE)]
    installer = [str(program), "-s"]
    times = {(name, box): [] for name in ["cat", "program"] for box in ["small", "big"]}
    for _ in range(runs):
        # Interleaved, so that a burst of load elsewhere falls on both sides alike.
        for name, command in [("cat", cat), ("program", installer)]:
            for box_name, box in [("small", small), ("big", big)]:
                times[(name, box_name)].append(box.run(command))
    extra_bytes = big.output_bytes - small.output_bytes
    result = {}
    for name in ["cat", "program"]:
        small_time = min(times[(name, "small")])
        big_time = min(times[(name, "big")])
        result[name] = {"small_s": small_time, "big_s": big_time,
                        "rate": extra_bytes / max(big_time - small_time, 1e-9)}
    return result


def peak_of(report, name):
    """The largest peak, in bytes, that the probe reported for processes called `name`, and
    the largest of all others; 0 for what it did not report."""
    own = 0
    others = 0
    lines = report.read_text().splitlines() if report.exists() else []
    for line in lines:
        fields = line.split("\t")
        process = fields[1] if len(fields) > 1 else ""
        peak = int(fields[-1].split()[0]) * 1024
        # The kernel keeps only the first 15 bytes of a process's name.
        if process == name[:15]:
            own = max(own, peak)
        else:
            others = max(others, peak)
    return own, others


def memory(box, program, probe):
    """Peak memory of one `-s -log` run and the size of the run log it kept."""
    report = box.folder / "peak-memory.txt"
    report.unlink(missing_ok=True)
    box.run([str(program), "-s", "-log"],
            {"LD_PRELOAD": str(probe), "MEFW_PEAK_MEMORY_FILE": str(report)})
    own, others = peak_of(report, program.name)
    log = (box.folder / "runLog.log").read_bytes()
    return {"peak": own, "children_peak": others, "log": len(log) - log.count(b"\n")}


def start_up(program, trivial, runs):
    """Median seconds of `program -h` and of the trivial program, from hyperfine."""
    with tempfile.NamedTemporaryFile(suffix=".json") as export:
        # -h ends with exit code 1 by design, hence --ignore-failure.
        completed = subprocess.run(
            ["hyperfine", "--shell=none", "--warmup", "5", "--runs", str(runs),
             "--ignore-failure", "--style", "none", "--export-json", export.name,
             "%s -h" % program, str(trivial)],
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=600)
        if completed.returncode != 0:
            raise RuntimeError("hyperfine failed: " + completed.stderr.decode("latin-1"))
        results = json.loads(pathlib.Path(export.name).read_text())["results"]
    return {"program": results[0]["median"], "trivial": results[1]["median"]}


def fleet_rows():
    """FLEET_MACHINES machines with FLEET_PAIRS distinct (BIOS, firmware) pairs: 1,000 BIOS
    versions of one family, the last tenth of another, against 30 firmware versions, the
    Kitbox's among them, each pair on three or four machines."""
    versions = ["11.8.%d.%d" % (45 + v % 15, 3400 + 110 * (v // 15)) for v in range(30)]
    rows = ["name,bios,me"]
    for i in range(FLEET_MACHINES):
        pair = i % FLEET_PAIRS
        bios = pair // len(versions)
        family = "Q22" if bios >= 900 else "N01"
        rows.append('pc-%06d,"%s Ver. 1.%02d.%d",%s' % (
            i, family, bios % 100, bios // 100, versions[pair % len(versions)]))
    return rows


def fleet_plan(box, kit_program, runs, wine=False, probe=None):
    """Seconds of `mefwkit plan --machines` on a CSV of FLEET_MACHINES machines, as text and
    as --json (the shortest of `runs` each), and the peak memory of a --json run in bytes
    (0 without the probe)."""
    machines = box.folder.parent / "machines.csv"
    machines.write_text("\r\n".join(fleet_rows()) + "\r\n")
    where = [str(machines), str(box.folder)]
    if wine:
        where = ["Z:" + path.replace("/", "\\") for path in where]
    command = (["wine"] if wine else []) + [str(kit_program), "plan", where[1], "--machines",
                                            where[0], "--no-signature-check"]
    best = {}
    for form in ["text", "json"]:
        for _ in range(runs):
            seconds, _ = run_fleet_plan(command + (["--json"] if form == "json" else []), form)
            best[form] = min(best.get(form, seconds), seconds)
    peak = 0
    if probe is not None and not wine:
        report = box.folder.parent / "fleet-peak.txt"
        report.unlink(missing_ok=True)
        run_fleet_plan(command + ["--json"], "json",
                       {"LD_PRELOAD": str(probe), "MEFW_PEAK_MEMORY_FILE": str(report)})
        peak, _ = peak_of(report, pathlib.Path(kit_program).name)
    return best["text"], best["json"], peak


def run_fleet_plan(command, form, extra_env=None):
    """One timed run, checked to have planned every machine."""
    start = time.perf_counter()
    completed = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, timeout=1800,
                               env=dict(os.environ, **(extra_env or {})))
    seconds = time.perf_counter() - start
    out = completed.stdout.decode("latin-1")
    if form == "json":
        planned = len(json.loads(out)["machines"]) if completed.returncode == 0 else None
        complete = planned == FLEET_MACHINES
    else:
        complete = out.replace("\r\n", "\n").endswith(
            "%d machines planned, 0 need the installed version, 0 unreadable.\n" % FLEET_MACHINES)
    if completed.returncode != 0 or not complete:
        raise RuntimeError("mefwkit plan --machines failed: %r %r" % (
            out[-300:], completed.stderr[:500]))
    return seconds, out


def megabytes(count):
    return count / (1 << 20)


def report_fleet(fleet):
    """Prints the fleet plan's figures; returns the budgets that failed."""
    text, as_json, peak = fleet
    failures = []
    print("fleet plan   %d machines, %d distinct pairs: %.2f s, --json %.2f s, --json peak %.1f MB"
          % (FLEET_MACHINES, FLEET_PAIRS, text, as_json, megabytes(peak)))
    if max(text, as_json) >= MAX_FLEET_SECONDS:
        failures.append("fleet plan: %.2f s for %d machines, the budget is %.0f s" % (
            max(text, as_json), FLEET_MACHINES, MAX_FLEET_SECONDS))
    if peak <= 0 or peak >= MAX_FLEET_PEAK:
        failures.append("fleet plan: a peak of %.1f MB with --json, the budget is %.0f MB" % (
            megabytes(peak), megabytes(MAX_FLEET_PEAK)))
    return failures


def report_and_check(speed, small_memory, big_memory, start, fleet):
    """Prints the figures; returns the budgets that failed."""
    failures = report_fleet(fleet)
    fraction = speed["program"]["rate"] / speed["cat"]["rate"]
    print("throughput   cat %8.1f MB/s   mefwupdate -s %8.1f MB/s   ratio 1/%.1f (goal 1/%.0f: %s)"
          % (megabytes(speed["cat"]["rate"]), megabytes(speed["program"]["rate"]), 1 / fraction,
             1 / RATE_GOAL_FRACTION_OF_CAT,
             "met" if fraction >= RATE_GOAL_FRACTION_OF_CAT else "not met"))
    for name in ["cat", "program"]:
        print("             %-8s small output %.3f s, big output %.3f s (shortest runs)" % (
            name, speed[name]["small_s"], speed[name]["big_s"]))
    if fraction < MIN_RATE_FRACTION_OF_CAT:
        failures.append("throughput: 1/%.1f of cat's rate, the budget is 1/%.0f" % (
            1 / fraction, 1 / MIN_RATE_FRACTION_OF_CAT))

    for run, figures in [("small", small_memory), ("big", big_memory)]:
        if figures["peak"] <= 0:
            failures.append("memory: the probe measured no peak of the %s run" % run)
    log_growth = big_memory["log"] - small_memory["log"]
    peak_growth = big_memory["peak"] - small_memory["peak"]
    per_log_byte = peak_growth / max(log_growth, 1)
    print("memory       peak %.1f MB -> %.1f MB (+%.2f MB); run log %.2f MB -> %.2f MB "
          "(+%.2f MB); %.2f bytes of peak per byte of log" % (
              megabytes(small_memory["peak"]), megabytes(big_memory["peak"]),
              megabytes(peak_growth), megabytes(small_memory["log"]),
              megabytes(big_memory["log"]), megabytes(log_growth), per_log_byte))
    print("             largest child process (shell, simulated tools): %.1f MB" %
          megabytes(big_memory["children_peak"]))
    if per_log_byte > MAX_PEAK_GROWTH_PER_LOG_BYTE:
        failures.append("memory: %.2f bytes of peak per byte of run log, the budget is %.1f" % (
            per_log_byte, MAX_PEAK_GROWTH_PER_LOG_BYTE))

    factor = start["program"] / start["trivial"]
    print("start-up     mefwupdate -h %.2f ms   trivial program %.2f ms   factor %.2f" % (
        start["program"] * 1000, start["trivial"] * 1000, factor))
    if factor > MAX_START_UP_FACTOR:
        failures.append("start-up: %.2f times the trivial program, the budget is %.1f" % (
            factor, MAX_START_UP_FACTOR))
    return failures


def fleet_only(build, kit_program):
    """The fleet plan's figures alone, for any build of the kit tool."""
    root = pathlib.Path(tempfile.mkdtemp(prefix="mefw-e2e-bench-"))
    try:
        box = Kitbox(root, "small", build, update_output(0))
        wine = kit_program.suffix == ".exe"
        probe = None if wine else build / "bench" / "libpeak_memory_probe.so"
        failures = report_fleet(fleet_plan(box, kit_program, 3, wine, probe))
    finally:
        shutil.rmtree(root, ignore_errors=True)
    if not wine:
        for failure in failures:
            print("BUDGET NOT MET: " + failure)
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", type=pathlib.Path, default=ROOT / "build",
                        help="the native build folder (default: build/)")
    parser.add_argument("--program", type=pathlib.Path,
                        help="the installer to measure (default: mefwupdate of the build "
                        "folder); the simulated tools and helpers still come from there")
    parser.add_argument("--megabytes", type=int, default=64,
                        help="size of the big tool output (default: 64)")
    parser.add_argument("--runs", type=int, default=7,
                        help="timed runs of each command and output (default: 7)")
    parser.add_argument("--start-up-runs", type=int, default=100,
                        help="hyperfine runs of each program (default: 100)")
    parser.add_argument("--check", action="store_true",
                        help="exit with status 1 when a budget is not met")
    parser.add_argument("--fleet-only", type=pathlib.Path, metavar="MEFWKIT",
                        help="measure only the fleet plan, of this mefwkit; an .exe runs under "
                        "wine (WINEPREFIX as set)")
    args = parser.parse_args()
    if args.fleet_only:
        return fleet_only(args.build.resolve(), args.fleet_only.resolve())

    build = args.build.resolve()
    program = (args.program or build / "mefwupdate").resolve()
    probe = build / "bench" / "libpeak_memory_probe.so"
    trivial = build / "bench" / "trivial_program"
    root = pathlib.Path(tempfile.mkdtemp(prefix="mefw-e2e-bench-"))
    try:
        small = Kitbox(root, "small", build, update_output(0))
        big = Kitbox(root, "big", build, update_output(args.megabytes << 20))
        print("tool output  %.1f MB against %d bytes, %d runs each" % (
            megabytes(big.output_bytes), small.output_bytes, args.runs))
        speed = throughput(small, big, program, args.runs)
        small_memory = memory(small, program, probe)
        big_memory = memory(big, program, probe)
        start = start_up(program, trivial, args.start_up_runs)
        fleet = fleet_plan(small, build / "mefwkit", 3, probe=probe)
    finally:
        shutil.rmtree(root, ignore_errors=True)

    failures = report_and_check(speed, small_memory, big_memory, start, fleet)
    for failure in failures:
        print("BUDGET NOT MET: " + failure)
    if args.check and failures:
        return 1
    if args.check:
        print("all budgets met")
    return 0


if __name__ == "__main__":
    sys.exit(main())
