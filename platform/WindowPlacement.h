#pragma once
// Where a dialog opens: centred over its owner, moved as little as needed to lie within the screen's
// available area (a dialog wider than a window near the screen's edge would otherwise open off screen).
#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

// Top-left corner for a window of frame size `frame` centred over `over` and kept inside `available`;
// a window larger than `available` keeps its top-left corner inside it.
QPoint centredWithin(QSize frame, const QRect& over, const QRect& available);

// Moves the dialog (before it shows) centred over its owner's window, inside the owner's screen.
void centreOnOwner(QWidget& dialog);
