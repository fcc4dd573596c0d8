"""Result.plot and Result.plot_xy: the p-values by frame, drawn as vok-plot
draws them, and the cross-correlations as a heat map."""

import numpy as np
import pandas as pd

from . import _vok

# The panels and colours of vok-plot's p-value picture: the graph records'
# order (the library's), bicorrelation tests first, then correlation tests.
_PANELS = (
    ("Bicorrelation tests", _vok.GRAPH_ORDER[:4]),
    ("Correlation tests", _vok.GRAPH_ORDER[4:]),
)
# Seven distinct colours, as vok-plot draws the tests (and the R package).
COLOURS = dict(zip(_vok.GRAPH_ORDER, ("#1f77b4", "#d62728", "#2ca02c", "#9467bd",
                                      "#ff7f0e", "#8c564b", "#e377c2")))
# The p-value axis reaches at least this low; lower when a p-value is lower.
SMALLEST_PVALUE = 1e-4


def _tests(tests):
    every = [t for _, panel in _PANELS for t in panel]
    if tests is None:
        return every
    tests = [tests] if isinstance(tests, str) else list(tests)
    unknown = [t for t in tests if t not in every]
    if unknown:
        raise ValueError(f"tests = {tests!r}: {unknown[0]!r} is not one of {every}")
    return tests


def _frame_axis(frames):
    """The x positions of the frames: their start times when the stamps are
    datetimes (a real date axis), else the frame numbers."""
    if "start" in frames.columns and pd.api.types.is_datetime64_any_dtype(frames["start"]):
        return frames["start"].to_numpy(), True
    return frames.index.to_numpy(), False


def _labelled_thresholds(result):
    """test -> the threshold as the console program's report shows it, read
    back into 32 bits (as vok-plot reads it from the report): the labels of
    both pictures then agree to the last digit."""
    from ._result import TESTS

    values = [float(result.thresholds[test]) for test in TESTS]
    return dict(zip(TESTS, _vok.reported_thresholds(values, bool(result.bootstrapped))))


def _lowest_decade(result, tests):
    """The bottom of the p-value axis: the decade at or below the smallest
    positive p-value of the tests drawn (1e-4 at the highest). A p-value of
    0 (the survival function below the smallest double) is drawn there."""
    p = result.frames[[f"pvalue_{test}" for test in tests]].to_numpy(dtype=float)
    positive = p[np.isfinite(p) & (p > 0)]
    lowest = min(SMALLEST_PVALUE, float(positive.min())) if positive.size else SMALLEST_PVALUE
    return 10.0 ** np.floor(np.log10(lowest))


def _draw(ax, result, tests, x, few):
    from matplotlib.lines import Line2D
    from matplotlib.ticker import LogLocator

    frames = result.frames
    shown = _labelled_thresholds(result)
    bottom = _lowest_decade(result, tests)
    handles, texts = [], []
    for test in tests:
        colour = COLOURS[test]
        p = frames[f"pvalue_{test}"].to_numpy(dtype=float)
        p = np.where(p == 0, bottom, p)
        significant = frames[f"significant_{test}"].to_numpy()
        count = int(significant.sum())
        line, = ax.plot(x, p, color=colour, marker="o" if few else None, markersize=3,
                        linewidth=1.5 if few else 1.0, label=f"{test} ({count} significant)")
        ax.plot(x[significant], p[significant], linestyle="none", marker="o",
                markersize=10 if few else 6, markerfacecolor="none", color=colour,
                label="_significant")
        text = f"{test}: {count} significant"
        if result.bootstrapped:
            ax.axhline(float(result.thresholds[test]), color=colour, linestyle="--",
                       linewidth=1.5, label=f"{test} threshold {shown[test]:.4f}")
            text += f", threshold {shown[test]:.4f}"
        handles.append(line)
        texts.append(text)
    if result.bootstrapped:
        handles.append(Line2D([], [], color="grey", linestyle="--", linewidth=1.5))
        texts.append("threshold (dashed, the test's colour)")
    else:
        threshold = float(result.thresholds.iloc[0])
        label = f"threshold {shown[result.thresholds.index[0]]:.4f}"
        handles.append(ax.axhline(threshold, color="black", linestyle="--", linewidth=1.5,
                                  label=label))
        texts.append(label)
    handles.append(Line2D([], [], linestyle="none", marker="o", markerfacecolor="none",
                          color="black"))
    texts.append("significant frame")
    ax.set_yscale("log")
    ax.set_ylim(bottom * 0.6, 1.5)
    decades = int(round(-np.log10(bottom)))
    ax.yaxis.set_major_locator(LogLocator(base=10.0, numticks=12 if decades <= 10 else 8))
    ax.minorticks_off()
    ax.set_ylabel("p-value (log scale)")
    ax.grid(True, color="#dddddd")
    ax.legend(handles, texts, loc="upper left", bbox_to_anchor=(1.01, 1.0), fontsize="small")


