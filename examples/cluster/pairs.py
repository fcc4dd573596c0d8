#!/usr/bin/python3
"""Every pair of a panel's columns, on this machine or a Dask cluster.

    /usr/bin/python3 pairs.py panel.csv --frame-length 1000 --var-lag 2 --resamples 200
    /usr/bin/python3 pairs.py panel.csv --missing split --errors collect ...
    /usr/bin/python3 pairs.py panel.csv --scheduler tcp://10.0.0.5:8786 ...

panel.csv: a header row of series names, then one row per observation; a
first column of dates and times becomes the stamps (--no-stamps when it is a
series); an empty cell (or NA) is a missing value. Writes beside it
panel-pairs.csv (one row per frame of each pair: x, y, frame, then the frame
columns of vok.analyse) and panel-thresholds.csv (one row per pair), and with
--errors collect panel-errors.csv (the pairs that failed: x, y, message).
Without --scheduler the pairs run on the local cores; with it, on the Dask
cluster whose scheduler listens there.

--missing: what a missing value does to its pairs. raise (the default) fails
them; drop leaves out the rows where either series of a pair is missing (a
frame may span them); split leaves them out and starts the frames anew after
each gap. --errors: raise (the default) stops at the first pair that fails,
with status 1; collect keeps the other pairs.
"""
import argparse
import os
import sys

import pandas as pd

import vok


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("panel", help="CSV file, one column per series")
    parser.add_argument("--scheduler", help="address of a Dask scheduler (default: local cores)")
    parser.add_argument("--no-stamps", action="store_true",
                        help="the first column is a series, not dates and times")
    parser.add_argument("--frame-length", type=int, required=True)
    parser.add_argument("--exponent", type=float, default=0.4)
    parser.add_argument("--false-alarm", type=float, default=0.05)
    parser.add_argument("--var-lag", type=int, default=0)
    parser.add_argument("--resamples", type=int, default=0)
    parser.add_argument("--missing", choices=("raise", "drop", "split"), default="raise",
                        help="what a missing value does to its pairs (default: raise)")
    parser.add_argument("--errors", choices=("raise", "collect"), default="raise",
                        help="stop at the first pair that fails, or collect the failed pairs")
    args = parser.parse_args()

    if args.no_stamps:
        panel = pd.read_csv(args.panel)
    else:
        panel = pd.read_csv(args.panel, index_col=0, parse_dates=[0])
    settings = dict(frame_length=args.frame_length, exponent=args.exponent,
                    false_alarm=args.false_alarm, var_lag=args.var_lag, resamples=args.resamples,
                    missing=args.missing, errors=args.errors)
    try:
        if args.scheduler:
            from distributed import Client

            with Client(args.scheduler) as client:
                results = vok.analyse_pairs(panel, client=client, **settings)
        else:
            results = vok.analyse_pairs(panel, **settings)
    except vok.PairError as error:
        hint = ("--missing drop or --missing split leaves out the rows with missing values; "
                if args.missing == "raise" and "missing=" in str(error) else "")
        sys.exit(f"{sys.argv[0]}: {error}\n{hint}--errors collect keeps the other pairs")
    except ValueError as error:  # a bad setting or panel
        sys.exit(f"{sys.argv[0]}: {error}")

    stem = os.path.splitext(args.panel)[0]
    results.frames.to_csv(stem + "-pairs.csv", index=False)
    results.thresholds.to_csv(stem + "-thresholds.csv", index=False)
    print(results)
    if len(results.errors):
        results.errors.to_csv(stem + "-errors.csv", index=False)
        print(f"{len(results.errors)} pairs failed: see {stem}-errors.csv")


if __name__ == "__main__":
    main()
