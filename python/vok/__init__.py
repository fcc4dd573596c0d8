"""vok: moving-frame tests of serial and cross dependence beyond a linear model.

Two series are cut into frames, each frame is prewhitened with a VAR fit, and
seven portmanteau tests (Cx, Cy, Cxy and the bicorrelation tests Hxxx, Hyyy,
Hxxy, Hyyx) give each frame a p-value per test::

    import vok
    result = vok.analyse(x, y, frame_length=200, var_lag=1)
    result.frames          # pandas DataFrame, one row per frame
    result.thresholds      # the p-value threshold of each test
    result.counts          # significant frames per test
    result.plot()          # p-values by frame (matplotlib)

    results = vok.run("examples")   # a directory holding Runvok.cnl, as the console program

    pairs = vok.analyse_pairs(panel, frame_length=200)   # every pair of a DataFrame's columns
    pairs.frames               # one long DataFrame: x, y, frame, then Result.frames's columns

The seven tests' names, in the library's orders (tuples of names):

- ``TESTS`` and ``COLUMN_ORDER``: Cx, Cy, Cxy, Hxxx, Hyyy, Hxxy, Hyyx, the
  order of every per-test column and index of the tables (and of NAME.csv);
- ``TEST_ORDER``: Hxxy, Hyyx, Hxxx, Hyyy, Cx, Cy, Cxy, the order of the
  thresholds in a report (NAME.out);
- ``GRAPH_ORDER``: Hxxy, Hyyx, Hxxx, Hyyy, Cxy, Cx, Cy, the order of the CDF
  values of a graph record (NAME.graph).

The package's modules, for code that builds on it:

- ``vok._vok``: the extension module over the C++ library (numpy in, dicts of
  numpy arrays out);
- ``vok._analysis``: :func:`analyse`, which checks and converts the arguments;
- ``vok._result``: :class:`Result`, the pandas tables built from the
  extension's dict (``Result.from_arrays``);
- ``vok._plot``: :meth:`Result.plot`;
- ``vok._run``: :func:`run`;
- ``vok._pairs``: :func:`analyse_pairs` and :class:`PairResults`, locally or
  on a Dask cluster.
"""

from ._analysis import (AutocorrelationWarning, CalibrationWarning, ChangingVarianceWarning,
                        ClipBootstrapWarning, ConstantFramesWarning, Lag0CorrelationWarning,
                        LevelWarning, PrecisionWarning, analyse)
from ._pairs import ClusterError, PairError, PairResults, analyse_pairs
from ._result import TESTS, Result
from ._run import RunError, run
from ._vok import COLUMN_ORDER, GRAPH_ORDER, TEST_ORDER

__all__ = ["analyse", "analyse_pairs", "run", "Result", "PairResults", "PairError", "ClusterError",
           "RunError", "PrecisionWarning", "CalibrationWarning", "LevelWarning",
           "ChangingVarianceWarning", "AutocorrelationWarning", "Lag0CorrelationWarning",
           "ClipBootstrapWarning", "ConstantFramesWarning", "TESTS", "COLUMN_ORDER",
           "TEST_ORDER", "GRAPH_ORDER"]
__version__ = "1.0.0"
