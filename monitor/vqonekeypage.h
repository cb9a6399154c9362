#pragma once
// The page one-key print sends: the PC's screen in grayscale, turned upright,
// fitted into the box and centred on a white A4 canvas at 600 dpi, as PNG.

#include <QByteArray>
#include <QImage>
#include <QSize>

constexpr int vqPageWidth = 4960;
constexpr int vqPageHeight = 7014;
constexpr int vqFitWidth = 4800;
constexpr int vqFitHeight = 6854;

// The size an upright w x h picture takes in the fit box, rounded in integer
// arithmetic; invalid (a side below 1) when the picture is degenerate.
QSize vqPageFit(int w, int h);

// The grab in gray, upright and scaled to its fitted size (its pixels may be
// 32-bit with equal channels); null for a null or degenerate grab.
QImage vqPagePicture(const QImage& grab);

// The deflate level of the page's PNG. The upload, not the encoding, is what
// the user waits for: at USB full speed 6 stores the page soonest (bench_pnglevel).
constexpr int vqPagePngLevel = 6;

// The white canvas with the picture centred (halves truncated), as 8-bit
// grayscale PNG bytes; empty for a null picture or on failure.
QByteArray vqPagePng(const QImage& picture, int level = vqPagePngLevel);
