#!/usr/bin/python3
"""Tests the alert rules on metrics files that the program itself wrote.

Usage: alert_rules_test.py VELMORJOB SOURCE-DIR SCRATCH-DIR [--print]

Runs the built program through each scenario below, with stub steps, each job
writing its metrics file into a textfile directory as the node exporter reads
it. Each state of the directory becomes promtool input series, scraped once a
minute, with the labels a scrape adds (instance, job="node") and the file
times the collector serves (node_textfile_mtime_seconds). The times in the
files become the scenario's times on the test clock, which starts at the
epoch: a time that is no run's end fails the test, and so does a file that a
run rewrote though it should not have (its time shows).

The test groups of monitoring/velmorjob.rules.test.yml named as a scenario
must hold exactly these input series; the others must be listed in
HAND_WRITTEN. Then promtool checks the rules and runs the test file. With
--print, prints the series of every scenario in the test file's form and
runs nothing else: paste them there when the metrics change.
"""

import dataclasses
import os
import pathlib
import shutil
import signal
import subprocess
import sys
import time

from monitoring_support import (command, have_promtool, load_yaml, promtool, run_job,
                                scratch_folder, text_string_to_metric_families, write_job,
                                write_steps)

INSTANCE = "search1.example:9100"
SCRAPE_JOB = "node"
TEXTFILE_DIRECTORY = "/var/lib/prometheus/node-exporter"
LIMITS_FILE = "velmorjob_limits.prom"
INTERVAL_SECONDS = 60
# Groups of the test file whose series are written by hand: ten steps with a
# slow one and failures at steps 2 and 10, and a status the program no
# longer writes; a file named otherwise than its job.
HAND_WRITTEN = {"per-step series and limits", "a metrics file named after no job"}


def minutes(text):
    """Seconds on the test clock of "Dd HH:MM": D days and the time of day."""
    day, clock = text.split("d ")
    hours, mins = clock.split(":")
    return ((int(day) * 24 + int(hours)) * 60 + int(mins)) * 60


@dataclasses.dataclass
class Run:
    """A run of a job from start to end on the test clock. What: ok, a
    failing step, a configuration error, hangs (runs on, holding the lock,
    until a later "stopped" entry of the job), locked (started while one
    hangs) or stopped (the hanging run is sent SIGTERM and ends, at the end
    given to both entries)."""
    job: str
    start: str
    end: str
    what: str
    status: int


# Each scenario: its runs in order, the end of its series, and whether the
# operator's limits file (monitoring/velmorjob_limits.prom) is there.
SCENARIOS = {
    "a daily job that fails once": dict(until="4d 03:00", limits=False, runs=[
        Run("nightly", "2d 02:00", "2d 02:30", "ok", 0),
        Run("nightly", "3d 02:00", "3d 02:20", "failing step", 3),
        Run("nightly", "4d 02:00", "4d 02:30", "ok", 0),
    ]),
    "a new job that never succeeded": dict(until="2d 05:00", limits=False, runs=[
        Run("fresh", "2d 03:00", "2d 03:00", "configuration error", 2),
        Run("fresh", "2d 04:00", "2d 04:10", "failing step", 3),
    ]),
    "a weekly job with a limit of its own": dict(until="10d 06:00", limits=True, runs=[
        Run("weekly", "2d 04:00", "2d 05:00", "ok", 0),
    ]),
    "a run that hangs and holds the lock": dict(until="5d 07:00", limits=False, runs=[
        Run("hung", "2d 05:00", "2d 05:10", "ok", 0),
        Run("hung", "3d 05:00", "5d 06:00", "hangs", 143),
        Run("hung", "4d 05:00", "4d 05:00", "locked", 75),
        Run("hung", "5d 06:00", "5d 06:00", "stopped", 143),
    ]),
}


class Failure(Exception):
    pass


