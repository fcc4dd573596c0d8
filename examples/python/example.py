"""Testing two series for nonlinear dependence with vok, frame by frame.

Copy this into a notebook cell (or run it: /usr/bin/python3 example.py) with
the package importable: installed (python3-vok), or from a build tree with
PYTHONPATH=build/python. It reads the example data of examples/example.dat,
tests it, shows the tables and draws the p-values.
"""
import pathlib

import numpy as np
import pandas as pd

import vok

# The data: two columns of 12 characters after two header lines. Any pair of
# equally long 1-D arrays will do: numpy arrays, pandas Series, lists.
here = pathlib.Path(__file__).resolve().parent
data = pd.read_fwf(here.parent / "example.dat", widths=[12, 12], skiprows=2,
                   header=None, names=["x", "y"], dtype=np.float32)

# Frames of 200 observations, each prewhitened with a VAR(1) fit; thresholds
# from 100 bootstrap resamples at a false-alarm level of 0.05.
result = vok.analyse(data["x"], data["y"], frame_length=200, var_lag=1, resamples=100)

print(result)                # settings, thresholds and significant counts
print(result.frames[["first_row", "last_row", "pvalue_Hxxy", "significant_Hxxy"]])

# The frames in which the bicorrelation tests see nonlinear dependence.
bicorrelation = ["significant_Hxxy", "significant_Hyyx", "significant_Hxxx", "significant_Hyyy"]
print(result.frames[result.frames[bicorrelation].any(axis=1)].index.tolist())

# Cross-correlations of the prewhitened series, frames by lags.
print(result.xy.round(3).iloc[:, result.lags - 2:result.lags + 3])

# Stamps give the frames a start and an end.
stamps = pd.date_range("2024-01-01", periods=len(data), freq="s")
stamped = vok.analyse(data["x"], data["y"], frame_length=200, var_lag=1, stamps=stamps)
print(stamped.frames[["start", "end", "pvalue_Hxxy"]].head())

fig = result.plot()          # the p-values by frame with the thresholds
fig.savefig("example-pvalues.png", dpi=100)
