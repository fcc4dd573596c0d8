#!/usr/bin/python3
"""Runs two builds of vok on the same random executions and compares everything
they write: the console, the standard error stream, the exit status, and every
file of the run directory (dates and elapsed times masked).

    tests/e2e/compare_programs.py                      # base commit against this tree
    tests/e2e/compare_programs.py --old A/vok --new B/vok --count 500

Without --old the script builds the program of --base-commit (from `git
archive` into a temporary directory); without --new it builds the working
tree. Each configuration is an execution of one to three runs over generated
data files: frame lengths, exponents, overlaps, VAR orders, clipping, log
data, resamples, stamps, time and frequency runs, ranges of rows, and
settings that stop a run or the program. The old program runs on one
thread, the new one on --threads threads (2 by default), so the comparison
also shows that the thread count changes nothing.

Exit status 0 when every configuration gives identical output, 1 otherwise;
the directories of the first differing configurations are kept.
"""
import argparse
import math
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


# ---------------------------------------------------------------- building

def build(source, build_dir):
    """Configures and builds the program `vok` of a source tree; its path."""
    for tool in ("cmake", "g++"):
        if shutil.which(tool) is None:
            sys.exit(f"compare_programs: {tool} is needed (apt-get install cmake g++)")
    subprocess.run(["cmake", "-S", source, "-B", build_dir, "-DCMAKE_BUILD_TYPE=Release",
                    "-DVOK_BUILD_TESTS=OFF"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build_dir, "-j2", "--target", "vok"], check=True,
                   stdout=subprocess.DEVNULL)
    return os.path.join(build_dir, "vok")


def build_commit(commit, work):
    source = os.path.join(work, "old-src")
    os.makedirs(source)
    archive = subprocess.run(["git", "-C", REPO, "archive", commit], check=True,
                             stdout=subprocess.PIPE).stdout
    subprocess.run(["tar", "-x", "-C", source], input=archive, check=True)
    return build(source, os.path.join(work, "old-build"))


# ------------------------------------------------------------------- data

def series(rng, n, kind):
    """x and y of n rows with the given kind of dependence."""
    x, y = [], []
    xp, shocks = 0.0, [0.0, 0.0]
    for t in range(n):
        e = rng.gauss(0.0, 1.0)
        xv = 0.5 * xp + e
        if kind == "bilinear":
            yv = 0.3 * xp + 2.0 * shocks[-1] * shocks[-2] + 0.4 * rng.gauss(0.0, 1.0)
        elif kind == "ar":
            yv = (0.6 * y[-1] if y else 0.0) + rng.gauss(0.0, 1.0)
        else:
            yv = rng.gauss(0.0, 1.0)
        shocks = [shocks[-1], e]
        xp = xv
        x.append(xv)
        y.append(yv)
    return x, y


