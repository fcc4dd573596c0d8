"""vok.analyse: the arguments checked and converted, the analysis run by the
extension module, the result wrapped in a Result."""

from __future__ import annotations

import numbers
import re
from collections.abc import Sequence
from typing import Literal, Optional

import numpy as np
import pandas as pd

from . import _vok
from ._result import Result

_UINT64_MAX = 2**64 - 1

# The share of a series' spread that its rounding to 32 bits may cost before
# PrecisionWarning: the root mean square of the rounding errors against the
# standard deviation. Data near their own scale lose about 1e-7 of it; a level
# far from zero (1e8 + x) loses all of it.
_PRECISION_LOST = 1e-4


class PrecisionWarning(UserWarning):
    """The conversion of a series to 32-bit floats (as the analysis reads
    every value, and the console program a data file's) lost more than
    1e-4 of the series' spread: the series lies far from zero against its
    variation (a price level, a time in seconds since 1970). Subtract the
    mean (x - x.mean()) before the call: the tests with trend="c" (or
    without a VAR fit) do not depend on the level, and 32 bits then keep the
    variation."""


class CalibrationWarning(UserWarning):
    """The counts of significant frames may answer another cause than the
    dependence the tests look for. Each cause has its own subclass, and its
    text says which other cause could give the same counts, with the setting
    that tells the two apart (Result.cautions holds the same as a table).
    See docs/validation.md."""


class LevelWarning(CalibrationWarning):
    """A VAR fit without a constant left a level in the residuals, which the
    tests see as dependence: fit with a constant (trend="c")."""


class ChangingVarianceWarning(CalibrationWarning):
    """A series changes its variance (McLeod-Li on the prewhitened series)
    and is not clipped: the bicorrelation tests fire on changing variance as
    on nonlinear dependence. Counts that stay with transform="clip" point to
    dependence."""


class AutocorrelationWarning(CalibrationWarning):
    """No VAR fit (var_lag=0) and a correlation test (Cx, Cy) far above its
    level: linear autocorrelation is left in the series, and the
    bicorrelation tests respond to it. Prewhiten with var_lag=1 or more."""


class Lag0CorrelationWarning(CalibrationWarning):
    """x and y are correlated at lag 0 and the thresholds (nominal, or the
    data bootstrap) take them apart: the cross tests respond to it.
    bootstrap="frames" keeps it in the resamples."""


class ClipBootstrapWarning(CalibrationWarning):
    """Clipped series with the data bootstrap, whose thresholds come from
    unclipped resamples: pass bootstrap="frames"."""


class ConstantFramesWarning(CalibrationWarning):
    """Frames whose x or y is constant: no test is computed in them, and
    none counts as significant."""


#: The warning class of each kind of caution (Result.cautions["kind"]).
CAUTION_WARNINGS = {
    "level": LevelWarning,
    "changing_variance": ChangingVarianceWarning,
    "autocorrelation": AutocorrelationWarning,
    "lag0_correlation": Lag0CorrelationWarning,
    "clip_data_bootstrap": ClipBootstrapWarning,
    "constant_frames": ConstantFramesWarning,
}


def warn_cautions(cautions, stacklevel, prefix=""):
    """Raises each caution of a Result.cautions table as its warning class,
    `stacklevel` frames above the caller (prefix: what names the pair)."""
    import warnings

    for kind, message in zip(cautions["kind"], cautions["message"]):
        warnings.warn(prefix + message, CAUTION_WARNINGS.get(kind, CalibrationWarning),
                      stacklevel=stacklevel + 1)


def _to_32_bits(name, values):
    """values as contiguous float32, with PrecisionWarning when the rounding
    costs the series its variation (float32 input is passed on as it is)."""
    if values.dtype == np.float32:
        return values
    with np.errstate(over="ignore"):
        converted = np.ascontiguousarray(values, dtype=np.float32)
    # A finite value the rounding makes infinite is refused as it was given.
    beyond = np.flatnonzero(np.isinf(converted) & np.isfinite(values))
    if beyond.size:
        i = int(beyond[0])
        raise ValueError(f"{name}[{i}] = {float(values[i])!r} is beyond the range of 32-bit reals")
    wide = values.astype(np.float64, copy=False)
    with np.errstate(all="ignore"):
        spread = float(np.std(wide))
        lost = float(np.sqrt(np.mean(np.square(wide - converted.astype(np.float64)))))
    if np.isfinite(spread) and np.isfinite(lost) and spread > 0 and lost > _PRECISION_LOST * spread:
        import warnings

        warnings.warn(f"{name}: its rounding to 32-bit floats costs {lost / spread:.2g} of its "
                      f"standard deviation (values near {float(np.mean(wide)):.6g}, spread "
                      f"{spread:.3g}); subtract its mean before the analysis",
                      PrecisionWarning, stacklevel=5)
    return converted