def _label_frames(ax, frames, x, dated):
    if dated:
        ax.set_xlabel("frame start")
        return
    if "start" in frames.columns:  # stamps as text: every few frames labelled
        step = max(1, (len(frames) + 7) // 8)
        ax.set_xticks(x[::step])
        ax.set_xticklabels([str(s) for s in frames["start"].iloc[::step]], rotation=30,
                           ha="right")
        ax.set_xlabel("frame start")
    else:
        ax.set_xlabel("frame")
        if len(frames) <= 30:
            ax.set_xticks(x)
        else:
            from matplotlib.ticker import MaxNLocator
            ax.xaxis.set_major_locator(MaxNLocator(integer=True))
    if len(x):
        ax.set_xlim(x[0] - 0.5, x[-1] + 0.5)


def _title(result):
    how = (f"{result.settings.get('resamples', 0)} resamples: bootstrapped thresholds"
           if result.bootstrapped else "nominal false alarm threshold")
    x_name, y_name = getattr(result, "names", (None, None))
    named = f" of {x_name} and {y_name}" if x_name is not None or y_name is not None else ""
    return f"p-values by frame{named} ({how})"


def plot_pvalues(result, ax=None, tests=None, **subplots):
    import matplotlib.pyplot as plt

    tests = _tests(tests)
    frames = result.frames
    x, dated = _frame_axis(frames)
    few = len(frames) <= 100
    if ax is not None:
        _draw(ax, result, tests, x, few)
        ax.set_title(_title(result))
        _label_frames(ax, frames, x, dated)
        return ax.figure
    panels = [(title, [t for t in panel if t in tests]) for title, panel in _PANELS]
    panels = [(title, chosen) for title, chosen in panels if chosen]
    subplots.setdefault("figsize", (12, 4.5 * len(panels)))
    fig, axes = plt.subplots(len(panels), 1, sharex=True, squeeze=False, **subplots)
    axes = axes[:, 0]
    fig.suptitle(_title(result))
    for ax_, (title, chosen) in zip(axes, panels):
        _draw(ax_, result, chosen, x, few)
        ax_.set_title(title)
    _label_frames(axes[-1], frames, x, dated)
    if dated:
        fig.autofmt_xdate()
    fig.tight_layout()
    return fig


def plot_xy(result, ax=None, **subplots):
    """The cross-correlations of the prewhitened x and y, frames by lags, as
    a heat map (red positive, blue negative), on the frames' dates when the
    stamps are datetimes."""
    import matplotlib.pyplot as plt
    from matplotlib.ticker import MaxNLocator

    if ax is None:
        subplots.setdefault("figsize", (12, 5))
        fig, ax = plt.subplots(**subplots)
    else:
        fig = ax.figure
    xy = result.xy
    values = xy.to_numpy(dtype=float).T  # lags by frames
    limit = float(np.nanmax(np.abs(values))) if values.size else 1.0
    limit = limit if limit > 0 else 1.0
    x, dated = _frame_axis(result.frames)
    lags = xy.columns.to_numpy()
    if dated and len(x) > 1:
        import matplotlib.dates as mdates

        numbers = mdates.date2num(pd.to_datetime(x))
        edges = np.r_[numbers, numbers[-1] + (numbers[-1] - numbers[-2])]
        mesh = ax.pcolormesh(edges, np.r_[lags - 0.5, lags[-1] + 0.5], values, cmap="RdBu_r",
                             vmin=-limit, vmax=limit, shading="flat")
        ax.xaxis_date()
        ax.set_xlabel("frame start")
    else:
        frames = result.frames.index.to_numpy()
        mesh = ax.pcolormesh(np.r_[frames - 0.5, frames[-1] + 0.5] if len(frames) else [0, 1],
                             np.r_[lags - 0.5, lags[-1] + 0.5], values, cmap="RdBu_r",
                             vmin=-limit, vmax=limit, shading="flat")
        ax.set_xlabel("frame")
        ax.xaxis.set_major_locator(MaxNLocator(integer=True))
    ax.yaxis.set_major_locator(MaxNLocator(integer=True))
    ax.set_ylabel("lag")
    x_name, y_name = getattr(result, "names", (None, None))
    named = f" of {x_name} and {y_name}" if x_name is not None or y_name is not None else ""
    ax.set_title(f"Cross-correlations{named} by frame and lag")
    fig.colorbar(mesh, ax=ax, label="cross-correlation")
    return fig
