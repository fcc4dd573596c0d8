#!/usr/bin/python3
"""Pairs per second of vok.analyse_pairs, locally and on a Dask LocalCluster.

    PYTHONPATH=build/python /usr/bin/python3 bench/pairs_bench.py [--pairs 40] [--rows 200000]

(configure with -DVOK_BUILD_PYTHON=ON and build the target _vok first). The
work: 40 pairs of 200,000-row series from a panel of 10, frame length 1000,
exponent 0.5 (32 lags), VAR(2), 200 resamples. Measured, each the best of
--repeat runs:

- locally, 1 and 2 threads, one pair per thread (what analyse_pairs does);
- locally, the pairs one after another with the frames of each on 2 threads
  (the other way to use two cores);
- on a LocalCluster of 1 and 2 worker processes (one thread each, loopback);
- the cluster's overhead: the round trip of an empty task, the scatter of the
  series, and per task of the real work, the cluster's time less the local
  time on as many threads, divided by the tasks.

Every configuration must give the same tables; the script says so or stops.
The load average is printed before and after: the figures mean little on a
machine busy with other work; the processor seconds (of this process, or of
the workers and this process) show the work done whatever the load.
"""
import argparse
import itertools
import math
import os
import shutil
import subprocess
import sys
import time


def need(module, package):
    """Imports a module, installing its Debian package first when missing
    (as root; otherwise says how)."""
    try:
        return __import__(module)
    except ImportError:
        if os.geteuid() != 0 or shutil.which("apt-get") is None:
            sys.exit(f"missing {module}: install it as root with: apt-get install {package}")
        subprocess.run(["apt-get", "install", "-y", "-qq", package], check=True)
        return __import__(module)


np = need("numpy", "python3-numpy")
pd = need("pandas", "python3-pandas")
distributed = need("distributed", "python3-distributed")
need("tqdm", "python3-tqdm")
import vok  # noqa: E402
from vok import _pairs  # noqa: E402

SETTINGS = dict(frame_length=1000, exponent=0.5, var_lag=2, resamples=200)


def panel(rows, columns, seed=11):
    """AR(2) series with a nonlinear link between neighbours."""
    rng = np.random.default_rng(seed)
    e = rng.standard_normal((rows, columns)).astype(np.float32)
    data = e.copy()
    for t in range(2, rows):
        data[t] += 0.5 * data[t - 1] - 0.2 * data[t - 2]
    for k in range(1, columns, 2):
        data[2:, k] += 0.3 * data[1:-1, k - 1] * data[:-2, k - 1]
    return pd.DataFrame(data, columns=[f"s{k:02d}" for k in range(columns)])


def best(repeat, work, cpu=time.process_time):
    """The shortest wall time of `repeat` runs, the processor time of that
    run (cpu(): seconds used so far by the processes doing the work), and
    the result."""
    runs = []
    result = None
    for _ in range(repeat):
        cpu_start = cpu()
        start = time.perf_counter()
        result = work()
        runs.append((time.perf_counter() - start, cpu() - cpu_start))
    wall, used = min(runs)
    return wall, used, result


def cluster_cpu(client):
    """Processor seconds the cluster's worker processes and this one (the
    client, and the scheduler of a LocalCluster) have used."""
    return lambda: sum(client.run(time.process_time).values()) + time.process_time()


def load():
    return " ".join(f"{v:.2f}" for v in os.getloadavg())


def check_same(name, got, want):
    pd.testing.assert_frame_equal(got.frames, want.frames)
    pd.testing.assert_frame_equal(got.thresholds, want.thresholds)
    print(f"    ({name}: the same tables)")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--pairs", type=int, default=40)
    parser.add_argument("--rows", type=int, default=200_000)
    parser.add_argument("--repeat", type=int, default=2)
    args = parser.parse_args()

    columns = 2
    while columns * (columns - 1) // 2 < args.pairs:
        columns += 1
    data = panel(args.rows, columns)
    pairs = list(itertools.combinations(data.columns, 2))[:args.pairs]
    n = len(pairs)
    print(f"{n} pairs of {args.rows} rows from {columns} series; {SETTINGS}")
    print(f"cores: {len(os.sched_getaffinity(0))}; load average before: {load()}")
    print(f"{'configuration':<44}{'wall s':>8}{'cpu s':>8}{'pairs/s':>9}")

    def show(name, seconds, used):
        print(f"{name:<44}{seconds:>8.2f}{used:>8.2f}{n / seconds:>9.2f}")

    def run(**kw):
        return vok.analyse_pairs(data, pairs, progress=False, **SETTINGS, **kw)

    local = {}
    for threads in (1, 2):
        seconds, used, result = best(args.repeat, lambda: run(threads=threads))
        local[threads] = (seconds, result, used)
        show(f"local, {threads} thread{'s' if threads > 1 else ''}, a pair per thread", seconds,
             used)
    check_same("1 and 2 threads", local[2][1], local[1][1])

    def frames_across_threads():
        results = [vok.analyse(data[x], data[y], threads=2, **SETTINGS) for x, y in pairs]
        return _pairs.PairResults.from_results(
            pairs, [(r.frames, r.thresholds) for r in results], SETTINGS)

    seconds, used, result = best(args.repeat, frames_across_threads)
    show("local, pairs in turn, frames on 2 threads", seconds, used)
    check_same("frames across threads", result, local[1][1])
    print(f"  2 threads over 1, a pair per thread: {local[1][0] / local[2][0]:.2f}x; "
          f"frames across threads: {local[1][0] / seconds:.2f}x")

    cluster_times = {}
    cluster_used = {}
    for workers in (1, 2):
        with distributed.LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                                      host="127.0.0.1", dashboard_address=None) as cluster, \
                distributed.Client(cluster) as client:
            client.submit(int, 0).result()  # workers up and connected
            seconds, used, result = best(args.repeat, lambda: run(client=client),
                                         cluster_cpu(client))
            cluster_times[workers] = seconds
            cluster_used[workers] = used
            show(f"LocalCluster, {workers} worker{'s' if workers > 1 else ''}", seconds, used)
            check_same(f"{workers} worker(s) and local", result, local[1][1])
            if workers == 2:
                empty = 200
                start = time.perf_counter()
                client.gather(client.map(lambda i: i, range(empty), pure=False))
                per_empty = (time.perf_counter() - start) / empty
                start = time.perf_counter()
                futures = client.scatter([data[c].to_numpy() for c in data.columns])
                client.cancel(futures)
                scatter = time.perf_counter() - start
    print(f"  2 workers over 1: {cluster_times[1] / cluster_times[2]:.2f}x")
    print(f"  overhead: an empty task {1000 * per_empty:.2f} ms (200 in a batch, 2 workers); "
          f"scattering the {columns} series {1000 * scatter:.0f} ms")
    for workers in (1, 2):
        # The chunks analyse_pairs makes for `workers` one-thread workers.
        size = max(1, math.ceil(n / (_pairs._CHUNKS_PER_THREAD * workers)))
        tasks = math.ceil(n / size)
        excess = (cluster_times[workers] - local[workers][0]) / tasks
        excess_cpu = (cluster_used[workers] - local[workers][2]) / tasks
        print(f"  {workers} worker(s): {tasks} tasks; cluster less local on {workers} "
              f"thread(s), per task: {1000 * excess:.0f} ms wall, {1000 * excess_cpu:.0f} ms "
              f"processor")
    print(f"load average after: {load()}")


if __name__ == "__main__":
    main()
