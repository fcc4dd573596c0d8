"""Types of the extension module vok._vok (python/src/module.cpp), for type
checkers: the module is compiled, so its signatures are written here."""

from typing import Any, Dict, List, Optional, Sequence, Tuple

import numpy as np
import numpy.typing as npt

TESTS: Tuple[str, ...]
COLUMN_ORDER: Tuple[str, ...]
TEST_ORDER: Tuple[str, ...]
GRAPH_ORDER: Tuple[str, ...]
BICORRELATION_TESTS: Tuple[str, ...]
COLOURS: Dict[str, str]
SMALLEST_PVALUE_DRAWN: float
VERSION: str
TRANSFORMS: Tuple[str, ...]
BOOTSTRAPS: Tuple[str, ...]


def analyse(x: npt.ArrayLike, y: npt.ArrayLike, frame_length: int, exponent: float,
            false_alarm: float, overlap: int, var_lag: int, resamples: int,
            transform: Optional[str], threads: int, seed: int,
            stamps: Optional[List[str]], bootstrap: str = ..., trend: str = ...,
            missing: Optional[str] = ...) -> Dict[str, Any]: ...


def lags(frame_length: int, exponent: float) -> int: ...


def frame_plan(rows: int, frame_length: int, exponent: float, overlap: int) -> Tuple[int, int]:
    ...


def reported_thresholds(thresholds: Sequence[float], bootstrapped: bool) -> List[float]: ...


def binomial_upper_tail(k: int, n: int, p: float) -> float: ...


def summarise(counts: Sequence[int], qvalue: npt.ArrayLike,
              false_alarm: float) -> Dict[str, np.ndarray]: ...


def input_address(x: npt.ArrayLike) -> int: ...