def _whole(name, value, minimum=None):
    """A setting that must be a whole number (bools are refused)."""
    if isinstance(value, bool) or not isinstance(value, numbers.Integral):
        raise ValueError(f"{name} = {value!r}: must be a whole number")
    value = int(value)
    if minimum is not None and value < minimum:
        raise ValueError(f"{name} = {value}: must be at least {minimum}")
    if not -2**31 <= value <= 2**31 - 1:
        raise ValueError(f"{name} = {value}: is out of range")
    return value


def _real(name, value):
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise ValueError(f"{name} = {value!r}: must be a number")
    return float(value)


def threads_setting(threads):
    """threads as the extension takes it: None (every core) is 0."""
    return 0 if threads is None else _whole("threads", threads, minimum=1)


def seed_setting(seed):
    """seed as the extension takes it: None is the default stream, 0."""
    if seed is None:
        return 0
    if isinstance(seed, bool) or not isinstance(seed, numbers.Integral) or not (
            0 <= int(seed) <= _UINT64_MAX):
        raise ValueError(f"seed = {seed!r}: must be a whole number from 0 to 2**64 - 1")
    return int(seed)


def missing_setting(missing):
    """missing as the extension takes it: None (a NaN is refused), "drop" or
    "split"."""
    if missing not in ("raise", "drop", "split"):
        raise ValueError(f"missing = {missing!r}: must be 'raise', 'drop' or 'split'")
    return None if missing == "raise" else missing


def bootstrap_setting(bootstrap):
    """bootstrap as the extension takes it: "data" or "frames"."""
    if bootstrap not in ("data", "frames"):
        raise ValueError(f"bootstrap = {bootstrap!r}: must be 'data' or 'frames'")
    return bootstrap


def trend_setting(trend):
    """trend as the extension takes it: "n" or "c"."""
    if trend not in ("n", "c"):
        raise ValueError(f"trend = {trend!r}: must be 'n' or 'c'")
    return trend


def _settings(frame_length, exponent, false_alarm, overlap, var_lag, resamples, transform,
              threads, seed, bootstrap, trend="c"):
    """The keyword arguments as the extension takes them (type errors become
    ValueError naming the setting; the library checks the bounds)."""
    if transform is not None and transform not in ("clip", "log"):
        raise ValueError(f"transform = {transform!r}: must be None, 'clip' or 'log'")
    return dict(
        frame_length=_whole("frame_length", frame_length),
        exponent=_real("exponent", exponent),
        false_alarm=_real("false_alarm", false_alarm),
        overlap=_whole("overlap", overlap),
        var_lag=_whole("var_lag", var_lag),
        resamples=_whole("resamples", resamples),
        bootstrap=bootstrap_setting(bootstrap),
        trend=trend_setting(trend),
        transform=transform,
        threads=threads_setting(threads),
        seed=seed_setting(seed),
    )


def _label(value):
    """An index label as a message shows it: times as written, others as Python."""
    return str(value) if isinstance(value, (pd.Timestamp, pd.Period)) else repr(value)


def _paired(x, y, align):
    """x and y as pandas pairs them: two Series must share their index (the
    first label that differs is named), or with align="inner" are aligned on
    the labels they share. Returns (x, y, index): the index of the rows
    analysed when one of them is a Series, else None."""
    if align not in (None, "inner"):
        raise ValueError(f"align = {align!r}: must be None or 'inner'")
    if isinstance(x, pd.Series) and isinstance(y, pd.Series):
        if align == "inner":
            x, y = x.align(y, join="inner")
        elif not x.index.equals(y.index):
            if len(x) != len(y):
                raise ValueError(f"x and y must share their index: x has {len(x)} rows and y "
                                 f"{len(y)} (align='inner' aligns them on their common labels)")
            differ = np.flatnonzero(np.asarray(x.index != y.index))
            at = int(differ[0]) if len(differ) else 0
            raise ValueError(f"x and y must share their index: row {at} is "
                             f"{_label(x.index[at])} in x and {_label(y.index[at])} in y "
                             "(align='inner' aligns them on their common labels)")
        return x, y, x.index
    for s in (x, y):
        if isinstance(s, pd.Series):
            return x, y, s.index
    return x, y, None


