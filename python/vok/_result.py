"""vok.Result: the results of one analysis as pandas tables."""

import html

import numpy as np
import pandas as pd

from . import _vok

#: The seven tests in the order of every per-test column and index.
TESTS = tuple(_vok.COLUMN_ORDER)  # ("Cx", "Cy", "Cxy", "Hxxx", "Hyyy", "Hxxy", "Hyyx")


def binomial_upper_tail(k, n, p):
    """P(X >= k) for X binomial with n draws of probability p (1 for k <= 0):
    the library's sum, the one of the changing-variance check's binomial_p."""
    return _vok.binomial_upper_tail(int(k), int(n), float(p))


#: The columns of Result.cautions.
CAUTION_COLUMNS = ("kind", "series", "frames", "count", "figure", "binomial_p", "advice",
                   "message")


def cautions_table(cautions):
    """Result.cautions from the library's cautions (dicts)."""
    table = pd.DataFrame(list(cautions), columns=list(CAUTION_COLUMNS))
    return table.astype({"frames": np.int64, "count": np.int64, "figure": np.float64,
                         "binomial_p": np.float64})


class Summary:
    """Result.summary(): a text table (str), its numbers (.table, a DataFrame
    by test) and an HTML rendering for notebooks."""

    def __init__(self, result):
        s = result.settings
        n = len(result.frames)
        alpha = float(np.float32(s.get("false_alarm", 0.05)))
        rows = []
        for test in TESTS:
            k = int(result.counts.loc[test, "significant"])
            q = result.frames[f"qvalue_{test}"] if f"qvalue_{test}" in result.frames else None
            rows.append({"threshold": float(result.thresholds[test]), "significant": k,
                         "frames": n, "share": k / n if n else float("nan"),
                         "binomial_p": binomial_upper_tail(k, n, alpha),
                         "discoveries": int((q < alpha).sum()) if q is not None else 0})
        self.table = pd.DataFrame(rows, index=pd.Index(TESTS, name="test"))
        x_name, y_name = getattr(result, "names", (None, None))
        transform = s.get("transform") or "none"
        how = (f"bootstrapped from {s.get('resamples')} resamples of the "
               f"{s.get('bootstrap', 'data')}" if result.bootstrapped else "nominal")
        self.header = [
            "vok analysis" + (f" of x = {x_name!r}, y = {y_name!r}"
                              if x_name is not None or y_name is not None else ""),
            f"observations: {result.rows}   frames: {n} of {s.get('frame_length')} rows"
            f" (overlap {s.get('overlap', 0)})   lags: {result.lags}",
            f"VAR order: {s.get('var_lag', 0)}   transform: {transform}   "
            f"false alarm: {alpha:g}   thresholds: {how}",
        ]
        self.warnings = list(result.cautions["message"])
        self.variance = result.variance

    def __str__(self):
        lines = list(self.header)
        lines.append(f"{'test':<6}{'threshold':>11}{'significant':>13}{'share':>9}"
                     f"{'binomial p':>12}{'q < alpha':>11}")
        for test, row in self.table.iterrows():
            lines.append(f"{test:<6}{row['threshold']:>11.4f}{int(row['significant']):>13d}"
                         f"{100 * row['share']:>8.1f}%{row['binomial_p']:>12.3g}"
                         f"{int(row['discoveries']):>11d}")
        lines.append("binomial p: the chance of at least so many significant frames if "
                     "each were significant with the false-alarm probability alone")
        lines.append("q < alpha: frames whose Benjamini-Hochberg q-value lies below the "
                     "false-alarm level (discoveries at that false discovery rate)")
        for series, row in self.variance.iterrows():
            if row["frames"]:
                lines.append(f"changing variance in {series}: McLeod-Li significant in "
                             f"{int(row['significant'])} of {int(row['frames'])} frames "
                             f"({100 * row['share']:.1f}%, binomial p {row['binomial_p']:.3g})")
        lines.extend(f"warning: {text}" for text in self.warnings)
        return "\n".join(lines)

    __repr__ = __str__

    # The columns of the notebook table: heading, what it says (shown on
    # hover and below the table) and how a value is written.
    _HTML_COLUMNS = (
        ("threshold", "threshold",
         "the p-value below which a frame is significant for the test: the false-alarm "
         "level, or the bootstrapped threshold", lambda v: f"{v:.4g}"),
        ("significant", "significant frames",
         "frames whose p-value lies below the test's threshold, each judged on its own",
         lambda v: f"{int(v)}"),
        ("frames", "frames", "frames analysed", lambda v: f"{int(v)}"),
        ("share", "share", "significant frames as a percentage of the frames",
         lambda v: f"{100 * v:.1f}%"),
        ("binomial_p", "binomial p",
         "the chance of at least so many significant frames if each frame were significant "
         "with the false-alarm probability alone", lambda v: f"{v:.3g}"),
        ("discoveries", "discoveries",
         "frames whose Benjamini-Hochberg q-value lies below the false-alarm level: "
         "the discoveries at that false discovery rate over all the frames",
         lambda v: f"{int(v)}"),
    )

    def _repr_html_(self):
        esc = html.escape
        facts = []
        for line in self.header[1:]:
            facts.extend(part.strip() for part in line.split("   ") if part.strip())
        out = [f"<div><p><b>{esc(self.header[0])}</b></p>",
               "<ul style=\"list-style:none;padding-left:0\">"]
        out.extend(f"<li>{esc(fact)}</li>" for fact in facts)
        out.append("</ul><table><thead><tr><th title=\"the test: Cx, Cy, Cxy the correlation "
                   "tests, Hxxx, Hyyy, Hxxy, Hyyx the bicorrelation tests\">test</th>")
        out.extend(f"<th title=\"{esc(text)}\">{esc(heading)}</th>"
                   for _, heading, text, _ in self._HTML_COLUMNS)
        out.append("</tr></thead><tbody>")
        for test, row in self.table.iterrows():
            out.append(f"<tr><th>{esc(str(test))}</th>")
            out.extend(f"<td title=\"{esc(text)}\">{esc(show(row[column]))}</td>"
                       for column, _, text, show in self._HTML_COLUMNS)
            out.append("</tr>")
        out.append("</tbody></table><dl style=\"font-size:smaller\">")
        for _, heading, text, _ in self._HTML_COLUMNS:
            out.append(f"<dt><b>{esc(heading)}</b></dt><dd>{esc(text)}</dd>")
        out.append("</dl><p style=\"font-size:smaller\">Significant frames and discoveries "
                   "count different things: a frame is significant when its own p-value lies "
                   "below the threshold, so about the false-alarm share of the frames is "
                   "significant even with no dependence at all; the discoveries hold the "
                   "expected share of false ones among them to the false-alarm level, over "
                   "all the frames at once. They can be more than the significant frames "
                   "(bootstrapped thresholds below the level) or fewer (a few small p-values "
                   "among many frames).</p>")
        out.extend(f"<p><b>warning:</b> {esc(text)}</p>" for text in self.warnings)
        out.append("</div>")
        return "".join(out)


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
        diagnostics: list of the messages raised while analysing, in the
            order raised (each a tuple: frame or 0, the kind's name such as
            "stat_no_variance", a readable line).
        names: (x name, y name): the names of x and y when they were
            pandas Series (None otherwise).
        variance: DataFrame, by series (x, y), of the check for changing
            variance: frames (with a McLeod-Li p-value), significant (below
            the false-alarm level), share, binomial_p (the chance of so many
            at the false-alarm level) and strong (at least twice the level
            and binomial_p below 0.001: the bicorrelation tests will fire on
            the changing variance unless the series are clipped).
        cautions: DataFrame, one row per caution of the analysis (what its
            frames say about reading the counts; vok.analyse raises each as
            its subclass of CalibrationWarning): kind ("level",
            "changing_variance", "autocorrelation", "lag0_correlation",
            "clip_data_bootstrap", "constant_frames"), series ("x", "y" or
            "" for the pair), frames and count (the frames judged and those
            that show it), figure (the share count / frames; the mean lag-0
            correlation; the mean residual level in residual standard
            deviations), binomial_p (the chance of so many at the
            false-alarm level), advice (the setting that tells the causes
            apart, as "setting=value") and message.
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
        self.variance = pd.DataFrame(
            {"frames": [0, 0], "significant": [0, 0], "share": [np.nan, np.nan],
             "binomial_p": [1.0, 1.0], "strong": [False, False]},
            index=pd.Index(["x", "y"], name="series"))
        self.cautions = cautions_table([])

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
            columns[f"qvalue_{test}"] = a["qvalue"][:, t]
            columns[f"significant_{test}"] = a["significant"][:, t]
        columns["variance_pvalue_x"] = a["variance_pvalue_x"]
        columns["variance_pvalue_y"] = a["variance_pvalue_y"]
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
        result = cls(frames, thresholds, counts, xy, statistics, settings, int(a["rows"]), lags,
                     bool(a["bootstrapped"]), a.get("diagnostics", ()))
        variance = pd.DataFrame([a["x_variance"], a["y_variance"]],
                                index=pd.Index(["x", "y"], name="series"))
        variance["frames"] = variance["frames"].astype(np.int64)
        variance["significant"] = variance["significant"].astype(np.int64)
        with np.errstate(invalid="ignore", divide="ignore"):
            share = variance["significant"] / variance["frames"].where(variance["frames"] > 0)
        variance.insert(2, "share", share.astype(np.float64))
        variance["strong"] = variance["strong"].astype(bool)
        result.variance = variance
        result.cautions = cautions_table(a.get("cautions", ()))
        return result

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

    def plot(self, ax=None, tests=None, **kwargs):
        """The p-values by frame on a log scale, the bicorrelation tests above
        the correlation tests, with the thresholds dashed and the significant
        frames circled; on a date axis when the stamps are datetimes.

        ax: a matplotlib Axes to draw every test chosen into (one panel);
            None makes a figure of one panel per kind of test.
        tests: the tests to draw (a name or names of vok.TESTS; None: all).
        Other keyword arguments go to matplotlib.pyplot.subplots. Returns
        the Figure."""
        from ._plot import plot_pvalues

        return plot_pvalues(self, ax=ax, tests=tests, **kwargs)

    def plot_xy(self, ax=None, **kwargs):
        """The cross-correlations of the prewhitened x and y as a heat map,
        frames by lags (red positive, blue negative); returns the Figure."""
        from ._plot import plot_xy

        return plot_xy(self, ax=ax, **kwargs)

    def tidy(self):
        """The frames as a long table, one row per frame and test: frame,
        [start, end,] test, statistic, df, pvalue (64 bits), threshold,
        significant (the console program's judgement)."""
        f = self.frames
        stamped = "start" in f.columns
        parts = []
        for test in TESTS:
            part = pd.DataFrame({"frame": f.index.to_numpy()})
            if stamped:
                part["start"] = f["start"].to_numpy()
                part["end"] = f["end"].to_numpy()
            part["test"] = test
            part["statistic"] = f[f"statistic_{test}"].to_numpy()
            part["df"] = f[f"df_{test}"].to_numpy()
            part["pvalue"] = f[f"pvalue_{test}"].to_numpy()
            part["threshold"] = np.float32(self.thresholds[test])
            part["significant"] = f[f"significant_{test}"].to_numpy()
            parts.append(part)
        table = pd.concat(parts, ignore_index=True)
        table["test"] = pd.Categorical(table["test"], categories=TESTS, ordered=True)
        return table.sort_values(["frame", "test"], kind="stable").reset_index(drop=True)

    def summary(self):
        """The analysis at a glance: the settings, then per test the
        threshold, the significant frames and their share, the binomial
        p-value of so many significant frames if every frame were a draw at
        the false-alarm level (independent frames, no dependence: is there
        more than chance across the frames?), and the frames whose q-value
        lies below the false-alarm level (which frames are discoveries at
        that false discovery rate?); then the check for changing variance
        and the calibration warnings. Returns a Summary (str() the text,
        .table the numbers, HTML in a notebook)."""
        return Summary(self)

    def _repr_html_(self):
        return Summary(self)._repr_html_()
