#pragma once
// The About dialog: the program's name and version, where it was tried, what it uses and what it works
// with. Created once at start and shown modally by the main window's About button.
#include <QDialog>

class QPlainTextEdit;

class TForm3 : public QDialog {
    Q_OBJECT
  public:
    explicit TForm3(QWidget* owner);

    void Button1Click();
    // The information lines, in order.
    static QStringList informationLines();

  protected:
    void showEvent(QShowEvent* event) override;
};
