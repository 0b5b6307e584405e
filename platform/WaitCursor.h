#pragma once
// The wait cursor while the program works and takes no input (a blocking call to the phone): shown for
// the object's lifetime and restored on every way out, an exception included. A dialog shown meanwhile
// through QtDialogs gets the ordinary arrow.
#include <QCursor>
#include <QGuiApplication>

class WaitCursor {
  public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};
