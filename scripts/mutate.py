#!/usr/bin/env python3
"""Mutation testing of the test suite.

Applies small, realistic faults to the product code one at a time, rebuilds,
runs the test tiers and reports which faults no test caught. The faults are
listed in scripts/mutants.txt (see the head of that file for its format).

The source tree this script is run from is never written to (except for the
report, when --report names a file in it): the files git knows of are copied
into a work folder first, and only that copy is mutated and built. A mutated
file is put back byte for byte after its run, also on an error, Ctrl-C or
SIGTERM; the copy is refreshed from the tree at the start of every run.

    scripts/mutate.py --list              the mutants, and whether each applies
    scripts/mutate.py                     every mutant
    scripts/mutate.py --only ID ...       some of them
    scripts/mutate.py --report FILE       also write the markdown report there

For each mutant: an incremental build of the copy (a failing build makes the
mutant "invalid"), then the unit and widget tiers (ctest -L 'unit|widgets',
the tests its tests: line names first), then, if those pass, the end-to-end
tests its e2e: line names and after them the rest of the e2e tier. The first
test that fails, and fails again on a rerun, catches it; one that passes on
its rerun is taken for flaky and left out for that mutant, and from then on
must fail three reruns in a row to catch one. Tests that fail twice without
any mutant are left out of the whole run. Logs go to BUILD/mutation-logs.

Not part of make test: a full run takes an hour or more.
"""

import argparse
import datetime
import itertools
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import xml.etree.ElementTree as ET
from dataclasses import dataclass, field
from pathlib import Path

HERE = Path(__file__).resolve().parent
DEFAULT_SOURCE = HERE.parent
DEFAULT_MUTANTS = HERE / "mutants.txt"
DEFAULT_WORK = Path("/work/mut/src")
DEFAULT_BUILD = Path("/work/mut/build")
MARKER = ".mutation-work-copy"

FAST_TIERS = "unit|widgets"
E2E_TIER = "e2e"


class Stop(Exception):
    """A signal asked the run to end."""


def on_signal(signum, _frame):
    raise Stop(f"signal {signum}")


# ---------------------------------------------------------------------------
# The mutants


@dataclass
class Mutant:
    id: str
    file: str = ""
    what: str = ""
    tests: str = ""  # unit or widget tests to run first (a ctest -R pattern)
    e2e: list = field(default_factory=list)  # e2e scripts that exercise the code
    find: str = ""
    replace: str = ""
    line: int = 0  # where it starts in the data file

    @property
    def layer(self):
        return self.file.split("/", 1)[0]


def parse_mutants(path):
    mutants, errors = [], []
    current = None
    minus, plus = [], []

    def finish():
        if current is None:
            return
        current.find = "\n".join(minus)
        current.replace = "\n".join(plus)
        mutants.append(current)

    for number, raw in enumerate(Path(path).read_text(encoding="utf-8").splitlines(), 1):
        line = raw.rstrip("\n")
        snippet = current is not None and line[:1] in ("-", "+")
        if not snippet and (not line.strip() or line.lstrip().startswith("#")):
            continue
        header = re.fullmatch(r"\[([a-z0-9][a-z0-9-]*)\]\s*", line)
        if header:
            finish()
            current = Mutant(id=header.group(1), line=number)
            minus, plus = [], []
            continue
        if current is None:
            errors.append(f"{path}:{number}: text before the first [id]")
            continue
        if line.startswith("- ") or line == "-":
            if plus:
                errors.append(f"{path}:{number}: '-' line after a '+' line in [{current.id}]")
            minus.append(line[2:])
            continue
        if line.startswith("+ ") or line == "+":
            plus.append(line[2:])
            continue
        key, sep, value = line.partition(":")
        key, value = key.strip(), value.strip()
        if not sep or key not in ("file", "what", "tests", "e2e"):
            errors.append(f"{path}:{number}: cannot read '{line}' in [{current.id}]")
        elif key == "e2e":
            current.e2e = value.split()
        else:
            setattr(current, key, value)
    finish()

    seen = set()
    for m in mutants:
        where = f"{path}:{m.line}: [{m.id}]"
        if m.id in seen:
            errors.append(f"{where} is a second mutant of that name")
        seen.add(m.id)
        if not m.file or not m.what or not m.find:
            errors.append(f"{where} needs file:, what: and at least one '-' line")
        if m.file.startswith("tests/") or m.file.startswith("/") or ".." in Path(m.file).parts:
            errors.append(f"{where} must name a product file inside the tree")
        if m.find == m.replace:
            errors.append(f"{where} replaces its text by the same text")
    return mutants, errors


