#pragma once
// Enter or Return on a focused push button presses it, as Space does. Qt leaves that to a button's
// autoDefault, which in a dialog also makes the first such button the dialog's default button: the
// windows here keep their buttons non-default, so this filter gives the key to the focused button alone.
#include <QObject>

class QPushButton;

class EnterPressesButton : public QObject {
    Q_OBJECT
  public:
    // Makes Enter and Return press button while it has the focus; the filter lives as long as the button.
    static void install(QPushButton* button);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    using QObject::QObject;
};
