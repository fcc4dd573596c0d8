# plot.vok_result: the p-values by frame (or by time) on a log scale with the
# thresholds, and the cross-correlations as a heat map; base graphics.

# The colours of the tests are the library's (as vok-plot and the Python
# plots draw them); filled points for the correlation tests and triangles
# for the bicorrelation tests.
.colours <- function() .vok_plot_style()$colours[.vok_graph_order()]
.symbols <- function() c(Cx = 20, Cy = 20, Cxy = 20, Hxxx = 17, Hyyy = 17, Hxxy = 17, Hyyx = 17)

# The lowest p-value the axis shows: a decade at or below the smallest
# positive p-value drawn, and 1e-4 at the highest. A p-value of 0 (beyond
# the 64-bit survival function) is drawn on that bottom line.
.lowest_pvalue <- function(p) {
  positive <- p[!is.na(p) & p > 0]
  smallest <- if (length(positive)) min(positive, 1e-4) else 1e-4
  10^floor(log10(smallest))
}

# The x positions of the frames: their start times when the start is a time
# (Date, POSIXct, a ts's times), else the frame numbers.
.frame_axis <- function(frames) {
  start <- frames$start
  if (!is.null(start) && (inherits(start, c("Date", "POSIXt")) || is.numeric(start)))
    return(list(at = start, label = "frame start"))
  list(at = frames$frame, label = "frame")
}

#' Plot a vok_result
#'
#' \code{which = "pvalues"} draws the p-values of the tests by frame (or by
#' the frames' start times when the series had a time index) on a log scale
#' down to the smallest p-value, each test in its own colour, with the
#' thresholds dashed and the significant frames circled. \code{which = "xy"}
#' draws the cross-correlations of the prewhitened x and y as a heat map,
#' frames by lags (red positive, blue negative). Either fills the current
#' panel of the device, so that \code{par(mfrow = ...)} or
#' \code{layout()} can put pictures side by side.
#'
#' @param x A \code{vok_result} from \code{\link{analyse}}.
#' @param which \code{"pvalues"} or \code{"xy"}.
#' @param tests The tests to draw (names of \code{vok_tests()}; default all).
#' @param ... Further graphical parameters for \code{plot} (p-values) or
#'   \code{image} (heat map).
#' @return \code{x}, invisibly.
#' @examples
#' data <- read.fwf(system.file("extdata", "example.dat", package = "vok"),
#'                  widths = c(12, 12), skip = 2, col.names = c("x", "y"))
#' result <- analyse(data$x, data$y, frame_length = 200, var_lag = 1, threads = 1)
#' plot(result)
#' old <- par(mfrow = c(1, 2))
#' plot(result, tests = c("Hxxy", "Cxy"))
#' plot(result, which = "xy")
#' par(old)
#' @export
plot.vok_result <- function(x, which = c("pvalues", "xy"), tests = NULL, ...) {
  if (!is.character(which) || length(which) < 1L || !(which[1L] %in% c("pvalues", "xy")))
    .refuse("which = ", .shown(which), ": must be \"pvalues\" or \"xy\"")
  if (which[1L] == "xy") .plot_xy(x, ...) else .plot_pvalues(x, tests, ...)
  invisible(x)
}

