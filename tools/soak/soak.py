#!/usr/bin/env python3
"""Randomized soak of velmora-cli against velmora-sim with the simulator's line faults.

Every job starts a fresh virtual controller with a known register image and one fault kind,
runs one real CLI job against it (write-actuator, backup or restore) under a hard time limit,
stops the controller and judges the outcome from its register dump (or, for a backup, from
the saved file):

  success         exit 0 and the controller / the backup file holds exactly what the
                  fault-free reference run produced
  honest failure  exit 1 or 4 (the tool said it failed); a failed backup must leave no new
                  file behind and an older file of that name untouched
  FALSE SUCCESS   exit 0 with a wrong controller state or a wrong backup file
  hang            no exit within --timeout seconds (the CLI is killed)
  other           any other exit status, a CLI killed by a signal, or a job the harness
                  itself could not judge (simulator did not start, no dump)

Standard library only. See --help; README.md (benchmarks and tools) has a short note.
"""

from __future__ import annotations

import argparse
import os
import queue
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
from dataclasses import dataclass, field

# ---- The controller's register areas and what the tool stamps -------------------------------

PARAM_FIRST, PARAM_LAST = 0x0000, 0x017F
STEP_FIRST, STEP_LAST = 0x0400, 0x07FF
ALL_REGS = list(range(PARAM_FIRST, PARAM_LAST + 1)) + list(range(STEP_FIRST, STEP_LAST + 1))
REG_MODE = 0x000C        # high byte: from the written image; low byte: 200 while writing, 1 after
REG_UNIT_NAME = 0x000E   # 16 characters over eight registers
REG_CHECK = 0x00EE       # a restore stamps the value it found there + 1000 (while <= 9999)
REG_DATE = 0x00EF        # every write-both / restore stamps the current year and month (YYMM)
VALID_MODES = (1, 2, 3, 100, 200)

# ---- Faults ---------------------------------------------------------------------------------

PERIODIC_FAULTS = [
    "drop-request", "lose-reply", "bad-crc", "flip-bit", "wrong-station", "wrong-function",
    "short-reply", "double-reply", "late-reply", "wrong-echo", "exception",
]
FAULTS = PERIODIC_FAULTS + ["die-after"]
JOB_KINDS = ["write", "backup", "restore"]
BAUDS = [38400, 115200]

PART_NO, SV_NO, IO_KIND = "VMA10-06I", "1.10", "NPN"

# Exit statuses of velmora-cli.
EXIT_OK, EXIT_FAILED, EXIT_USAGE, EXIT_REFUSED, EXIT_COMM, EXIT_CANCELLED = 0, 1, 2, 3, 4, 130
HONEST_EXITS = (EXIT_FAILED, EXIT_COMM)

OUTCOMES = ["success", "honest", "false", "hang", "other"]
OUTCOME_TITLES = {
    "success": "success", "honest": "honest fail", "false": "FALSE SUCC", "hang": "hang",
    "other": "other",
}


@dataclass
class JobPlan:
    index: int
    kind: str
    fault: str
    n: int
    baud: int
    station: int
    late_ms: int | None = None      # only with late-reply; None: the simulator's default
    old_file: bool = False          # backup only: an older file already sits at the target

    def describe(self) -> str:
        text = f"kind={self.kind} fault={self.fault} n={self.n} baud={self.baud} station={self.station}"
        if self.late_ms is not None:
            text += f" late_ms={self.late_ms}"
        if self.kind == "backup":
            text += f" old_file={int(self.old_file)}"
        return text

    @staticmethod
    def parse(text: str, index: int = 0) -> "JobPlan":
        fields = dict(item.split("=", 1) for item in text.replace(",", " ").split())
        plan = JobPlan(index=index, kind=fields["kind"], fault=fields["fault"],
                       n=int(fields["n"]), baud=int(fields.get("baud", 115200)),
                       station=int(fields.get("station", 1)))
        if "late_ms" in fields:
            plan.late_ms = int(fields["late_ms"])
        plan.old_file = fields.get("old_file", "0") not in ("0", "", "no", "false")
        if plan.kind not in JOB_KINDS or plan.fault not in FAULTS:
            raise ValueError(f"unknown kind or fault in '{text}'")
        return plan