def occurrences(text, snippet):
    count, start = 0, 0
    while True:
        at = text.find(snippet, start)
        if at < 0:
            return count
        count += 1
        start = at + 1


def check_applies(mutant, root):
    """None when the mutant's text occurs exactly once in its file under root."""
    path = Path(root) / mutant.file
    if not path.is_file():
        return f"{mutant.file} does not exist"
    n = occurrences(path.read_text(encoding="utf-8", errors="surrogateescape"), mutant.find)
    if n == 0:
        return f"its text is not in {mutant.file} (the file changed?)"
    if n > 1:
        return f"its text occurs {n} times in {mutant.file}"
    return None


# ---------------------------------------------------------------------------
# The work copy


def tree_files(source):
    out = subprocess.run(
        ["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
        cwd=source,
        check=True,
        stdout=subprocess.PIPE,
    ).stdout
    names = [n for n in out.decode("utf-8", "surrogateescape").split("\0") if n]
    return sorted(n for n in names if (Path(source) / n).is_file())


def check_work_folder(source, work):
    source, work = Path(source).resolve(), Path(work).resolve()
    if work == source or source in work.parents or work in source.parents:
        sys.exit(f"mutate.py: the work folder {work} must lie outside the source tree {source}")
    if work.exists() and any(work.iterdir()) and not (work / MARKER).exists():
        sys.exit(f"mutate.py: {work} is not empty and is no work copy of this script; choose another --work")


def sync_copy(source, work):
    """Makes work hold exactly the tree's files. Unchanged files keep their
    times, so that the build of the copy stays incremental; changed ones get
    the current time, so that it rebuilds them even when the source file's
    own time is older than the last build."""
    source, work = Path(source), Path(work)
    check_work_folder(source, work)
    work.mkdir(parents=True, exist_ok=True)
    (work / MARKER).write_text("A copy made by scripts/mutate.py; it is mutated and rebuilt at will.\n")
    wanted = set(tree_files(source))
    changed = 0
    for name in sorted(wanted):
        src, dst = source / name, work / name
        data = src.read_bytes()
        if not dst.is_file() or dst.is_symlink() or dst.read_bytes() != data:
            dst.parent.mkdir(parents=True, exist_ok=True)
            if dst.is_symlink():
                dst.unlink()
            dst.write_bytes(data)
            changed += 1
        mode = src.stat().st_mode & 0o777
        if dst.stat().st_mode & 0o777 != mode:
            os.chmod(dst, mode)
    removed = 0
    for dirpath, dirnames, filenames in os.walk(work, topdown=False):
        for f in filenames:
            rel = os.path.relpath(os.path.join(dirpath, f), work)
            if rel != MARKER and rel not in wanted:
                os.unlink(os.path.join(dirpath, f))
                removed += 1
        if dirpath != str(work) and not os.listdir(dirpath):
            os.rmdir(dirpath)
    return len(wanted), changed, removed


# ---------------------------------------------------------------------------
# Building and testing

children = []  # process groups of running commands, ended on a signal
flaky_tests = set()  # tests that failed once and then passed, without a mutant or with one


def run(cmd, log, timeout, cwd=None):
    """Runs cmd in a session of its own with its output in log; returns its
    exit status, or None when it ran past timeout (it is then ended)."""
    with open(log, "wb") as out:
        out.write(("$ " + " ".join(map(str, cmd)) + "\n").encode())
        out.flush()
        proc = subprocess.Popen(
            [str(c) for c in cmd], cwd=cwd, stdout=out, stderr=subprocess.STDOUT, start_new_session=True
        )
        children.append(proc)
        try:
            return proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None
        finally:
            if proc.poll() is None:
                try:
                    os.killpg(proc.pid, signal.SIGTERM)
                    proc.wait(timeout=20)
                except (ProcessLookupError, subprocess.TimeoutExpired):
                    try:
                        os.killpg(proc.pid, signal.SIGKILL)
                    except ProcessLookupError:
                        pass
                    proc.wait()
            children.remove(proc)


def build_jobs(requested):
    if requested:
        return requested
    # Other builds share the two cores: a second job only on a quiet machine.
    return 2 if os.getloadavg()[0] < 1.5 else 1


def configure(work, build, log):
    cache = Path(build) / "CMakeCache.txt"
    if cache.exists():
        home = re.search(r"^CMAKE_HOME_DIRECTORY:INTERNAL=(.*)$", cache.read_text(), re.M)
        if home and Path(home.group(1)).resolve() != Path(work).resolve():
            sys.exit(f"mutate.py: {build} is the build of {home.group(1)}, not of {work}")
        return True
    cmd = ["cmake", "-S", work, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Debug",
           "-DKESTRAVA_SANITIZE=OFF", "-DKESTRAVA_TESTS=ON"]
    return run(cmd, log, 600) == 0


def build(build_dir, log, jobs, timeout):
    """'ok', 'compile' (the code does not build) or 'other' (e.g. test discovery)."""
    status = run(["cmake", "--build", build_dir, "-j", str(build_jobs(jobs))], log, timeout)
    if status == 0:
        return "ok"
    text = Path(log).read_text(errors="replace")
    if status is not None and re.search(r"error:|undefined reference|ld returned", text) and \
            "Error running test executable" not in text:
        return "compile"
    return "other"


@dataclass
class TestRun:
    failed: list
    passed: int
    ran: list = field(default_factory=list)
    timed_out: bool = False
    error: str = ""


def ctest(build_dir, label, log, junit, *, include=None, exclude=(), stop=True, timeout=120,
          jobs=1, limit=3600):
    cmd = ["ctest", "--test-dir", build_dir, "-L", label, "--timeout", str(timeout),
           "--output-junit", junit, "--no-tests=error", "-j", str(jobs)]
    if include:
        cmd += ["-R", include]
    if exclude:
        cmd += ["-E", "^(" + "|".join(re.escape(n) for n in sorted(exclude)) + ")$"]
    if stop:
        cmd.append("--stop-on-failure")
    if os.path.exists(junit):
        os.unlink(junit)
    status = run(cmd, log, limit)
    failed, passed, ran = [], 0, []
    try:
        for case in ET.parse(junit).getroot().iter("testcase"):
            name = case.get("name", "?")
            if case.get("status") == "fail" or case.find("failure") is not None or case.find("error") is not None:
                failed.append(name)
                ran.append(name)
            elif case.get("status") == "run":
                passed += 1
                ran.append(name)
    except (ET.ParseError, FileNotFoundError):
        pass
    result = TestRun(failed=failed, passed=passed, ran=ran, timed_out=status is None)
    if status is None:
        result.error = f"the ctest run took longer than {limit} s"
    elif status != 0 and not failed:
        tail = Path(log).read_text(errors="replace").strip().splitlines()[-3:]
        result.error = "ctest failed without a failing test: " + " / ".join(tail)
    return result


def e2e_pattern(names):
    return "^e2e\\.(" + "|".join(re.escape(n) for n in names) + ")$"


# ---------------------------------------------------------------------------
# One mutant


@dataclass
class Outcome:
    mutant: Mutant
    result: str  # caught, survived, invalid, skipped, error
    by: str = ""
    stage: str = ""
    note: str = ""
    seconds: float = 0.0


def apply_and_test(m, opts, baseline, logs):
    """Runs one mutant in the work copy and puts its file back, whatever happens."""
    started = time.monotonic()
    path = Path(opts.work) / m.file
    problem = check_applies(m, opts.work)
    if problem:
        return Outcome(m, "skipped", note=problem)
    original = path.read_bytes()
    text = original.decode("utf-8", "surrogateescape")
    mutated = text.replace(m.find, m.replace, 1).encode("utf-8", "surrogateescape")

    def done(result, **kw):
        return Outcome(m, result, seconds=time.monotonic() - started, **kw)

    try:
        path.write_bytes(mutated)
        b = build(opts.build, logs / f"{m.id}.build.log", opts.jobs, opts.build_timeout)
        if b == "compile":
            return done("invalid", note="does not compile")
        if b == "other":
            return done("error", note=f"the build failed (see {logs / (m.id + '.build.log')})")

        ran = {FAST_TIERS: set(), E2E_TIER: set()}  # the tests run so far for this mutant
        flaky = []

        def tier(label, stage, include=None, skip=()):
            exclude = set(baseline) | set(skip)
            for attempt in itertools.count(1):
                name = f"{m.id}.{stage}" + (f".{attempt}" if attempt > 1 else "")
                r = ctest(opts.build, label, logs / f"{name}.log", str(logs / f"{name}.xml"),
                          include=include, exclude=exclude, stop=not opts.keep_going,
                          timeout=opts.test_timeout, jobs=opts.test_jobs, limit=opts.tier_timeout)
                ran[label].update(r.ran)
                failed = [n for n in r.failed if n not in exclude]
                if failed:
                    # A failure counts when it repeats: a test that passes on
                    # a rerun is taken for flaky, and the tier goes on without
                    # it. A test seen to be flaky before must fail three
                    # reruns in a row.
                    first = failed[0]
                    reruns = 3 if first in flaky_tests else 1
                    for k in range(reruns):
                        again = ctest(opts.build, label, logs / f"{name}.rerun{k + 1}.log",
                                      str(logs / f"{name}.rerun{k + 1}.xml"), include=f"^{re.escape(first)}$",
                                      timeout=opts.test_timeout, limit=opts.tier_timeout)
                        if not (again.failed or again.timed_out):
                            break
                    else:
                        more = f" (+{len(failed) - 1} more)" if len(failed) > 1 else ""
                        note = flaky_note()
                        if reruns > 1:
                            note = "; ".join(n for n in (note, f"flaky before; failed {reruns} reruns in a row") if n)
                        return done("caught", by=first + more, stage=stage, note=note)
                    flaky_tests.add(first)
                    flaky.append(first)
                    exclude.add(first)
                    continue
                if r.timed_out:
                    return done("caught", by="(the tier ran out of time)", stage=stage, note=r.error)
                if r.error and "No tests were found" not in r.error:
                    return done("error", stage=stage, note=r.error)
                return None

        def flaky_note():
            return "passed on a rerun, left out: " + ", ".join(flaky) if flaky else ""

        def survived(note):
            return done("survived", note="; ".join(n for n in (note, flaky_note()) if n))

        if m.tests:
            hit = tier(FAST_TIERS, "first", include=m.tests)
            if hit:
                return hit
        hit = tier(FAST_TIERS, "unit+widgets", skip=ran[FAST_TIERS])
        if hit:
            return hit
        if opts.no_e2e:
            return survived("the e2e tier was not run")
        if m.e2e:
            hit = tier(E2E_TIER, "e2e-named", include=e2e_pattern(m.e2e))
            if hit:
                return hit
            if opts.named_e2e_only:
                return survived("of the e2e tier only " + " ".join(m.e2e))
        hit = tier(E2E_TIER, "e2e", skip=ran[E2E_TIER])
        if hit:
            return hit
        return survived("")
    finally:
        path.write_bytes(original)
        if path.read_bytes() != original:
            print(f"mutate.py: could not put {path} back", file=sys.stderr)


# ---------------------------------------------------------------------------
# The report


def git_state(source):
    try:
        head = subprocess.run(["git", "rev-parse", "--short", "HEAD"], cwd=source, check=True,
                              stdout=subprocess.PIPE, text=True).stdout.strip()
        dirty = subprocess.run(["git", "status", "--porcelain"], cwd=source, check=True,
                               stdout=subprocess.PIPE, text=True).stdout.strip()
        return head + (" with uncommitted changes" if dirty else "")
    except (OSError, subprocess.CalledProcessError):
        return "unknown"


def cell(text):
    return str(text).replace("|", "\\|").replace("\n", " ")


def write_report(path, outcomes, pending, opts, baseline, source_state, started, finished):
    caught = [o for o in outcomes if o.result == "caught"]
    survived = [o for o in outcomes if o.result == "survived"]
    others = [o for o in outcomes if o.result not in ("caught", "survived")]
    valid = len(caught) + len(survived)
    score = 100.0 * len(caught) / valid if valid else 0.0
    e2e_mode = "not run" if opts.no_e2e else (
        "the e2e tests a mutant names (all of them when it names none)" if opts.named_e2e_only else
        "the e2e tests a mutant names, then the rest of the e2e tier")
    lines = [
        "# Mutation testing report",
        "",
        f"Made by `scripts/mutate.py` from the tree at {source_state}; "
        f"started {started:%Y-%m-%d %H:%M}" + (f", finished {finished:%H:%M}." if finished else ", still running."),
        f"Each mutant is one fault put into a copy of the product code, built (Debug, no sanitizers) and "
        f"run against the unit and widget tiers, then, if they pass, {e2e_mode}.",
        "",
        f"**Score: {len(caught)} of {valid} valid mutants caught ({score:.0f}%)** — "
        f"{len(survived)} survived, "
        f"{sum(o.result == 'invalid' for o in outcomes)} invalid (do not compile), "
        f"{sum(o.result in ('skipped', 'error') for o in outcomes)} skipped or in error"
        + (f", {len(pending)} still to run." if pending else "."),
        "",
    ]
    if baseline:
        lines += ["Tests that failed twice without any mutant, and were left out: " +
                  ", ".join(f"`{n}`" for n in sorted(baseline)) + ".", ""]
    if flaky_tests:
        lines += ["Tests seen to fail and then pass on a rerun (flaky; a mutant counts as caught by one only "
                  "when it fails three reruns in a row): " + ", ".join(f"`{n}`" for n in sorted(flaky_tests)) + ".",
                  ""]
    by_layer = {}
    for o in caught + survived:
        c, t = by_layer.get(o.mutant.layer, (0, 0))
        by_layer[o.mutant.layer] = (c + (o.result == "caught"), t + 1)
    lines += ["| Layer | Caught | Valid |", "|---|---|---|"]
    lines += [f"| {layer}/ | {c} | {t} |" for layer, (c, t) in sorted(by_layer.items())]
    lines += ["", "| Mutant | File | Fault | Result | Caught by (tier) | Notes | Time |",
              "|---|---|---|---|---|---|---|"]
    for o in outcomes:
        result = {"caught": "caught", "survived": "**SURVIVED**"}.get(o.result, o.result)
        by = ""
        if o.by:
            by = (o.by if o.by.startswith("(") else f"`{cell(o.by)}`") + f" ({o.stage})"
        lines.append(f"| `{o.mutant.id}` | {o.mutant.file} | {cell(o.mutant.what)} | {result} | {by} | "
                     f"{cell(o.note)} | {o.seconds:.0f} s |")
    for m in pending:
        lines.append(f"| `{m.id}` | {m.file} | {cell(m.what)} | (to run) | | | |")
    if survived:
        lines += ["", "## Survivors", "", "No test failed with these faults in place:", ""]
        for o in survived:
            lines.append(f"- `{o.mutant.id}` ({o.mutant.file}): {o.mutant.what}" +
                         (f" ({o.note})" if o.note else ""))
    if others:
        lines += ["", "## Not judged", ""]
        for o in others:
            lines.append(f"- `{o.mutant.id}` ({o.mutant.file}): {o.result}: {o.note}")
    lines.append("")
    tmp = Path(str(path) + ".tmp-report")
    tmp.write_text("\n".join(lines), encoding="utf-8")
    os.replace(tmp, path)


# ---------------------------------------------------------------------------


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                formatter_class=argparse.RawDescriptionHelpFormatter, epilog=__doc__)
    p.add_argument("--only", nargs="+", metavar="ID", help="run only these mutants")
    p.add_argument("--list", action="store_true", help="list the mutants and check that each applies")
    p.add_argument("--report", metavar="FILE", help="write the markdown report here (default: beside the work copy)")
    p.add_argument("--mutants", default=DEFAULT_MUTANTS, help="the mutant list (default: %(default)s)")
    p.add_argument("--source", default=DEFAULT_SOURCE, help="the tree to copy (default: %(default)s)")
    p.add_argument("--work", default=DEFAULT_WORK, help="the work copy (default: %(default)s)")
    p.add_argument("--build", default=DEFAULT_BUILD, help="the copy's build folder (default: %(default)s)")
    p.add_argument("--jobs", type=int, default=0, help="build jobs (default: 2 when the load is below 1.5, else 1)")
    p.add_argument("--test-jobs", type=int, default=1, help="ctest jobs (default: %(default)s)")
    p.add_argument("--test-timeout", type=int, default=120, help="seconds per test without a timeout of its own")
    p.add_argument("--tier-timeout", type=int, default=3600, help="seconds for one ctest run (default: %(default)s)")
    p.add_argument("--build-timeout", type=int, default=3600, help="seconds for one build (default: %(default)s)")
    p.add_argument("--no-e2e", action="store_true", help="judge by the unit and widget tiers only")
    p.add_argument("--named-e2e-only", action="store_true",
                   help="of the e2e tier, run only the tests a mutant names (when it names any)")
    p.add_argument("--keep-going", action="store_true", help="run each tier to its end, not to the first failure")
    p.add_argument("--skip-baseline", action="store_true", help="do not run the tiers without a mutant first")
    opts = p.parse_args()
    opts.work, opts.build, opts.source = Path(opts.work), Path(opts.build), Path(opts.source)

    mutants, errors = parse_mutants(opts.mutants)
    if errors:
        sys.exit("\n".join(errors))
    if opts.only:
        unknown = [i for i in opts.only if i not in {m.id for m in mutants}]
        if unknown:
            sys.exit("mutate.py: no mutant named " + ", ".join(unknown))
        mutants = [m for m in mutants if m.id in opts.only]

    if opts.list:
        bad = 0
        for m in mutants:
            problem = check_applies(m, opts.source)
            bad += problem is not None
            print(f"{m.id:28} {m.file:38} {m.what}" + (f"\n{'':28} !! {problem}" if problem else ""))
        layers = sorted({m.layer for m in mutants})
        print(f"\n{len(mutants)} mutants over {', '.join(layers)}; {bad} do not apply")
        return 1 if bad else 0

    # Ctrl-C raises KeyboardInterrupt by itself. A signal the run was started
    # to ignore (SIGHUP under nohup, SIGINT in a background job) stays ignored.
    for sig in (signal.SIGTERM, signal.SIGHUP):
        if signal.getsignal(sig) != signal.SIG_IGN:
            signal.signal(sig, on_signal)
    report = Path(opts.report) if opts.report else opts.work.parent / "mutation-report.md"
    logs = opts.build / "mutation-logs"
    started = datetime.datetime.now()
    source_state = git_state(opts.source)
    outcomes = []
    baseline = set()
    try:
        files, changed, removed = sync_copy(opts.source, opts.work)
        print(f"mutate.py (pid {os.getpid()}; SIGTERM stops it cleanly)", flush=True)
        print(f"work copy {opts.work}: {files} files, {changed} refreshed, {removed} removed", flush=True)
        if logs.exists():
            shutil.rmtree(logs)
        logs.mkdir(parents=True)
        if not configure(opts.work, opts.build, logs / "configure.log"):
            sys.exit(f"mutate.py: configuring failed, see {logs / 'configure.log'}")
        print("building the unmutated copy...", flush=True)
        if build(opts.build, logs / "baseline.build.log", opts.jobs, opts.build_timeout) != "ok":
            sys.exit(f"mutate.py: the unmutated copy does not build, see {logs / 'baseline.build.log'}")

        if not opts.skip_baseline:
            tiers = [FAST_TIERS] + ([] if opts.no_e2e else [E2E_TIER])
            for label in tiers:
                t0 = time.monotonic()
                stage = "baseline." + label.replace("|", "+")
                r = ctest(opts.build, label, logs / f"{stage}.log", str(logs / f"{stage}.xml"), stop=False,
                          timeout=opts.test_timeout, jobs=opts.test_jobs, limit=opts.tier_timeout)
                print(f"baseline {label}: {r.passed} passed, {len(r.failed)} failed "
                      f"in {time.monotonic() - t0:.0f} s", flush=True)
                if r.error and not r.failed:
                    sys.exit(f"mutate.py: the baseline run of {label} failed: {r.error}")
                if r.failed:
                    # Only a test that fails again is left out; one that
                    # passes now was flaky, and each mutant reruns such tests.
                    again = ctest(opts.build, label, logs / f"{stage}.rerun.log", str(logs / f"{stage}.rerun.xml"),
                                  include="^(" + "|".join(re.escape(n) for n in r.failed) + ")$", stop=False,
                                  timeout=opts.test_timeout, limit=opts.tier_timeout)
                    flaky = sorted(set(r.failed) - set(again.failed))
                    if flaky:
                        print("passed on a rerun: " + ", ".join(flaky), flush=True)
                        flaky_tests.update(flaky)
                    baseline.update(again.failed)
            if baseline:
                print("left out, as they fail without a mutant: " + ", ".join(sorted(baseline)), flush=True)

        for i, m in enumerate(mutants):
            print(f"[{i + 1}/{len(mutants)}] {m.id}: {m.what}", flush=True)
            o = apply_and_test(m, opts, baseline, logs)
            outcomes.append(o)
            detail = (f" by {o.by} ({o.stage})" if o.by else "") + (f": {o.note}" if o.note else "")
            print(f"    {o.result}{detail} [{o.seconds:.0f} s]", flush=True)
            write_report(report, outcomes, mutants[i + 1:], opts, baseline, source_state, started, None)
    except (KeyboardInterrupt, Stop) as e:
        print(f"\nmutate.py: stopped ({e or 'Ctrl-C'}); every mutated file is back as it was", file=sys.stderr)
        if outcomes:
            done_ids = {o.mutant.id for o in outcomes}
            write_report(report, outcomes, [m for m in mutants if m.id not in done_ids], opts, baseline,
                         source_state, started, None)
        return 130
    write_report(report, outcomes, [], opts, baseline, source_state, started, datetime.datetime.now())
    caught = sum(o.result == "caught" for o in outcomes)
    valid = caught + sum(o.result == "survived" for o in outcomes)
    print(f"\n{caught} of {valid} valid mutants caught"
          + (f" ({100.0 * caught / valid:.0f}%)" if valid else "") + f"; report: {report}")
    for o in outcomes:
        if o.result == "survived":
            print(f"  survived: {o.mutant.id} ({o.mutant.file}): {o.mutant.what}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
