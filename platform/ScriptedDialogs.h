#pragma once
// Dialogs answered from a script, for tests and benchmarks: records every request and returns the
// answers queued beforehand. An unexpected question is answered with the safe choice (No, Cancel)
// and recorded, so a test sees it.
#include "Dialogs.h"

#include <QStringList>
#include <deque>
#include <vector>

class ScriptedDialogs : public Dialogs {
  public:
    MsgResult messageBox(QWidget* owner, const MessageBoxRequest& request) override;
    std::optional<QString> openFileName(QWidget* owner, FileDialogState& state) override;
    std::optional<QString> saveFileName(QWidget* owner, FileDialogState& state) override;
    std::optional<QString> folderName(QWidget* owner, FileDialogState& state) override;
    std::optional<int> chooseItem(QWidget* owner, const ChoiceRequest& request) override;

    // Answers, used in order. A file answer of nullopt is a cancel.
    std::deque<MsgResult> answers;
    std::deque<std::optional<QString>> fileAnswers; // file and folder dialogs
    std::deque<std::optional<int>> choiceAnswers;

    // What was shown.
    std::vector<MessageBoxRequest> messages;
    std::vector<FileDialogState> fileDialogs; // state as the dialog opened
    std::vector<ChoiceRequest> choices;

  private:
    std::optional<QString> fileDialog(FileDialogState& state, bool forFolder = false);
};