@dataclass
class JobResult:
    plan: JobPlan
    outcome: str = "other"
    exit_status: int | None = None
    seconds: float = 0.0
    repeats: int = 0
    detail: str = ""
    folder: str = ""
    problems: list[str] = field(default_factory=list)  # broken promises of a failed job


# ---- Register images ------------------------------------------------------------------------

def parse_image(path: str) -> dict[int, int]:
    registers: dict[int, int] = {}
    with open(path, encoding="ascii") as handle:
        for line in handle:
            line = line.split("#", 1)[0].strip()
            if not line or "=" not in line:
                continue
            key, value = (part.strip() for part in line.split("=", 1))
            if key.lower().startswith("0x"):
                registers[int(key, 16)] = int(value, 0)
    return registers


def write_image(path: str, registers: dict[int, int], comment: str) -> None:
    with open(path, "w", encoding="ascii") as handle:
        # No "station" line: the image's station would override the simulator's --id.
        handle.write(f"# {comment}\nversion = 110\n")
        for address in sorted(registers):
            handle.write(f"0x{address:04X} = 0x{registers[address]:04X}\n")


def seeded_image(rng: random.Random, small_check_value: bool) -> dict[int, int]:
    """Every register random, so that a block the tool skips or misplaces shows up; a printable
    unit name (it travels as text in a backup) and a valid mode byte."""
    image = {address: rng.randrange(0x10000) for address in ALL_REGS}
    name = "".join(rng.choice("ABCDEFGHJKLMNPRSTUVWXYZ0123456789-") for _ in range(16))
    for i in range(8):
        image[REG_UNIT_NAME + i] = ord(name[2 * i]) << 8 | ord(name[2 * i + 1])
    image[REG_MODE] = rng.randrange(0x100) << 8 | rng.choice(VALID_MODES)
    if small_check_value:
        image[REG_CHECK] = rng.randrange(9000)  # the restore's "+1000" then applies
    return image


def date_stamp(moment: float) -> int:
    local = time.localtime(moment)
    return int(f"{local.tm_year % 100:02d}{local.tm_mon:02d}", 16)


def first_register_difference(expected: dict[int, int], actual: dict[int, int],
                              date_ok: set[int] | None) -> str | None:
    """None when actual holds expected on every register of both areas. The date stamp
    register, when date_ok is given, must hold one of those values instead."""
    for address in ALL_REGS:
        got = actual.get(address)
        if address == REG_DATE and date_ok is not None:
            if got not in date_ok:
                wanted = "/".join(f"0x{v:04X}" for v in sorted(date_ok))
                return f"register 0x{address:04X}: expected {wanted} (date stamp), got {fmt(got)}"
            continue
        if got != expected.get(address):
            return (f"register 0x{address:04X}: expected {fmt(expected.get(address))}, "
                    f"got {fmt(got)}")
    return None


def fmt(value: int | None) -> str:
    return "missing" if value is None else f"0x{value:04X}"


def first_line_difference(expected: list[bytes], actual: list[bytes]) -> str | None:
    """Lines 2.. must be equal; line 1 only in its fields before the timestamp."""
    if not actual:
        return "the backup file is empty"
    head_expected = expected[0].split(b",")[:3]
    head_actual = actual[0].split(b",")[:3]
    if head_expected != head_actual:
        return f"line 1 fields: expected {head_expected!r}, got {head_actual!r}"
    for number, (want, got) in enumerate(zip(expected[1:], actual[1:]), start=2):
        if want != got:
            return f"line {number}: expected {want!r}, got {got!r}"
    if len(expected) != len(actual):
        return f"line count: expected {len(expected)}, got {len(actual)}"
    return None


# ---- Running the programs -------------------------------------------------------------------

