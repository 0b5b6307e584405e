#pragma once
// What the View dialog is handed to show a section, so that it never reaches back into the main window:
// the section, its record as the list shows it, the port of the last Reload and where progress goes.
#include "SectionTable.h"

#include <QString>
#include <functional>

struct ViewRequest {
    int slot = -1;
    SectionRecord record;
    uint8_t port = 0;
    std::function<void(const QString&)> setActivity; // the main window's activity panel
};

class SectionViewer {
  public:
    virtual ~SectionViewer() = default;
    // Reads the section and shows it; returns once the user has closed it (or at once when it could
    // not be read).
    virtual void view(const ViewRequest& request) = 0;
};
