#pragma once
// What the section controller needs of the window it serves: where its texts and results show. The main
// window implements it; a test can stand in a recorder.
#include <QString>
#include <cstdint>

class SectionWindow {
  public:
    virtual ~SectionWindow() = default;
    // The activity panel's text; now repaints it at once (an operation keeps the GUI thread busy).
    virtual void showActivity(const QString& text, bool now) = 0;
    // The side panel's total data size.
    virtual void showTotal(int64_t total) = 0;
    // Whether the list can be used: a Reload reached the phone.
    virtual void showConnected(bool connected) = 0;
    // While a Reload scans, Reload itself is disabled.
    virtual void showScanning(bool scanning) = 0;
    // The side panel, status and buttons again for the selected section (its record has changed).
    virtual void showSelection() = 0;
    // A file dialog was answered: its folder is worth remembering.
    virtual void foldersChosen() = 0;
};