class Harness:
    def __init__(self, bin_dir: str, work: str, timeout: float, verbose: bool):
        self.cli = os.path.join(bin_dir, "velmora-cli")
        self.sim = os.path.join(bin_dir, "velmora-sim")
        self.system = os.path.join(bin_dir, "System")
        self.work = work
        self.timeout = timeout
        self.verbose = verbose
        self.live: set[subprocess.Popen] = set()
        self.live_lock = threading.Lock()
        for path in (self.cli, self.sim):
            if not os.access(path, os.X_OK):
                raise SystemExit(f"soak: {path} is missing or not executable (see --bin)")
        if not os.path.isdir(os.path.join(self.system, "Data")):
            raise SystemExit(f"soak: {self.system}/Data is missing (build velmora_system_files "
                             "and velmora_sample_data)")

    # A program folder of the job's own: the CLI may write its settings back.
    def make_root(self, folder: str) -> str:
        root = os.path.join(folder, "root")
        shutil.copytree(self.system, os.path.join(root, "System"))
        return root

    def _track(self, process: subprocess.Popen, alive: bool) -> None:
        with self.live_lock:
            (self.live.add if alive else self.live.discard)(process)

    def start_sim(self, folder: str, image: str, dump: str, baud: int, station: int,
                  fault_args: list[str]) -> tuple[subprocess.Popen, str]:
        out_path = os.path.join(folder, "sim.out")
        args = [self.sim, "--id", str(station), "--baud", str(baud), "--turnaround", "2",
                "--image", image, "--dump-on-exit", dump] + fault_args
        with open(out_path, "wb") as out, open(os.path.join(folder, "sim.err"), "wb") as err:
            process = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                       start_new_session=True)
        self._track(process, True)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            with open(out_path, "rb") as handle:
                text = handle.read()
            if b"\n" in text:
                return process, text.split(b"\n", 1)[0].decode()
            if process.poll() is not None:
                break
            time.sleep(0.02)
        self.stop_sim(process)
        raise RuntimeError(f"velmora-sim did not give its device ({' '.join(args)})")

    def stop_sim(self, process: subprocess.Popen) -> bool:
        """SIGTERM, which makes it write its dump; True when it ended by itself."""
        ended = True
        if process.poll() is None:
            process.send_signal(signal.SIGTERM)
            try:
                process.wait(timeout=15)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
                ended = False
        self._track(process, False)
        return ended

    def run_cli(self, folder: str, root: str, args: list[str],
                timeout: float | None = None) -> tuple[int | None, float]:
        """(exit status, seconds); None as the status when it was killed after the time-out."""
        started = time.monotonic()
        with open(os.path.join(folder, "cli.out"), "ab") as out, \
                open(os.path.join(folder, "cli.err"), "ab") as err:
            process = subprocess.Popen([self.cli, "--root", root] + args,
                                       stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                       cwd=folder, start_new_session=True)
            self._track(process, True)
            try:
                status: int | None = process.wait(timeout=timeout or self.timeout)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
                status = None
            finally:
                self._track(process, False)
        return status, time.monotonic() - started

    def unpack(self, folder: str, root: str, scrambled: str) -> list[bytes]:
        plain = scrambled + ".txt"
        status, _ = self.run_cli(folder, root, ["unpack", scrambled, plain], timeout=60)
        if status != 0:
            raise RuntimeError(f"velmora-cli unpack {scrambled} gave exit status {status}")
        with open(plain, "rb") as handle:
            return handle.read().split(b"\n")

    def stop_all(self) -> None:
        with self.live_lock:
            processes = list(self.live)
        for process in processes:
            if process.poll() is None:
                process.kill()


def fault_arguments(plan: JobPlan) -> list[str]:
    args = [f"--{plan.fault}", str(plan.n)]
    if plan.fault == "late-reply" and plan.late_ms is not None:
        args += ["--late-ms", str(plan.late_ms)]
    return args


def cli_link_args(port: str, baud: int, station: int) -> list[str]:
    return ["--port", port, "--id", str(station), "--baud", str(baud), "--yes"]


def cli_job_args(kind: str, backup_path: str) -> list[str]:
    if kind == "write":
        return ["write-actuator", "--part-no", PART_NO, "--controller", "VC-1A", "--stroke", "50",
                "--sv", SV_NO, "--io", IO_KIND, "--contents", "both"]
    if kind == "backup":
        return ["backup", backup_path]
    return ["restore", backup_path, "--contents", "both"]


def repeats_from(folder: str) -> int:
    try:
        with open(os.path.join(folder, "cli.err"), "rb") as handle:
            found = re.findall(rb"(\d+) requests? repeated after line errors", handle.read())
    except OSError:
        return 0
    return int(found[-1]) if found else 0


def tail(path: str, lines: int = 6) -> str:
    try:
        with open(path, "rb") as handle:
            text = handle.read().decode(errors="replace")
    except OSError:
        return ""
    text = re.sub(r"(\s*\d+% [^\n]*\n?)+", "\n", text)  # progress lines say nothing here
    return " | ".join(line.strip() for line in text.strip().splitlines()[-lines:])