class Scenario:
    """Runs one scenario and keeps each state of its textfile directory."""

    def __init__(self, program, work, limits_source, plan):
        self.program = program
        self.work = work
        self.textfiles = work / "textfiles"
        self.textfiles.mkdir(parents=True)
        self.plan = plan
        self.end_times = {}  # a run's end as its file says it -> test seconds
        # (test seconds, {file name: (text, test mtime, run's duration)})
        self.states = []
        self.hanging = {}  # job -> (process, its Run)
        # file name -> ((inode, mtime_ns), text, test mtime, run's duration)
        self.seen = {}
        if plan["limits"]:
            shutil.copy(limits_source, self.textfiles / LIMITS_FILE)
            self.record(0, None)

    def job_dir(self, job):
        directory = self.work / job
        if not directory.exists():
            directory.mkdir()
        return directory

    def metrics(self, job):
        return self.textfiles / f"velmorjob-{job}.prom"

    def run(self, run):
        directory = self.job_dir(run.job)
        write_job(directory, run.job, config_error=run.what == "configuration error")
        indexer = ": > started; exec sleep 300" if run.what == "hangs" else "exit 0"
        runner = "exit 1" if run.what == "failing step" else "exit 0"
        if run.what not in ("locked", "stopped"):
            write_steps(directory, indexer, runner)
        # Each run ends at another millisecond than the one before.
        time.sleep(0.002)
        if run.what == "hangs":
            started = directory / "started"
            process = subprocess.Popen(command(self.program, self.metrics(run.job), run.job, True),
                                       cwd=directory,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            deadline = time.monotonic() + 60
            while not started.exists():
                if process.poll() is not None or time.monotonic() > deadline:
                    raise Failure(f"{run.job}: the hanging run did not start its step")
                time.sleep(0.01)
            self.hanging[run.job] = (process, run)
            return
        if run.what == "stopped":
            process, hanging = self.hanging.pop(run.job)
            process.send_signal(signal.SIGTERM)
            status = process.wait(timeout=120)
            run = dataclasses.replace(run, start=hanging.start)
        else:
            status = run_job(self.program, directory, self.metrics(run.job), run.job,
                             lock=run.what == "locked")
        if status != run.status:
            raise Failure(f"{run.job} ({run.what}) ended with status {status}, not {run.status}")
        self.record(minutes(run.end), run)

    def record(self, at, run):
        """Keeps the directory's state at test time at, after the run."""
        files = {}
        for path in sorted(self.textfiles.glob("*.prom")):
            status = path.stat()
            identity = (status.st_ino, status.st_mtime_ns)
            seen = self.seen.get(path.name)
            if seen is None or seen[0] != identity:
                text = path.read_text(encoding="utf-8")
                duration = None
                if run is not None and path.name == f"velmorjob-{run.job}.prom":
                    self.learn_end(path.name, text, at)
                    duration = at - minutes(run.start)
                seen = (identity, text, at, duration)
                self.seen[path.name] = seen
            files[path.name] = seen[1:]
        self.states.append((at, files))

    def learn_end(self, name, text, at):
        for family in text_string_to_metric_families(text):
            if family.name == "velmorjob_last_run_timestamp_seconds":
                end = family.samples[0].value
                if end in self.end_times:
                    raise Failure(f"{name}: two runs ended at {end}")
                self.end_times[end] = at
                return
        raise Failure(f"{name}: no velmorjob_last_run_timestamp_seconds")

    def series(self):
        """The input series, sorted: (series text, one value or None a scrape)."""
        scrapes = range(0, minutes(self.plan["until"]) + 1, INTERVAL_SECONDS)
        by_series = {}
        state_index = -1
        for scrape_number, at in enumerate(scrapes):
            while state_index + 1 < len(self.states) and self.states[state_index + 1][0] <= at:
                state_index += 1
            files = self.states[state_index][1] if state_index >= 0 else {}
            for name, (text, mtime, duration) in files.items():
                samples = [("node_textfile_mtime_seconds",
                            {"file": f"{TEXTFILE_DIRECTORY}/{name}"}, mtime)]
                samples += self.samples(name, text, duration)
                for metric, labels, value in samples:
                    labels = dict(labels, instance=INSTANCE, job=SCRAPE_JOB)
                    key = series_text(metric, labels)
                    by_series.setdefault(key, [None] * len(scrapes))[scrape_number] = value
        return sorted(by_series.items())

    def samples(self, name, text, duration):
        """The samples of a file, with its times on the test clock: each time
        becomes the scenario's time of the run that ended then, the run's
        duration the scenario's, and each step's 0."""
        found = []
        for family in text_string_to_metric_families(text):
            for sample in family.samples:
                value = sample.value
                if not value == value or value < 0:
                    raise Failure(f"{name}: {sample.name} {value}")
                if sample.name.endswith("_timestamp_seconds") and value != 0:
                    if value not in self.end_times:
                        raise Failure(f"{name}: {sample.name} {value} is no run's end")
                    value = self.end_times[value]
                elif sample.name == "velmorjob_last_run_duration_seconds" and duration is not None:
                    value = duration
                elif sample.name == "velmorjob_last_run_step_duration_seconds":
                    value = 0
                found.append((sample.name, sample.labels, value))
        return found


def series_text(metric, labels):
    def escaped(value):
        return value.replace("\\", "\\\\").replace("\"", "\\\"").replace("\n", "\\n")
    inner = ",".join(f'{name}="{escaped(labels[name])}"' for name in sorted(labels))
    return f"{metric}{{{inner}}}"


def number(value):
    return str(int(value)) if float(value).is_integer() else repr(float(value))


def values_text(values):
    """promtool's expanding notation: "a" one value, "axN" N+1 times, "_xN"
    N scrapes without one, "stale" where a series ends."""
    tokens = []
    index = 0
    present_before = False
    while index < len(values):
        value = values[index]
        count = 1
        while index + count < len(values) and values[index + count] == value:
            count += 1
        if value is None:
            if present_before:
                tokens.append("stale")
                count_left = count - 1
            else:
                count_left = count
            if count_left:
                tokens.append("_" if count_left == 1 else f"_x{count_left}")
        else:
            text = number(value)
            tokens.append(text if count == 1 else f"{text}x{count - 1}")
        present_before = value is not None
        index += count
    while tokens and tokens[-1].startswith("_"):
        tokens.pop()
    return " ".join(tokens)


def quoted(text):
    return "'" + text.replace("'", "''") + "'"


def series_yaml(series):
    """The input_series entries as the test file writes them."""
    lines = []
    for key, values in series:
        lines.append(f"      - series: {quoted(key)}")
        lines.append(f"        values: {quoted(values_text(values))}")
    return "\n".join(lines) + "\n"


def generated_series(program, source, scratch):
    limits = source / "monitoring" / LIMITS_FILE
    generated = {}
    for index, (name, plan) in enumerate(SCENARIOS.items()):
        scenario = Scenario(program, scratch / f"scenario-{index}", limits, plan)
        try:
            for run in plan["runs"]:
                scenario.run(run)
        finally:
            # A run left hanging by a failure stops its step on SIGTERM.
            for process, _ in scenario.hanging.values():
                process.terminate()
                try:
                    process.wait(timeout=120)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        generated[name] = scenario.series()
    return generated


def compare(test_file, generated):
    """The problems of the test file's series, as lines of text."""
    groups = {group.get("name"): group for group in load_yaml(test_file)["tests"]}
    problems = []
    for name in sorted(set(groups) - set(generated) - HAND_WRITTEN):
        problems.append(f"test group {name!r} is neither a scenario nor written by hand")
    for name, series in generated.items():
        if name not in groups:
            problems.append(f"no test group {name!r}")
            continue
        committed = [(entry["series"], entry["values"]) for entry in groups[name]["input_series"]]
        wanted = [(key, values_text(values)) for key, values in series]
        if committed != wanted:
            problems.append(f"the series of {name!r} are not those the program wrote; they are now:")
            problems.append(series_yaml(series))
    return problems


def main():
    args = sys.argv[1:]
    print_only = "--print" in args
    args = [arg for arg in args if arg != "--print"]
    if len(args) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    program = os.path.abspath(args[0])
    source = pathlib.Path(args[1]).resolve()
    scratch_root = pathlib.Path(args[2]).resolve()
    monitoring = source / "monitoring"
    if not print_only and not have_promtool():
        return 1

    with scratch_folder(scratch_root, "alert-rules") as scratch:
        try:
            generated = generated_series(program, source, scratch)
        except (Failure, subprocess.TimeoutExpired) as error:
            print(f"FAILED: {error}")
            return 1

    if print_only:
        for name, series in generated.items():
            print(f"  - name: {name}\n    input_series:")
            print(series_yaml(series), end="")
        return 0

    failures = 0
    problems = compare(monitoring / "velmorjob.rules.test.yml", generated)
    for line in problems:
        print(f"FAILED: {line}" if not line.startswith(" ") else line, end="\n")
    if problems:
        failures += 1
    else:
        print(f"ok: the series of {len(generated)} scenarios are those the program wrote")
    if not promtool("check", "rules", str(monitoring / "velmorjob.rules.yml")):
        failures += 1
    if not promtool("test", "rules", str(monitoring / "velmorjob.rules.test.yml")):
        failures += 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
