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
    // Adds lines naming the device link in use (Backend::describe) after the information lines.
    void setBackendLines(const QStringList& lines);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QPlainTextEdit* Memo1 = nullptr;
};