# ---- References -----------------------------------------------------------------------------

@dataclass
class References:
    images: dict[str, str]                 # job kind -> starting image file
    start: dict[str, dict[int, int]]       # job kind -> starting image
    written: dict[int, int]
    backup_lines: list[bytes]
    backup_file: str                       # the reference backup (stored form): restore input
    old_backup_file: str                   # another controller's backup: the "older file"
    restored: dict[int, int]
    notes: list[str]


def make_references(harness: Harness, seed: int) -> References:
    """Fault-free runs at both bit rates; each reference must come out the same at both."""
    folder = os.path.join(harness.work, "reference")
    os.makedirs(folder)
    root = harness.make_root(folder)
    rng = random.Random(f"velmora-soak-images-{seed}")
    start = {
        "write": seeded_image(rng, small_check_value=False),
        "backup": seeded_image(rng, small_check_value=False),
        "restore": seeded_image(rng, small_check_value=True),
    }
    images = {}
    for kind, image in start.items():
        images[kind] = os.path.join(folder, f"start-{kind}.img")
        write_image(images[kind], image, f"soak starting image for {kind} jobs (seed {seed})")
    notes: list[str] = []

    def run(kind: str, baud: int, image: str, backup_path: str,
            what: str = "") -> tuple[dict[int, int], float]:
        tag = f"{kind}-{baud}{what}"
        dump = os.path.join(folder, f"ref-{tag}.dump")
        moment = time.time()
        process, port = harness.start_sim(folder, image, dump, baud, 1, [])
        try:
            status, seconds = harness.run_cli(
                folder, root, cli_link_args(port, baud, 1) + cli_job_args(kind, backup_path),
                timeout=max(harness.timeout, 120))
        finally:
            harness.stop_sim(process)
        if status != 0:
            raise SystemExit(f"soak: the fault-free reference {kind} at {baud} bit/s gave exit "
                             f"status {status}; see {folder}/cli.err")
        notes.append(f"reference {kind:7s} at {baud:6d} bit/s: {seconds:5.1f} s{what}")
        return parse_image(dump), moment

    # (a) write-actuator both onto the write image.
    written = {}
    for baud in BAUDS:
        image, moment = run("write", baud, images["write"], "")
        if image.get(REG_DATE) not in {date_stamp(moment), date_stamp(time.time())}:
            raise SystemExit(f"soak: the reference write stamped 0x{image.get(REG_DATE, 0):04X} "
                             f"into 0x{REG_DATE:04X}, not the current year and month")
        if written and (difference := first_register_difference(written, image, None)):
            raise SystemExit(f"soak: reference writes differ between bit rates: {difference}")
        written = image

    # (b) backup of the backup image; then another controller's backup as an "older file".
    backup_lines: list[bytes] = []
    backup_file = ""
    for baud in BAUDS:
        path = os.path.join(folder, f"ref-{baud}.bkp")
        run("backup", baud, images["backup"], path)
        lines = harness.unpack(folder, root, path)
        if backup_lines and (difference := first_line_difference(backup_lines, lines)):
            raise SystemExit(f"soak: reference backups differ between bit rates: {difference}")
        backup_lines, backup_file = lines, path
    old_backup_file = os.path.join(folder, "older.bkp")
    run("backup", BAUDS[-1], images["write"], old_backup_file, " (the older file)")

    # (c) restore of the reference backup onto the restore image.
    restored = {}
    for baud in BAUDS:
        image, _ = run("restore", baud, images["restore"], backup_file)
        if restored and (difference := first_register_difference(restored, image, None)):
            raise SystemExit(f"soak: reference restores differ between bit rates: {difference}")
        restored = image

    # Cross-checks against what the tool is meant to do (notes, not verdicts).
    source, target = start["backup"], start["restore"]
    check = target[REG_CHECK] + 1000 if target[REG_CHECK] + 1000 <= 9999 else target[REG_CHECK]
    odd = []
    for address in ALL_REGS:
        want = source[address]
        if address == REG_MODE:
            want = (source[REG_MODE] & 0xFF00) | 1
        elif address == REG_CHECK:
            want = check
        elif address == REG_DATE:
            continue
        if restored[address] != want:
            odd.append(f"0x{address:04X} (backed up 0x{source[address]:04X}, "
                       f"restored 0x{restored[address]:04X})")
    notes.append("reference restore vs the backed-up controller: "
                 + ("equal apart from mode low byte 1, 0x00EE = old+1000, 0x00EF = date"
                    if not odd else "also differs at " + ", ".join(odd[:8])
                    + (f" and {len(odd) - 8} more" if len(odd) > 8 else "")))
    unchanged = sum(1 for a in ALL_REGS if written[a] == start["write"][a])
    notes.append(f"reference write left {unchanged} of {len(ALL_REGS)} registers as they were")
    return References(images, start, written, backup_lines, backup_file, old_backup_file,
                      restored, notes)


