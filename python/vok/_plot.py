"""Result.plot: the p-values by frame, drawn as vok-plot draws them."""

import numpy as np

# The panels and colours of vok-plot's p-value picture.
_PANELS = (
    ("Bicorrelation tests", ("Hxxy", "Hyyx", "Hxxx", "Hyyy")),
    ("Correlation tests", ("Cxy", "Cx", "Cy")),
)
_COLOURS = {
    "Hxxy": "#1f77b4", "Hyyx": "#d62728", "Hxxx": "#2ca02c", "Hyyy": "#9467bd",
    "Cxy": "#ff7f0e", "Cx": "#1f77b4", "Cy": "#d62728",
}
# A p-value of 0 (a CDF value of 1) is drawn at the bottom line.
SMALLEST_PVALUE = 0.00005


def plot_pvalues(result, **subplots):
    import matplotlib.pyplot as plt

    frames = result.frames
    subplots.setdefault("figsize", (12, 9))
    fig, axes = plt.subplots(2, 1, sharex=True, **subplots)
    how = (f"{result.settings.get('resamples', 0)} resamples: bootstrapped thresholds"
           if result.bootstrapped else "nominal false alarm threshold")
    fig.suptitle(f"p-values 1 - P by frame ({how})")
    stamped = "start" in frames.columns
    position = np.arange(1, len(frames) + 1)
    few = len(frames) <= 100
    for ax, (title, tests) in zip(axes, _PANELS):
        for test in tests:
            colour = _COLOURS[test]
            p = np.maximum(frames[f"pvalue_{test}"].to_numpy(dtype=float), SMALLEST_PVALUE)
            significant = frames[f"significant_{test}"].to_numpy()
            ax.plot(position, p, color=colour, marker="o" if few else None,
                    markersize=3, linewidth=1.5 if few else 1.0,
                    label=f"{test} ({int(significant.sum())} significant)")
            ax.plot(position[significant], p[significant], linestyle="none", marker="o",
                    markersize=10 if few else 6, markerfacecolor="none", color=colour)
            if result.bootstrapped:
                threshold = float(result.thresholds[test])
                ax.axhline(threshold, color=colour, linestyle="--", linewidth=1.5,
                           label=f"{test} threshold {threshold:.4f}")
        if not result.bootstrapped:
            threshold = float(result.thresholds.iloc[0])
            ax.axhline(threshold, color="black", linestyle="--", linewidth=1.5,
                       label=f"threshold {threshold:.4f}")
        ax.plot([], [], linestyle="none", marker="o", markerfacecolor="none", color="black",
                label="significant frame")
        ax.set_yscale("log")
        ax.set_ylim(SMALLEST_PVALUE * 0.6, 1.5)
        ax.set_yticks([SMALLEST_PVALUE, 1e-4, 1e-3, 1e-2, 1e-1, 1])
        ax.set_yticklabels(["< 0.0001", "0.0001", "0.001", "0.01", "0.1", "1"])
        ax.minorticks_off()
        ax.set_ylabel("p-value (log scale)")
        ax.set_title(title)
        ax.grid(True, color="#dddddd")
        ax.legend(loc="upper left", bbox_to_anchor=(1.01, 1.0), fontsize="small")
    axes[-1].set_xlim(0.5, len(frames) + 0.5)
    if stamped:
        step = max(1, (len(frames) + 7) // 8)
        ticks = position[::step]
        axes[-1].set_xticks(ticks)
        axes[-1].set_xticklabels([str(s) for s in frames["start"].iloc[::step]], rotation=30,
                                 ha="right")
        axes[-1].set_xlabel("frame start")
    else:
        axes[-1].set_xlabel("frame")
        if len(frames) <= 30:
            axes[-1].set_xticks(position)
    fig.tight_layout()
    return fig