.plot_pvalues <- function(x, tests, ...) {
  every <- vok_tests()
  if (is.null(tests)) tests <- every
  unknown <- setdiff(tests, every)
  if (!is.character(tests) || length(unknown))
    .refuse("tests = ", .shown(tests), ": ", .shown(unknown[1L]), " is not one of ",
            paste(every, collapse = ", "))
  tests <- intersect(every, tests)
  frames <- x$frames
  axis <- .frame_axis(frames)
  few <- nrow(frames) <= 100
  pvalues <- lapply(stats::setNames(tests, tests), function(t) frames[[paste0("pvalue_", t)]])
  lowest <- .lowest_pvalue(unlist(pvalues))
  how <- if (x$bootstrapped) sprintf("thresholds (dashed) bootstrapped from %d resamples",
                                     x$settings$resamples)
         else sprintf("nominal threshold %s (dashed)", format(signif(x$thresholds[[1L]], 4)))
  # Room below the lowest decade for the legend: its lines' share of the
  # panel's height.
  columns <- if (length(tests) > 4L) 2L else 1L
  legend_lines <- ceiling(length(tests) / columns) + 2
  share <- min(0.5, legend_lines * 0.7 * graphics::par("csi") / graphics::par("pin")[2L])
  bottom <- log10(lowest) * (1 + share / (1 - share))
  graphics::plot(axis$at, rep(1, nrow(frames)), type = "n", log = "y",
                 ylim = c(10^bottom, 1), yaxt = "n", xlab = axis$label, ylab = "p-value",
                 main = "p-values by frame", ...)
  graphics::mtext(sprintf("%s and %s: %s", x$names[["x"]], x$names[["y"]], how), side = 3,
                  line = 0.25, cex = 0.75)
  decades <- 10^seq(log10(lowest), 0)
  graphics::axis(2, at = decades, labels = formatC(decades, format = "g"), las = 1,
                 cex.axis = 0.7)
  graphics::abline(h = decades, col = "#dddddd")
  if (!x$bootstrapped) graphics::abline(h = x$thresholds[[1L]], lty = 2, lwd = 1.5)
  for (test in tests) {
    p <- pmax(pvalues[[test]], lowest)
    significant <- frames[[paste0("significant_", test)]]
    colour <- .colours()[[test]]
    graphics::lines(axis$at, p, col = colour, type = if (few) "o" else "l",
                    pch = .symbols()[[test]], cex = 0.6)
    graphics::points(axis$at[significant], p[significant], col = colour,
                     cex = if (few) 2 else 1.2)
    if (x$bootstrapped) graphics::abline(h = x$thresholds[[test]], col = colour, lty = 2)
  }
  counts <- vapply(tests, function(t) sum(frames[[paste0("significant_", t)]]), 0L)
  graphics::legend("bottomleft", legend = sprintf("%s (%d)", tests, counts),
                   col = .colours()[tests], pch = .symbols()[tests], lty = 1, cex = 0.7,
                   ncol = columns, bg = "#ffffffcc",
                   title = "test (significant frames)", title.cex = 0.7)
}

.plot_xy <- function(x, ...) {
  frames <- x$frames
  axis <- .frame_axis(frames)
  lags <- -x$lags:x$lags
  values <- x$xy
  limit <- if (length(values)) max(abs(values), na.rm = TRUE) else 1
  if (!is.finite(limit) || limit <= 0) limit <- 1
  palette <- grDevices::hcl.colors(101, "Blue-Red 3")
  at <- if (nrow(frames) && is.numeric(unclass(axis$at))) as.numeric(axis$at) else frames$frame
  if (length(at) < 2L || any(diff(at) <= 0)) at <- frames$frame
  # Cell edges of the frames: the positions, with the last cell as wide as the one before.
  edges <- if (length(at) > 1L) c(at, at[length(at)] + diff(at)[length(at) - 1L]) else
    c(at - 0.5, at + 0.5)
  # The panel's margins, the right one wide enough for the colour key.
  mar <- graphics::par("mar")
  old <- graphics::par(mar = c(mar[1:3], max(mar[4L], 5)))
  on.exit(graphics::par(old))
  graphics::image(edges, c(lags - 0.5, lags[length(lags)] + 0.5), values, col = palette,
                  zlim = c(-limit, limit), xlab = axis$label, ylab = "lag", xaxt = "n",
                  main = "Cross-correlations by frame and lag", ...)
  graphics::mtext(sprintf("prewhitened %s and %s", x$names[["x"]], x$names[["y"]]), side = 3,
                  line = 0.25, cex = 0.75)
  if (inherits(axis$at, "Date")) graphics::axis.Date(1, as.Date(edges, origin = "1970-01-01"))
  else if (inherits(axis$at, "POSIXt")) graphics::axis.POSIXct(1, as.POSIXct(edges, origin = "1970-01-01"))
  else graphics::axis(1)
  # The colour key.
  key <- seq(-limit, limit, length.out = length(palette))
  usr <- graphics::par("usr")
  width <- (usr[2L] - usr[1L]) * 0.03
  left <- usr[2L] + width
  steps <- seq(usr[3L], usr[4L], length.out = length(palette) + 1L)
  graphics::rect(left, steps[-length(steps)], left + width, steps[-1L], col = palette,
                 border = NA, xpd = NA)
  graphics::text(left + 1.5 * width, c(usr[3L], (usr[3L] + usr[4L]) / 2, usr[4L]),
                 labels = format(c(-limit, 0, limit), digits = 2), adj = 0, xpd = NA, cex = 0.7)
  invisible(key)
}