# ---- One soak job ---------------------------------------------------------------------------

def run_job(harness: Harness, refs: References, plan: JobPlan) -> JobResult:
    result = JobResult(plan)
    folder = os.path.join(harness.work, f"job-{plan.index:05d}")
    result.folder = folder
    os.makedirs(folder)
    root = harness.make_root(folder)
    out_dir = os.path.join(folder, "out")
    os.makedirs(out_dir)
    backup_path = os.path.join(out_dir, "controller.bkp")
    old_bytes = b""
    if plan.kind == "restore":
        # A copy of its own: jobs running at once never share a file.
        shutil.copyfile(refs.backup_file, backup_path)
    elif plan.kind == "backup" and plan.old_file:
        shutil.copyfile(refs.old_backup_file, backup_path)
        with open(backup_path, "rb") as handle:
            old_bytes = handle.read()
    dump = os.path.join(folder, "sim.dump")

    started = time.time()
    try:
        process, port = harness.start_sim(folder, refs.images[plan.kind], dump, plan.baud,
                                          plan.station, fault_arguments(plan))
    except RuntimeError as error:
        result.detail = f"harness: {error}"
        return result
    try:
        status, result.seconds = harness.run_cli(
            folder, root,
            cli_link_args(port, plan.baud, plan.station) + cli_job_args(plan.kind, backup_path))
    finally:
        sim_ended = harness.stop_sim(process)
    ended = time.time()
    result.exit_status = status
    result.repeats = repeats_from(folder)

    if status is None:
        result.outcome = "hang"
        result.detail = f"no exit within {harness.timeout:.0f} s; stderr: {tail(folder + '/cli.err')}"
        return result
    if status < 0:
        result.detail = f"velmora-cli killed by signal {-status}; stderr: {tail(folder + '/cli.err')}"
        return result

    if status == EXIT_OK:
        difference = judge_success(harness, refs, plan, folder, root, dump, backup_path,
                                   sim_ended, {date_stamp(started), date_stamp(ended)})
        if difference is None:
            result.outcome = "success"
        elif difference.startswith("harness:"):
            result.detail = difference
        else:
            result.outcome = "false"
            result.detail = difference
        return result

    if status in HONEST_EXITS:
        result.outcome = "honest"
        result.detail = tail(os.path.join(folder, "cli.err"), 3)
        if plan.kind == "backup":
            result.problems = backup_leftovers(out_dir, backup_path, old_bytes, plan.old_file)
        return result

    result.detail = f"exit status {status}; stderr: {tail(folder + '/cli.err')}"
    return result


def judge_success(harness: Harness, refs: References, plan: JobPlan, folder: str, root: str,
                  dump: str, backup_path: str, sim_ended: bool, date_ok: set[int]) -> str | None:
    if plan.kind == "backup":
        if not os.path.isfile(backup_path):
            return "exit 0 but no backup file"
        try:
            lines = harness.unpack(folder, root, backup_path)
        except RuntimeError as error:
            return f"exit 0 but the backup cannot be unpacked: {error}"
        leftovers = [n for n in os.listdir(os.path.dirname(backup_path))
                     if n != os.path.basename(backup_path) and not n.endswith(".txt")]
        if leftovers:
            return f"exit 0 but stray files beside the backup: {leftovers}"
        return first_line_difference(refs.backup_lines, lines)
    if not sim_ended or not os.path.isfile(dump):
        return "harness: the simulator left no register dump"
    expected = refs.written if plan.kind == "write" else refs.restored
    return first_register_difference(expected, parse_image(dump), date_ok)


