# plot.vok_result: the p-values by frame (or by time) on a log scale with the
# thresholds, and the cross-correlations as a heat map; base graphics.

# The panels and colours of the p-value picture.
.panels <- function() {
  order <- .vok_graph_order()
  list("Bicorrelation tests" = order[1:4], "Correlation tests" = order[5:7])
}
.colours <- function() {
  stats::setNames(c("#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e", "#8c564b", "#e377c2"),
                  .vok_graph_order())
}
# A p-value of 0 (or below this) is drawn at the bottom line.
.smallest_pvalue <- 0.00005

# The x positions of the frames: their start times when the start is a time
# (Date, POSIXct, a ts's times), else the frame numbers.
.frame_axis <- function(frames) {
  start <- frames$start
  if (!is.null(start) && (inherits(start, c("Date", "POSIXt")) || is.numeric(start)))
    return(list(at = start, label = "frame start"))
  list(at = frames$frame, label = "frame")
}

.title <- function(x, what) {
  how <- if (x$bootstrapped) paste(x$settings$resamples, "resamples: bootstrapped thresholds")
         else "nominal false alarm threshold"
  sprintf("%s of %s and %s (%s)", what, x$names[["x"]], x$names[["y"]], how)
}

#' Plot a vok_result
#'
#' \code{which = "pvalues"} draws the p-values of the tests by frame (or by
#' the frames' start times when the series had a time index) on a log scale,
#' the bicorrelation tests above the correlation tests, with the thresholds
#' dashed and the significant frames circled. \code{which = "xy"} draws the
#' cross-correlations of the prewhitened x and y as a heat map, frames by
#' lags (red positive, blue negative).
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
#' plot(result, tests = c("Hxxy", "Cxy"))
#' plot(result, which = "xy")
#' @export
plot.vok_result <- function(x, which = c("pvalues", "xy"), tests = NULL, ...) {
  if (!is.character(which) || length(which) < 1L || !(which[1L] %in% c("pvalues", "xy")))
    .refuse("which = ", .shown(which), ": must be \"pvalues\" or \"xy\"")
  if (which[1L] == "xy") .plot_xy(x, ...) else .plot_pvalues(x, tests, ...)
  invisible(x)
}

.plot_pvalues <- function(x, tests, ...) {
  every <- unlist(.panels(), use.names = FALSE)
  if (is.null(tests)) tests <- every
  unknown <- setdiff(tests, every)
  if (!is.character(tests) || length(unknown))
    .refuse("tests = ", .shown(tests), ": ", .shown(unknown[1L]), " is not one of ",
            paste(every, collapse = ", "))
  panels <- Filter(length, lapply(.panels(), intersect, tests))
  frames <- x$frames
  axis <- .frame_axis(frames)
  few <- nrow(frames) <= 100
  old <- graphics::par(mfrow = c(length(panels), 1L), mar = c(4, 4, 3, 9), oma = c(0, 0, 2, 0))
  on.exit(graphics::par(old))
  ticks <- c(.smallest_pvalue, 1e-4, 1e-3, 1e-2, 1e-1, 1)
  for (title in names(panels)) {
    chosen <- panels[[title]]
    graphics::plot(axis$at, rep(1, nrow(frames)), type = "n", log = "y",
                   ylim = c(.smallest_pvalue * 0.6, 1.5), yaxt = "n", xlab = axis$label,
                   ylab = "p-value (log scale)", main = title, ...)
    graphics::axis(2, at = ticks, labels = c("< 0.0001", "0.0001", "0.001", "0.01", "0.1", "1"),
                   las = 1, cex.axis = 0.7)
    graphics::abline(h = ticks, col = "#dddddd")
    legend_text <- character()
    legend_colour <- character()
    legend_lty <- integer()
    for (test in chosen) {
      p <- frames[[paste0("pvalue_", test)]]
      p <- ifelse(is.na(p), NA, pmax(p, .smallest_pvalue))
      significant <- frames[[paste0("significant_", test)]]
      colour <- .colours()[[test]]
      graphics::lines(axis$at, p, col = colour, type = if (few) "o" else "l", pch = 20,
                      cex = 0.6)
      graphics::points(axis$at[significant], p[significant], col = colour,
                       cex = if (few) 2 else 1.2)
      legend_text <- c(legend_text, sprintf("%s (%d significant)", test, sum(significant)))
      legend_colour <- c(legend_colour, colour)
      legend_lty <- c(legend_lty, 1L)
      if (x$bootstrapped) {
        graphics::abline(h = x$thresholds[[test]], col = colour, lty = 2, lwd = 1.5)
        legend_text <- c(legend_text, sprintf("%s threshold %.4f", test, x$thresholds[[test]]))
        legend_colour <- c(legend_colour, colour)
        legend_lty <- c(legend_lty, 2L)
      }
    }
    if (!x$bootstrapped) {
      threshold <- x$thresholds[[1L]]
      graphics::abline(h = threshold, lty = 2, lwd = 1.5)
      legend_text <- c(legend_text, sprintf("threshold %.4f", threshold))
      legend_colour <- c(legend_colour, "black")
      legend_lty <- c(legend_lty, 2L)
    }
    graphics::legend("topleft", inset = c(1.01, 0), xpd = NA, legend = legend_text,
                     col = legend_colour, lty = legend_lty, cex = 0.7, bty = "n")
  }
  graphics::mtext(.title(x, "p-values by frame"), outer = TRUE, cex = 0.9)
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
  old <- graphics::par(mar = c(4, 4, 3, 6))
  on.exit(graphics::par(old))
  graphics::image(edges, c(lags - 0.5, lags[length(lags)] + 0.5), values, col = palette,
                  zlim = c(-limit, limit), xlab = axis$label, ylab = "lag", xaxt = "n",
                  main = sprintf("Cross-correlations of %s and %s by frame and lag",
                                 x$names[["x"]], x$names[["y"]]), ...)
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
