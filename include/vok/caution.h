// Cautions: what an analysis' frames say about how far its counts can be
// read as the dependence the tests look for. Part of <vok/vok.h>; each
// client renders them (the console program on a terminal and in its
// results file, the Python and R packages as warnings).
//
// A caution never calls a count spurious: it names the other cause that
// could give the same counts and the setting that tells the two apart.
#pragma once

#include <string>

// What libvok.so exports (also defined by vok.h).
#ifndef VOK_API
#if defined(__GNUC__)
#define VOK_API __attribute__((visibility("default")))
#else
#define VOK_API
#endif
#endif

namespace vok {

enum class CautionKind {
  // A VAR fit without a constant left a level in the residuals: the tests
  // see the level as dependence (the correlation tests first). Advice:
  // a fit with a constant.
  level,
  // A series changes its variance (McLeod-Li on the prewhitened series, so
  // that linear autocorrelation is not taken for it), and is not clipped:
  // the bicorrelation tests fire on changing variance as they fire on
  // nonlinear dependence. Advice: transform clip.
  changing_variance,
  // var_lag 0 and a correlation test (Cx, Cy) far above its level: linear
  // autocorrelation is left in the series the tests see, and the
  // bicorrelation tests respond to it too. Advice: var_lag >= 1.
  autocorrelation,
  // x and y correlated at lag 0, judged against thresholds that do not
  // know it (nominal, or the data bootstrap, which draws x and y apart):
  // the cross tests respond to it. Advice: bootstrap frames.
  lag0_correlation,
  // Clipped series with the data bootstrap: its thresholds come from
  // unclipped resamples. Advice: bootstrap frames.
  clip_data_bootstrap,
  // Frames whose x or y is constant (or not finite): no test is computed
  // in them.
  constant_frames,
};

// "level", "changing_variance", "autocorrelation", "lag0_correlation",
// "clip_data_bootstrap", "constant_frames".
VOK_API const char* name(CautionKind kind);

struct Caution {
  CautionKind kind = CautionKind::level;
  // The series it concerns: "x", "y", or "" for the pair (lag-0 correlation,
  // clipping with the data bootstrap, constant frames).
  std::string series;
  // Frames the figure is judged over and those that show it: frames with
  // the check significant (changing variance, level, lag-0 correlation),
  // frames with the correlation test significant (autocorrelation),
  // constant frames (constant_frames); 0 and 0 for clip_data_bootstrap.
  int frames = 0;
  int count = 0;
  // The figure behind it: count / frames, except the mean lag-0
  // correlation (lag0_correlation) and the mean residual level in residual
  // standard deviations (level); 0 for clip_data_bootstrap.
  double figure = 0.0;
  // P(at least `count` of `frames`) at the false-alarm level, the chance of
  // so many frames if the cause were absent (1 where it does not apply).
  double binomial_pvalue = 1.0;
  // The setting that tells the causes apart, as "setting=value" with the
  // names of vok::Settings: "trend=c", "transform=clip", "var_lag=1",
  // "bootstrap=frames"; empty for constant_frames.
  std::string advice;
  // One sentence that says all of the above.
  std::string message;
};

}  // namespace vok