def backup_leftovers(out_dir: str, backup_path: str, old_bytes: bytes, had_old: bool) -> list[str]:
    problems = []
    names = sorted(os.listdir(out_dir))
    if had_old:
        try:
            with open(backup_path, "rb") as handle:
                if handle.read() != old_bytes:
                    problems.append("the failed backup changed the older file")
        except OSError:
            problems.append("the failed backup removed the older file")
        names = [n for n in names if n != os.path.basename(backup_path)]
    elif os.path.exists(backup_path):
        problems.append("the failed backup left a file")
        names = [n for n in names if n != os.path.basename(backup_path)]
    if names:
        problems.append(f"the failed backup left stray files: {names}")
    return problems


# ---- Job list, workers, report --------------------------------------------------------------

def make_jobs(seed: int, count: int) -> list[JobPlan]:
    rng = random.Random(seed)
    jobs = []
    for index in range(count):
        kind = rng.choice(JOB_KINDS)
        fault = rng.choice(FAULTS)
        n = rng.randint(20, 150) if fault == "die-after" else rng.randint(3, 40)
        plan = JobPlan(index, kind, fault, n, rng.choice(BAUDS), rng.randint(1, 247))
        if fault == "late-reply" and rng.random() < 0.5:
            plan.late_ms = rng.randint(50, 1500)
        if kind == "backup":
            plan.old_file = rng.random() < 0.5
        jobs.append(plan)
    return jobs


def print_table(title: str, keys: list[str], results: list[JobResult], key_of) -> None:
    header = (f"{title:14s} {'runs':>5s} " + " ".join(f"{OUTCOME_TITLES[o]:>11s}" for o in OUTCOMES)
              + f" {'repeats':>8s} {'avg s':>6s}")
    print(header)
    print("-" * len(header))
    for key in keys + ["TOTAL"]:
        rows = [r for r in results if key == "TOTAL" or key_of(r) == key]
        if not rows and key != "TOTAL":
            continue
        counts = [sum(1 for r in rows if r.outcome == o) for o in OUTCOMES]
        mean = sum(r.seconds for r in rows) / len(rows) if rows else 0.0
        if key == "TOTAL":
            print("-" * len(header))
        print(f"{key:14s} {len(rows):5d} " + " ".join(f"{c:11d}" for c in counts)
              + f" {sum(r.repeats for r in rows):8d} {mean:6.1f}")
    print()


