#include "ScriptedDialogs.h"

#include <QFileInfo>

MsgResult ScriptedDialogs::messageBox(QWidget*, const MessageBoxRequest& request) {
    messages.push_back(request);
    if (request.buttons == MsgButtons::Ok)
        return MsgResult::Ok;
    if (answers.empty())
        return MsgResult::No;
    const MsgResult answer = answers.front();
    answers.pop_front();
    return answer;
}

std::optional<QString> ScriptedDialogs::fileDialog(FileDialogState& state, bool forFolder) {
    fileDialogs.push_back(state);
    if (fileAnswers.empty())
        return std::nullopt;
    std::optional<QString> answer = fileAnswers.front();
    fileAnswers.pop_front();
    if (answer) {
        *answer = withDefaultSuffix(*answer, state.defaultSuffix);
        state.fileName = *answer;
        state.folder = forFolder ? *answer : QFileInfo(*answer).absolutePath();
    }
    return answer;
}

std::optional<QString> ScriptedDialogs::openFileName(QWidget*, FileDialogState& state) {
    return fileDialog(state);
}

std::optional<QString> ScriptedDialogs::saveFileName(QWidget*, FileDialogState& state) {
    return fileDialog(state);
}

std::optional<QString> ScriptedDialogs::folderName(QWidget*, FileDialogState& state) {
    return fileDialog(state, true);
}

std::optional<int> ScriptedDialogs::chooseItem(QWidget*, const ChoiceRequest& request) {
    choices.push_back(request);
    if (choiceAnswers.empty())
        return std::nullopt;
    const std::optional<int> answer = choiceAnswers.front();
    choiceAnswers.pop_front();
    return answer;
}