def _index_stamps(index):
    """Datetimes from a DatetimeIndex or PeriodIndex (None otherwise)."""
    if isinstance(index, pd.DatetimeIndex):
        return index
    if isinstance(index, pd.PeriodIndex):
        return index.to_timestamp()
    return None


def _said_in_python(error, index):
    """The library's reason (no C++ name), the value it refused (the series
    and position the error carries) also named by its index label."""
    message = str(error)
    if re.search(r"\b[xy]\[\d+\] = nan is not a finite number", message):
        message += (": pass missing='drop' or missing='split' to leave out the rows where x "
                    "or y is NaN")
    series, position = getattr(error, "series", None), getattr(error, "index", None)
    positions_are_labels = isinstance(index, pd.RangeIndex) and index.start == 0 and index.step == 1
    if (index is not None and not positions_are_labels and series in ("x", "y")
            and position is not None and 0 <= position < len(index)):
        place = f"{series}[{position}]"
        message = message.replace(place, f"{place} (label {_label(index[position])})", 1)
    return message


def _series(name, values):
    """x or y as a numpy array of numbers (a contiguous float32 array is
    passed on as it is, and the extension uses it without a copy)."""
    if np.ndim(values) == 0 and not isinstance(values, (pd.Series, pd.Index, np.ndarray)):
        raise ValueError(f"{name} must be a one-dimensional array of numbers; it is a "
                         f"{type(values).__name__}")
    if isinstance(values, (pd.Series, pd.Index)):
        if isinstance(values.dtype, np.dtype):
            values = values.to_numpy()
        else:
            # pandas' own dtypes (Float64, Int64, ...): a missing value is NaN.
            try:
                values = values.to_numpy(dtype=np.float64, na_value=np.nan)
            except (TypeError, ValueError):
                values = values.to_numpy()
    elif not isinstance(values, np.ndarray):
        values = np.asarray(values)
    if values.dtype.kind not in "biuf":
        raise ValueError(f"{name} must hold numbers; its dtype is {values.dtype}")
    if values.ndim != 1:
        return values  # the extension names the shape
    return _to_32_bits(name, values)


def _stamps(stamps, rows):
    """Stamps as strings for the library, or as datetimes kept in Python.

    Returns (strings or None, datetimes or None)."""
    if stamps is None:
        return None, None
    if isinstance(stamps, pd.Series):
        stamps = stamps.to_numpy()
    if isinstance(stamps, pd.DatetimeIndex) or (
            isinstance(stamps, np.ndarray) and stamps.dtype.kind == "M"):
        times = pd.DatetimeIndex(stamps)
        if rows is not None and len(times) != rows:
            raise ValueError(f"stamps: {len(times)} stamps for {rows} rows of x and y")
        return None, times
    strings = [str(s) for s in stamps]
    return strings, None


