#pragma once
// The real message boxes and file dialogs.
#include "Dialogs.h"

class QtDialogs : public Dialogs {
  public:
    MsgResult messageBox(QWidget* owner, const MessageBoxRequest& request) override;
    std::optional<QString> openFileName(QWidget* owner, FileDialogState& state) override;
    std::optional<QString> saveFileName(QWidget* owner, FileDialogState& state) override;
    std::optional<QString> folderName(QWidget* owner, FileDialogState& state) override;
    std::optional<int> chooseItem(QWidget* owner, const ChoiceRequest& request) override;
};
