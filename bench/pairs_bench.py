#!/usr/bin/python3
"""Pairs per second of vok.analyse_pairs, locally and on a Dask LocalCluster.

    PYTHONPATH=build/python /usr/bin/python3 bench/pairs_bench.py [--pairs 40] [--rows 200000]

(configure with -DVOK_BUILD_PYTHON=ON and build the target _vok first). The
work: 40 pairs of 200,000-row series from a panel of 10, frame length 1000,
exponent 0.5 (32 lags), VAR(2), 200 resamples. Measured:

- locally, 1 and 2 threads, one pair per thread (what analyse_pairs does);
- locally, the pairs one after another with the frames of each on 2 threads
  (the other way to use two cores);
- on a LocalCluster of 1 and 2 worker processes (one thread each, loopback),
  started for its run alone (an idle cluster's processes take processor time
  too) and warmed up (its workers have imported vok, as those of a cluster
  that serves many calls have);
- the cluster's overhead: the round trip of an empty task, the scatter of the
  series, and per task of the real work, the cluster's time less the local
  time on as many threads, divided by the tasks.

The configurations take turns, round by round (--repeat rounds, each
configuration keeping its shortest run), so that a load that comes and goes
meets them alike.

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


def measure(work, cpu):
    """Wall and processor seconds of one run (cpu(): seconds used so far by
    the processes doing the work), and its result."""
    cpu_start = cpu()
    start = time.perf_counter()
    result = work()
    return time.perf_counter() - start, cpu() - cpu_start, result


def cluster_cpu(client):
    """Processor seconds the cluster's worker processes and this one (the
    client, and the scheduler of a LocalCluster) have used."""
    return lambda: sum(client.run(time.process_time).values()) + time.process_time()


def _warm_up():
    """What a worker's first task of analyse_pairs imports."""
    import vok._pairs  # noqa: F401


def load():
    return " ".join(f"{v:.2f}" for v in os.getloadavg())


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

    def frames_across_threads():
        results = [vok.analyse(data[x], data[y], threads=2, **SETTINGS) for x, y in pairs]
        return _pairs.PairResults.from_results(
            pairs, [(r.frames, r.thresholds) for r in results], SETTINGS)

    warm_up = []  # seconds the workers of a new cluster took to import vok

    def start_cluster(workers):
        """A LocalCluster of `workers` one-thread worker processes on
        loopback, its workers up and connected, and its client. No
        dashboard; the scheduler's remaining HTTP routes (health checks) on a
        free loopback port."""
        cluster = distributed.LocalCluster(
            n_workers=workers, threads_per_worker=1, processes=True, host="127.0.0.1",
            dashboard_address=None, scheduler_kwargs={"dashboard_address": "127.0.0.1:0"})
        client = distributed.Client(cluster)
        client.submit(int, 0).result()
        # A new worker process imports vok (and pandas) with its first task;
        # a cluster that serves many calls pays that once, so the runs
        # measured start on workers that have.
        start = time.perf_counter()
        client.run(_warm_up)
        warm_up.append(time.perf_counter() - start)
        return cluster, client

    def locally(work):
        def measured():
            return measure(work, time.process_time)
        return measured

    def on_cluster(workers):
        # Only the cluster measured is up: an idle cluster's processes (the
        # scheduler, the workers and their event loops) take processor time
        # of their own, a few percent of a core each, which two cores busy
        # with the pairs would have to share.
        def measured():
            cluster, client = start_cluster(workers)
            try:
                return measure(lambda: run(client=client), cluster_cpu(client))
            finally:
                client.close()
                cluster.close()
        return measured

    configurations = {
        "local, 1 thread, a pair per thread": locally(lambda: run(threads=1)),
        "local, 2 threads, a pair per thread": locally(lambda: run(threads=2)),
        "local, pairs in turn, frames on 2 threads": locally(frames_across_threads),
        "LocalCluster, 1 worker": on_cluster(1),
        "LocalCluster, 2 workers": on_cluster(2),
    }
    # Round by round, each configuration once: a load that comes and goes
    # meets them all alike; each keeps its shortest run.
    best = {}
    reference = None
    for _ in range(args.repeat):
        for name, measured in configurations.items():
            seconds, used, result = measured()
            if reference is None:
                reference = result
            else:
                pd.testing.assert_frame_equal(result.frames, reference.frames)
                pd.testing.assert_frame_equal(result.thresholds, reference.thresholds)
            if name not in best or seconds < best[name][0]:
                best[name] = (seconds, used)
    for name, (seconds, used) in best.items():
        show(name, seconds, used)
    print("  (every configuration gave the same tables)")
    wall = {name: seconds for name, (seconds, _) in best.items()}
    names = list(configurations)
    print(f"  2 threads over 1, a pair per thread: {wall[names[0]] / wall[names[1]]:.2f}x; "
          f"frames across threads: {wall[names[0]] / wall[names[2]]:.2f}x")
    print(f"  2 workers over 1: {wall[names[3]] / wall[names[4]]:.2f}x")

    cluster, client = start_cluster(2)
    empty = 200
    start = time.perf_counter()
    client.gather(client.map(lambda i: i, range(empty), pure=False))
    per_empty = (time.perf_counter() - start) / empty
    start = time.perf_counter()
    futures = client.scatter([data[c].to_numpy() for c in data.columns])
    client.cancel(futures)
    scatter = time.perf_counter() - start
    print(f"  overhead: an empty task {1000 * per_empty:.2f} ms (200 in a batch, 2 workers); "
          f"scattering the {columns} series {1000 * scatter:.0f} ms; "
          f"a new cluster's workers importing vok {1000 * min(warm_up):.0f} to "
          f"{1000 * max(warm_up):.0f} ms (not measured "
          f"above)")
    for workers in (1, 2):
        # The chunks analyse_pairs makes for `workers` one-thread workers.
        size = _pairs._chunk_size(n, workers, args.rows, dict(SETTINGS))
        tasks = math.ceil(n / size)
        on_cluster = best[names[2 + workers]]
        locally = best[names[workers - 1]]
        print(f"  {workers} worker(s): {tasks} tasks; cluster less local on {workers} "
              f"thread(s), per task: {1000 * (on_cluster[0] - locally[0]) / tasks:.0f} ms wall, "
              f"{1000 * (on_cluster[1] - locally[1]) / tasks:.0f} ms processor")
    client.close()
    cluster.close()
    print(f"load average after: {load()}")


if __name__ == "__main__":
    main()
