#pragma once
// Keeping a fixed text colour readable on a background that follows the user's palette (a dark theme).
#include <QColor>

// The contrast ratio of two colours from their relative luminance (as WCAG defines it): 1 to 21.
double contrastRatio(const QColor& a, const QColor& b);

// `wanted` where it reads on `background` (a ratio of at least 4.5); otherwise `wanted` mixed towards
// white or black, whichever the background needs, just far enough to read.
QColor readableOn(const QColor& wanted, const QColor& background);