def data_file(rng, path, n, stamped, positive, frequency):
    """Writes a data file; its column count."""
    kind = rng.choice(["bilinear", "ar", "noise"])
    x, y = series(rng, n, kind)
    extra = rng.random() < 0.4
    # Now and then a stretch that is constant or zero: frames without
    # spread, and VAR fits that fail.
    if rng.random() < 0.15:
        start = rng.randrange(n)
        value = rng.choice([0.0, 0.25])
        for t in range(start, min(n, start + rng.randrange(20, 300))):
            x[t] = value
    if positive:
        x = [math.exp(0.3 * v) for v in x]
        y = [math.exp(0.3 * v) for v in y]
        if rng.random() < 0.1:
            y[rng.randrange(n)] = 0.0  # log data stops the program
    columns = 3 if extra else 2
    width = 12
    with open(path, "w") as f:
        f.write("Random series for the comparison\n")
        rate = "rate=10.0" if frequency else f"interval={rng.choice(['1.0', '0.5', '2.5'])}"
        if stamped:
            fmt = f"(a19,1x,{columns}f{width}.5)"
        else:
            fmt = f"({columns}f{width}.5)"
        unit = " unit=kHz" if frequency else ""
        f.write(f"rows={n} columns={columns} {rate} format={fmt}{unit}\n")
        # Now and then the file holds fewer rows than its header says.
        written = n if rng.random() < 0.95 else rng.randrange(n // 2, n)
        for t in range(written):
            values = [x[t], y[t]] + ([rng.gauss(0.0, 1.0)] if extra else [])
            row = "".join(f"{v:{width}.5f}" for v in values)
            if stamped:
                s = 9 * 3600 + t
                stamp = "09/09/2009 %02d:%02d:%02d" % (s // 3600 % 24, s // 60 % 60, s % 60)
                row = stamp + " " + row
            f.write(row + "\n")
    return columns


# --------------------------------------------------------- configurations

def top_control(rng, runs):
    """Runvok.cnl text and the frame length it sets."""
    frame_length = rng.choice([12, 16, 24, 40, 64, 100, 120, 150, 200, 256])
    exponent = rng.choice(["0.2", "0.3", "0.35", "0.4", "0.45", "0.5"])
    alpha = rng.choice(["0.01", "0.05", "0.1", "0.2"])
    overlap = 0 if rng.random() < 0.5 else rng.randrange(1, frame_length + 20)
    var_lag = rng.choice([0, 0, 1, 1, 2, 3])
    resamples = 0 if rng.random() < 0.6 else rng.choice([20, 25, 40])
    # Settings that stop the program or end a run.
    fault = rng.random()
    if fault < 0.03:
        frame_length = 11
    elif fault < 0.06:
        exponent = "0.55"
    elif fault < 0.08:
        overlap = -3
    elif fault < 0.11:
        var_lag = frame_length // 2 + rng.choice([0, 1])
    elif fault < 0.14:
        resamples = 5  # too few for the level
    elif fault < 0.15:
        alpha = "1.5"
    elif fault < 0.17:
        alpha, resamples = "1.0", 1  # one resample: its own p-values
    lines = [
        f"Number of runs={runs} *",
        f"exponent={exponent} *",
        f"false alarm={alpha} *",
        f"frame length={frame_length} *",
        f"overlap={overlap} *",
    ]
    if var_lag or rng.random() < 0.5:
        lines.append(f"VAR lag={var_lag} *")
    lines.append(f"resamples={resamples} #  *")
    return "\n".join(lines) + "\n", frame_length


def run_control(rng, data_name, columns, n, frame_length, frequency, positive):
    cx, cy = 1, 2
    if columns == 3 and rng.random() < 0.5:
        cx, cy = rng.choice([(3, 1), (2, 3), (1, 3)])
    if rng.random() < 0.02:
        cy = cx  # same column twice: stops
    graphing = "yes" if rng.random() < 0.6 else "no"
    unit = "frequency" if frequency else rng.choice(["seconds", "minutes", "days"])
    lines = [f"column-x={cx} *", f"column-y={cy} *", f"graphing={graphing} *", f"unit={unit} *"]
    if positive and rng.random() < 0.8:
        lines.append("log data *")
    elif rng.random() < 0.3:
        lines.append("clip data *")
    lines.append(f"data file name={data_name} *")
    start = 1 if rng.random() < 0.6 else rng.randrange(1, max(2, n // 3))
    end = 0 if rng.random() < 0.5 else rng.randrange(min(start + frame_length, n), n + 1)
    if rng.random() < 0.05:
        end = start + frame_length // 2  # too few rows for a frame: the run ends
    lines.append(f"start datum={start} *")
    lines.append(f"end datum={end} *")
    lines.append("#")
    return "\n".join(lines) + "\n"


def configuration(seed, folder):
    """Writes one execution's control and data files into `folder`."""
    rng = random.Random(seed)
    runs = rng.choice([1, 1, 2, 2, 3])
    top, frame_length = top_control(rng, runs)
    names = []
    for r in range(1, runs + 1):
        n = rng.randrange(max(60, frame_length),
                          max(61, frame_length * rng.choice([2, 4, 8, 12])) + 200)
        stamped = rng.random() < 0.3
        frequency = not stamped and rng.random() < 0.2
        positive = rng.random() < 0.2
        data_name = f"data{r}.dat"
        columns = data_file(rng, os.path.join(folder, data_name), n, stamped, positive, frequency)
        name = f"run{r}.cnl"
        with open(os.path.join(folder, name), "w") as f:
            f.write(run_control(rng, data_name, columns, n, frame_length, frequency, positive))
        names.append(name)
    with open(os.path.join(folder, "Runvok.cnl"), "w") as f:
        f.write(top)
        for name in names:
            f.write(f"{name} *\n")


# ------------------------------------------------------------- comparing

DATE = re.compile(r"^ Date & Time .*$", re.M)
ELAPSED = re.compile(r"^ Elapsed time = .*$", re.M)


def masked(text):
    return ELAPSED.sub(" Elapsed time = <elapsed>", DATE.sub(" Date & Time <date>", text))


def execute(program, folder, threads):
    """Runs the program in `folder`; what it left behind, masked."""
    done = subprocess.run([program, f"--threads={threads}"], cwd=folder, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=300)
    outcome = {"<status>": str(done.returncode),
               "<console>": masked(done.stdout.decode("latin-1")),
               "<standard error>": masked(done.stderr.decode("latin-1"))}
    for name in sorted(os.listdir(folder)):
        with open(os.path.join(folder, name), "rb") as f:
            outcome[name] = masked(f.read().decode("latin-1"))
    return outcome


# What the executions went through, counted over the old program's output
# so the summary shows that the configurations reach each part.
FEATURES = {
    "bootstrap": "Bootstrapped false alarm thresholds",
    "VAR fit": "VAR(",
    "clipping": "Data is Hard Clipped",
    "log data": "Data is Log Transformed",
    "stamps": "09/09/2009",
    "frequency run": "Sampling rate =",
    "overlap": "Windows are overlapped",
    "summary": "Correlations of the CDF probabilites",
    "largest-value block": "largest xxy Statistics",
    "constant frame": "has a constant or non-finite series",
    "failed VAR fit": "DCHOLDC failed",
    "no frame": "Error - No. of frames < 1",
    "refused resamples": "ERROR - 1/resamples",
    "one resample": "fractiles set to x since n=1",
    "rows missing": "eof in read from data file",
}


def features(outcome):
    text = "".join(v for k, v in outcome.items() if not k.endswith((".dat", ".cnl")))
    return {name for name, mark in FEATURES.items() if mark in text}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--old", help="the program to compare against (default: build --base-commit)")
    parser.add_argument("--new", help="the program under test (default: build the working tree)")
    parser.add_argument("--base-commit", default="94e31b0")
    parser.add_argument("--count", type=int, default=200, help="configurations (default 200)")
    parser.add_argument("--seed", type=int, default=1, help="first configuration's seed")
    parser.add_argument("--threads", type=int, default=2, help="threads of the new program")
    parser.add_argument("--work", help="working directory (default: a temporary one)")
    args = parser.parse_args()

    work = args.work or tempfile.mkdtemp(prefix="vok-compare-")
    os.makedirs(work, exist_ok=True)
    old = args.old or build_commit(args.base_commit, work)
    new = args.new or build(REPO, os.path.join(work, "new-build"))
    old, new = os.path.abspath(old), os.path.abspath(new)

    differing = []
    statuses = {}
    reached = {}
    for i in range(args.count):
        seed = args.seed + i
        folder = os.path.join(work, f"config-{seed}")
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(os.path.join(folder, "old"))
        configuration(seed, os.path.join(folder, "old"))
        shutil.copytree(os.path.join(folder, "old"), os.path.join(folder, "new"))
        a = execute(old, os.path.join(folder, "old"), 1)
        b = execute(new, os.path.join(folder, "new"), args.threads)
        statuses[a["<status>"]] = statuses.get(a["<status>"], 0) + 1
        for name in features(a):
            reached[name] = reached.get(name, 0) + 1
        if a == b:
            shutil.rmtree(folder)
            continue
        names = sorted(k for k in set(a) | set(b) if a.get(k) != b.get(k))
        differing.append(seed)
        print(f"configuration {seed}: differs in {', '.join(names)} (kept in {folder})")
        if len(differing) >= 10:
            print("stopping after 10 differing configurations")
            break

    compared = i + 1
    summary = ", ".join(f"{count} with status {status}" for status, count in sorted(statuses.items()))
    print(f"{compared} configurations compared ({summary}): "
          f"{compared - len(differing)} identical, {len(differing)} differing")
    print("configurations reaching: " +
          ", ".join(f"{name} {reached.get(name, 0)}" for name in FEATURES))
    if not differing and not args.work:
        shutil.rmtree(work)
    return 1 if differing else 0


if __name__ == "__main__":
    sys.exit(main())