def analyse(x: "np.typing.ArrayLike | pd.Series", y: "np.typing.ArrayLike | pd.Series", *,
            frame_length: int, exponent: float = 0.4, false_alarm: float = 0.05,
            overlap: int = 0, var_lag: int = 0, resamples: int = 0,
            bootstrap: Literal["data", "frames"] = "data",
            trend: Literal["c", "n"] = "c",
            transform: Optional[Literal["clip", "log"]] = None,
            stamps: "pd.DatetimeIndex | Sequence[str] | None" = None,
            threads: Optional[int] = None, seed: Optional[int] = None,
            align: Optional[Literal["inner"]] = None,
            missing: Literal["raise", "drop", "split"] = "raise") -> Result:
    """Tests x and y frame by frame for serial and cross dependence.

    x, y: 1-D array-likes of equal length (numpy arrays, pandas Series,
        lists), converted to 32-bit floats as a data file's values are; a
        contiguous float32 array is used without a copy.
    frame_length: observations per frame (at least 12).
    exponent: lags per frame = frame_length ** exponent (0.01 < exponent <= 0.5).
    false_alarm: the p-value threshold of every test (with resamples=0) and
        the level of the bootstrapped thresholds.
    overlap: 0 for frames end to end, else a new frame every `overlap` rows.
    var_lag: order of the VAR prewhitening fit in each frame (0: none).
    resamples: bootstrap resamples for the thresholds (0: the nominal level).
    bootstrap: what each resample goes through: "data" (the console
        program's default) draws frame-length pairs from the raw x and y and
        tests them; "frames" puts each pair through what a frame goes
        through (the VAR fit of order var_lag, clipping with
        transform="clip", then the tests), so that the thresholds calibrate
        the frames' own statistics. See docs/validation.md.
    trend: the VAR fit's deterministic term (with var_lag >= 1): "c" (the
        default) fits a constant with the coefficients, so that a series'
        level does not reach the tests; "n" fits none, as the console
        program does by default (its --trend c fits one): trend="n"
        reproduces the console program's results.
    transform: None, "clip" (VAR residuals clipped to +1/-1) or "log"
        (natural logarithms of x and y, which must be positive).
    stamps: optional stamps, one per observation (a pandas DatetimeIndex, or
        strings), giving each frame a start and an end. By default, the
        DatetimeIndex or PeriodIndex of x or y when they are Series.
    threads: threads to use (None: every core); the results do not depend on it.
    seed: seed of the bootstrap's random stream (None: the fixed default,
        which the console program's first run uses).
    align: two Series must share their index (ValueError naming the first
        label that differs); align="inner" aligns them on the labels they
        share, as pandas' Series.align(join="inner").
    missing: what a NaN in x or y does. "raise" (the default): ValueError
        naming its row. "drop": the rows where x or y is NaN are left out
        and the rows kept are cut into frames as one series, so a frame may
        span the rows left out (as a panel whose series start at different
        times needs). "split": the rows are left out and no frame spans
        them: the frames restart after each gap, each run of rows between
        missing ones cut into frames of its own (rows at a run's end that
        fill no frame are not tested). With either, frames.rows_dropped
        counts the rows left out inside each frame, first_row and last_row
        (and start and end) are those of x and y as given (missing rows
        counted: x.index[first_row - 1] is the label of a Series), rows
        counts the rows kept, and the descriptive statistics and the
        bootstrapped thresholds are taken over the rows kept, the same
        under both policies.

    Returns a Result; Result.names holds the Series' names (x.name, y.name).
    Each of Result.cautions is raised as its subclass of CalibrationWarning
    (changing variance, autocorrelation left without a VAR fit, lag-0
    correlation, clipping with the data bootstrap, constant frames). A bad
    setting, x and y of unequal length or too short for one frame (of the
    rows kept), a value that is infinite, or NaN with missing="raise", raise
    ValueError (naming the index label of a Series).
    """
    result = analyse_quietly(x, y, frame_length=frame_length, exponent=exponent,
                             false_alarm=false_alarm, overlap=overlap, var_lag=var_lag,
                             resamples=resamples, bootstrap=bootstrap, trend=trend,
                             transform=transform, stamps=stamps, threads=threads, seed=seed,
                             align=align, missing=missing)
    warn_cautions(result.cautions, stacklevel=2)
    return result


def analyse_quietly(x, y, *, frame_length, exponent=0.4, false_alarm=0.05, overlap=0,
                    var_lag=0, resamples=0, bootstrap="data", trend="c", transform=None,
                    stamps=None, threads=None, seed=None, align=None, missing="raise"):
    """vok.analyse without raising the cautions (Result.cautions holds them)."""
    settings = _settings(frame_length, exponent, false_alarm, overlap, var_lag, resamples,
                         transform, threads, seed, bootstrap, trend)
    policy = missing_setting(missing)
    x, y, index = _paired(x, y, align)
    names = (getattr(x, "name", None), getattr(y, "name", None))
    if stamps is None and index is not None:
        stamps = _index_stamps(index)
    try:
        x = _series("x", x)
        y = _series("y", y)
    except ValueError as error:
        raise ValueError(_said_in_python(error, index)) from None
    # Unequal x and y are the library's to report, before any stamp count.
    rows = len(x) if hasattr(x, "__len__") and hasattr(y, "__len__") and len(x) == len(y) else None
    stamp_strings, stamp_times = _stamps(stamps, rows)
    try:
        arrays = _vok.analyse(x, y, stamps=stamp_strings, missing=policy, **settings)
    except ValueError as error:
        raise ValueError(_said_in_python(error, index)) from None
    echo = dict(settings)
    echo["exponent"] = float(np.float32(settings["exponent"]))
    echo["false_alarm"] = float(np.float32(settings["false_alarm"]))
    echo["threads"] = threads
    echo["missing"] = missing
    result = Result.from_arrays(arrays, echo, stamps=stamp_times,
                                stamped=stamp_times is not None or stamp_strings is not None)
    result.names = names
    return result
