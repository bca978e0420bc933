"""What the tests of monitoring/ share: a job with stub steps that the built
program runs, promtool run with its output shown, and a scratch folder under
the build tree that goes however the test ends.

Imported by alert_rules_test.py and dashboard_test.py, which run under
/usr/bin/python3 with Debian's python3-yaml and python3-prometheus-client.
"""

import contextlib
import pathlib
import shutil
import signal
import subprocess
import sys
import tempfile

try:
    import yaml
    from prometheus_client.parser import text_string_to_metric_families
except ImportError as error:
    print(f"FAILED: {error.name} is not installed "
          "(Debian packages python3-yaml and python3-prometheus-client)")
    sys.exit(1)

CONFIG = "[Job {job}]\n[Index]\nMaxFiles 500\n[Runner]\nFilename report\n"
BAD_CONFIG = "[Job {job}]\n[Index]\nMaxFiles 500\nBogus 1\n[Runner]\nFilename report\n"
STUB = "#!/bin/sh\n{body}\n"


def write(path, text, executable=False):
    path.write_text(text, encoding="utf-8")
    if executable:
        path.chmod(0o755)


def write_job(directory, job, config_error=False):
    """Writes the configuration file of job into directory: two steps,
    ./indexer and ./runner; with config_error, one with an unknown key."""
    write(directory / "search.conf", (BAD_CONFIG if config_error else CONFIG).format(job=job))


def write_steps(directory, indexer="exit 0", runner="exit 0"):
    """Writes the job's two steps as shell scripts with these bodies."""
    write(directory / "indexer", STUB.format(body=indexer), True)
    write(directory / "runner", STUB.format(body=runner), True)


def command(program, metrics, job, lock=False):
    """The command line that runs job, writing its metrics to metrics."""
    return [str(program), f"--metrics={metrics}"] + (["--lock"] if lock else []) + [job]


def run_job(program, directory, metrics, job, lock=False):
    """Runs job in directory, its output dropped; returns its exit status."""
    return subprocess.run(command(program, metrics, job, lock), cwd=directory,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                          timeout=120, check=False).returncode


def load_yaml(path):
    return yaml.safe_load(pathlib.Path(path).read_text(encoding="utf-8"))


def metric_names(text):
    """The names of the samples of a file in the text exposition format."""
    return {sample.name for family in text_string_to_metric_families(text)
            for sample in family.samples}


def promtool(*args):
    """Runs promtool, prints the command and what it said; True when it
    exits 0."""
    result = subprocess.run(["promtool", *args], stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True, check=False)
    print(f"$ promtool {' '.join(args)}")
    print(result.stdout, end="")
    return result.returncode == 0


def have_promtool():
    if shutil.which("promtool") is None:
        print("FAILED: promtool is not installed (Debian package prometheus)")
        return False
    return True


def _stop(signal_number, _frame):
    # SystemExit unwinds through the finally blocks, which remove the files.
    sys.exit(128 + signal_number)


@contextlib.contextmanager
def scratch_folder(root, name):
    """A fresh folder ROOT/NAME.XXXXXX, removed when the block ends, also on
    SIGTERM, SIGINT or SIGHUP. Those of an earlier run that was killed
    before it could remove them go first: a test runs once at a time in one
    build tree."""
    root = pathlib.Path(root).resolve()
    root.mkdir(parents=True, exist_ok=True)
    for old in root.glob(f"{name}.*"):
        shutil.rmtree(old, ignore_errors=True)
    handlers = {number: signal.signal(number, _stop)
                for number in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP)}
    folder = pathlib.Path(tempfile.mkdtemp(prefix=f"{name}.", dir=root))
    try:
        yield folder
    finally:
        shutil.rmtree(folder, ignore_errors=True)
        for number, handler in handlers.items():
            signal.signal(number, handler)
