#pragma once
// What the View dialog is handed to show a section, so that it never reaches back into the main window:
// the section, its record as the list shows it, the port of the last Reload, where progress goes and
// how its bytes are read.
#include "SectionTable.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

struct ViewRequest {
    int slot = -1;
    SectionRecord record;
    uint8_t port = 0;
    std::function<void(const QString&)> setActivity; // the main window's activity panel
    // Reads the whole section into a buffer of kTransferBufferSize bytes and gives the count as the link
    // returned it; nothing when the phone could not be put into GBP mode.
    std::function<std::optional<int32_t>(uint8_t* buffer)> read;
};

class SectionViewer {
  public:
    virtual ~SectionViewer() = default;
    // Reads the section and shows it; returns once the user has closed it (or at once when it could
    // not be read).
    virtual void view(const ViewRequest& request) = 0;
};
