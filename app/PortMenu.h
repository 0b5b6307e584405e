#pragma once
// The port list's context menu: the set-up's checks ("Check the set-up..."), the diagnostic report
// ("Save diagnostic report...") and, where the bridge runs under Wine, the serial device of the chosen
// COM port ("Serial device for COM n...").
#include "Dialogs.h"

#include <QObject>

class DiagnosticLog;
class QSettings;
class TForm1;
struct Backend;

class PortMenu : public QObject {
    Q_OBJECT
  public:
    PortMenu(TForm1& form, Dialogs& dialogs, QSettings& settings, const Backend& backend, DiagnosticLog& log);

  private:
    void checkSetUp();
    void saveReport();
    void mapPort();

    TForm1& form_;
    Dialogs& dialogs_;
    QSettings& settings_;
    const Backend& backend_;
    DiagnosticLog& log_;
    FileDialogState reportFile_;
};
