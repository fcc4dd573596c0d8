"""vok.Result: the results of one analysis as pandas tables."""

import numpy as np
import pandas as pd

from . import _vok

#: The seven tests in the order of every per-test column and index.
TESTS = tuple(_vok.TESTS)  # ("Cx", "Cy", "Cxy", "Hxxx", "Hyyy", "Hxxy", "Hyyx")


class Result:
    """The results of one analysis (vok.analyse) or one run (vok.run).

    Attributes:
        frames: DataFrame, one row per frame, index `frame` (1, 2, ...):
            first_row, last_row (1-based positions in x and y), start and end
            (with stamps), degenerate (a test series without spread: no test
            can be computed), then per test T in TESTS: statistic_T (the
            test statistic), df_T (its chi-square degrees of freedom), cdf_T
            (the chi-square CDF value in 32 bits, as the console program's
            reports), pvalue_T (the chi-square survival function of the
            statistic in 64 bits, NaN where the test cannot be computed) and
            significant_T (the console program's judgement: 1 - cdf_T in 32
            bits strictly below the test's threshold).
        thresholds: Series, test -> the p-value threshold used (the
            false-alarm level, or bootstrapped).
        counts: DataFrame, per test: significant frames and their percent.
        xy: DataFrame of the cross-correlations of the prewhitened x and y,
            frames by lags (-lags .. lags).
        statistics: DataFrame of the descriptive statistics of x and y over
            the rows whole frames cover.
        settings: dict of the settings of the analysis, with `lags`.
        lags: lags per frame.
        rows: observations analysed.
        bootstrapped: whether the thresholds come from resamples.
        diagnostics: list of the messages raised while analysing (each a
            tuple: frame or 0, where the console program shows it, text).
        names: (x name, y name): the names of x and y when they were
            pandas Series (None otherwise).
    """

    def __init__(self, frames, thresholds, counts, xy, statistics, settings, rows, lags,
                 bootstrapped, diagnostics=()):
        self.frames = frames
        self.thresholds = thresholds
        self.counts = counts
        self.xy = xy
        self.statistics = statistics
        self.settings = settings
        self.rows = rows
        self.lags = lags
        self.bootstrapped = bootstrapped
        self.diagnostics = list(diagnostics)
        self.names = (None, None)

    @classmethod
    def from_arrays(cls, a, settings, stamps=None, stamped=None):
        """A Result from the dict of numpy arrays that vok._vok returns.

        settings: the settings to show (a dict); stamps: a DatetimeIndex of
        the observations, for datetime start and end columns; stamped:
        whether there are start and end columns (None: when the library
        passed stamps through)."""
        if stamped is None:
            stamped = stamps is not None or any(a["first_stamp"])
        number = np.asarray(a["number"], dtype=np.int64)
        index = pd.Index(number, name="frame")
        first_row = np.asarray(a["first_row"], dtype=np.int64)
        last_row = np.asarray(a["last_row"], dtype=np.int64)
        columns = {"first_row": first_row, "last_row": last_row}
        if stamps is not None:
            columns["start"] = stamps[first_row - 1]
            columns["end"] = stamps[last_row - 1]
        elif stamped:
            columns["start"] = list(a["first_stamp"])
            columns["end"] = list(a["last_stamp"])
        columns["degenerate"] = np.asarray(a["degenerate"], dtype=bool)
        for t, test in enumerate(TESTS):
            columns[f"statistic_{test}"] = a["statistic"][:, t]
            columns[f"df_{test}"] = np.asarray(a["df"][:, t], dtype=np.int64)
            columns[f"cdf_{test}"] = a["cdf"][:, t]
            columns[f"pvalue_{test}"] = a["pvalue"][:, t]
            columns[f"significant_{test}"] = a["significant"][:, t]
        frames = pd.DataFrame(columns, index=index)

        tests = pd.Index(TESTS, name="test")
        thresholds = pd.Series(a["thresholds"], index=tests, name="threshold")
        count = np.asarray(a["counts"], dtype=np.int64)
        # The report's percentage: 100 count / frames in 32-bit reals.
        percent = (np.float32(100.0) * count.astype(np.float32) /
                   np.float32(max(len(frames), 1))).astype(np.float32)
        counts = pd.DataFrame({"significant": count, "percent": percent}, index=tests)

        lags = int(a["lags"])
        xy = pd.DataFrame(a["cross_correlations"], index=index,
                          columns=pd.Index(range(-lags, lags + 1), name="lag"))
        statistics = pd.DataFrame({"x": a["x_stats"], "y": a["y_stats"]}, dtype=np.float32)
        statistics.index.name = "statistic"
        settings = dict(settings)
        settings["lags"] = lags
        return cls(frames, thresholds, counts, xy, statistics, settings, int(a["rows"]), lags,
                   bool(a["bootstrapped"]), a.get("diagnostics", ()))

    def __repr__(self):
        s = self.settings
        frames = len(self.frames)
        how = "bootstrapped" if self.bootstrapped else "nominal"
        x_name, y_name = self.names
        named = (f" (x = {x_name!r}, y = {y_name!r})"
                 if x_name is not None or y_name is not None else "")
        lines = [
            f"vok.Result: {frames} frame{'s' if frames != 1 else ''} of "
            f"{s.get('frame_length', '?')} rows from {self.rows} observations, "
            f"{self.lags} lag{'s' if self.lags != 1 else ''}, VAR({s.get('var_lag', 0)}), "
            f"{how} thresholds{named}",
            f"{'test':<6}{'threshold':>11}{'significant':>13}{'percent':>9}",
        ]
        for test in TESTS:
            lines.append(f"{test:<6}{self.thresholds[test]:>11.4f}"
                         f"{self.counts.loc[test, 'significant']:>13d}"
                         f"{self.counts.loc[test, 'percent']:>8.1f}%")
        return "\n".join(lines)

    def plot(self, **kwargs):
        """The p-values of the seven tests by frame on a log scale, the
        bicorrelation tests above the correlation tests, with the thresholds
        dashed and the significant frames circled; returns the matplotlib
        Figure. Keyword arguments go to matplotlib.pyplot.subplots."""
        from ._plot import plot_pvalues

        return plot_pvalues(self, **kwargs)
