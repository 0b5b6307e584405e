#pragma once
// The report of the checks of the chain to the phone (Doctor.h) in a window: a read-only box in a
// fixed-pitch font, "Copy" (the whole report to the clipboard) and "Close". The checks run on a thread of
// their own, so the window keeps answering while Wine starts; the window never probes the phone.
//
// Opened from the list's context menu:
//   DoctorDialog dialog(Doctor::setupFor(backend.choice, port), backend.bridge(), this);
//   dialog.exec();
#include "Doctor.h"

#include <QDialog>
#include <QString>
#include <atomic>

class BridgeLink;
class QPlainTextEdit;
class QPushButton;
class QThread;

class DoctorDialog : public QDialog {
    Q_OBJECT
  public:
    // Starts setup's checks at once (setup.probe is ignored). The bridge line tells liveBridge's state
    // (ready, still starting, or failed with its last error) instead of starting a second bridge; null
    // with the virtual phone. liveBridge is read here, on the GUI thread, and not kept.
    DoctorDialog(DoctorSetup setup, BridgeLink* liveBridge, QWidget* parent = nullptr);
    // Ends the checks still running (a Wine program among them is killed) and waits for their thread.
    ~DoctorDialog() override;

    // What the box shows: "Checking ..." until the report is in.
    QString text() const;
    bool isDone() const { return done_; }

  signals:
    // The report is in the box.
    void reportReady();

  private:
    void showReport(const QString& report);

    QPlainTextEdit* box_ = nullptr;
    QPushButton* copy_ = nullptr;
    QThread* worker_ = nullptr;
    std::atomic<bool> cancel_{false};
    bool done_ = false;
};