def main() -> int:
    here = os.path.dirname(os.path.abspath(__file__))
    repo = os.path.dirname(os.path.dirname(here))
    default_bin = os.path.join(repo, "build", "helper-soak", "bin")
    if not os.path.isfile(os.path.join(default_bin, "velmora-cli")):
        default_bin = os.path.join(repo, "build", "release", "bin")
    parser = argparse.ArgumentParser(
        description="Randomized soak: velmora-cli against velmora-sim with line faults.")
    parser.add_argument("--jobs", type=int, default=300, help="jobs to run (default 300)")
    parser.add_argument("--seed", type=int, default=None, help="master seed (default: random)")
    parser.add_argument("--bin", default=default_bin,
                        help="folder with velmora-cli, velmora-sim and System/ (default %(default)s)")
    parser.add_argument("--parallel", type=int, default=2, help="jobs at once (default 2)")
    parser.add_argument("--timeout", type=float, default=180,
                        help="seconds before a CLI run counts as a hang (default 180)")
    parser.add_argument("--max-minutes", type=float, default=None,
                        help="start no new job after this many minutes")
    parser.add_argument("--job", action="append", default=[], metavar="JOB",
                        help="run only this job, as a report line prints it "
                             "(\"kind=write fault=late-reply n=7 baud=115200 station=3 ...\"); "
                             "may be repeated; the seed still picks the images")
    parser.add_argument("--keep", action="store_true",
                        help="keep every job's folder (default: only those with a problem)")
    parser.add_argument("--workdir", default=None, help="where job folders go (default: /tmp)")
    parser.add_argument("--verbose", action="store_true", help="a line per finished job")
    options = parser.parse_args()

    seed = options.seed if options.seed is not None else random.randrange(1 << 31)
    if options.job:
        jobs = [JobPlan.parse(text, i) for i, text in enumerate(options.job)]
    else:
        jobs = make_jobs(seed, options.jobs)
    work = tempfile.mkdtemp(prefix="velmora-soak-", dir=options.workdir)
    harness = Harness(os.path.abspath(options.bin), work, options.timeout, options.verbose)
    print(f"soak: seed {seed}, {len(jobs)} job(s), parallel {options.parallel}, "
          f"time-out {options.timeout:.0f} s, binaries {harness.cli}, work folder {work}",
          flush=True)

    wall_start = time.monotonic()
    results: list[JobResult] = []
    interrupted = False
    try:
        refs = make_references(harness, seed)
        for note in refs.notes:
            print("  " + note)
        print(flush=True)

        pending: queue.Queue[JobPlan] = queue.Queue()
        for plan in jobs:
            pending.put(plan)
        lock = threading.Lock()
        deadline = (wall_start + options.max_minutes * 60) if options.max_minutes else None

        def worker() -> None:
            while True:
                if deadline is not None and time.monotonic() >= deadline:
                    return
                try:
                    plan = pending.get_nowait()
                except queue.Empty:
                    return
                try:
                    result = run_job(harness, refs, plan)
                except Exception as error:  # the harness's own trouble: judged "other"
                    result = JobResult(plan, detail=f"harness: {error!r}")
                keep = options.keep or result.outcome in ("false", "hang", "other") or result.problems
                if not keep and result.folder:
                    shutil.rmtree(result.folder, ignore_errors=True)
                with lock:
                    results.append(result)
                    done = len(results)
                    if options.verbose or result.outcome in ("false", "hang", "other") \
                            or result.problems:
                        print(f"[{done:4d}/{len(jobs)}] job {plan.index}: {plan.describe()}: "
                              f"{result.outcome} (exit {result.exit_status}, "
                              f"{result.seconds:.1f} s){' ' + result.detail if result.outcome != 'success' and result.outcome != 'honest' else ''}",
                              flush=True)
                    elif done % 25 == 0:
                        print(f"[{done:4d}/{len(jobs)}] {time.monotonic() - wall_start:6.0f} s",
                              flush=True)

        threads = [threading.Thread(target=worker, daemon=True)
                   for _ in range(max(1, options.parallel))]
        for thread in threads:
            thread.start()
        for thread in threads:
            while thread.is_alive():
                thread.join(0.5)
    except KeyboardInterrupt:
        interrupted = True
        print("\nsoak: interrupted; stopping what runs", flush=True)
        harness.stop_all()
    wall = time.monotonic() - wall_start

    results.sort(key=lambda r: r.plan.index)
    print()
    print_table("fault", FAULTS, results, lambda r: r.plan.fault)
    print_table("job", JOB_KINDS, results, lambda r: r.plan.kind)
    print_table("bit rate", [str(b) for b in BAUDS], results, lambda r: str(r.plan.baud))
    backup_failures = [r for r in results if r.plan.kind == "backup" and r.outcome == "honest"]
    clean = sum(1 for r in backup_failures if not r.problems)
    print(f"failed backups that left no new file and any older file untouched: "
          f"{clean} of {len(backup_failures)}")
    statuses: dict[str, int] = {}
    for r in results:
        name = "time-out" if r.exit_status is None and r.outcome == "hang" else str(r.exit_status)
        statuses[name] = statuses.get(name, 0) + 1
    print("exit statuses: " + ", ".join(f"{k}: {v}" for k, v in sorted(statuses.items())))

    trouble = [r for r in results if r.outcome in ("false", "hang", "other") or r.problems]
    if trouble:
        print("\nproblems (reproduce with --seed "
              f"{seed} --job \"JOB\"; folders kept under {work}):")
        for r in trouble:
            what = r.outcome if r.outcome != "honest" else "failed job broke a promise"
            print(f"  job {r.plan.index}: {r.plan.describe()}")
            print(f"    {what}: {r.detail}{'; ' + '; '.join(r.problems) if r.problems else ''}")
            print(f"    folder: {r.folder}")
    skipped = len(jobs) - len(results)
    print(f"\n{len(results)} job(s) in {wall:.0f} s wall time (seed {seed}, parallel "
          f"{options.parallel})" + (f"; {skipped} not started" if skipped else "")
          + ("; interrupted" if interrupted else ""))
    if not options.keep and not trouble and not interrupted:
        shutil.rmtree(work, ignore_errors=True)
    bad = any(r.outcome in ("false", "hang") or r.problems or
              (r.exit_status is not None and r.exit_status < 0) for r in results)
    return 1 if bad or interrupted else 0


if __name__ == "__main__":
    sys.exit(main())
