#include "QtDialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {

// A question asked while the program works waits for the user: it shows the arrow, not the wait cursor.
class ArrowWhileAsking {
  public:
    ArrowWhileAsking() : busy_(QGuiApplication::overrideCursor() != nullptr) {
        if (busy_)
            QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~ArrowWhileAsking() {
        if (busy_)
            QGuiApplication::restoreOverrideCursor();
    }
    ArrowWhileAsking(const ArrowWhileAsking&) = delete;
    ArrowWhileAsking& operator=(const ArrowWhileAsking&) = delete;

  private:
    bool busy_;
};

std::optional<QString> runFileDialog(QWidget* owner, FileDialogState& state, QFileDialog::AcceptMode mode) {
    ArrowWhileAsking arrow;
    QFileDialog dialog(owner, state.title);
    dialog.setAcceptMode(mode);
    // Upload may name a file that does not exist: the operation itself reports it.
    dialog.setFileMode(QFileDialog::AnyFile);
    // The program asks nothing before a file is replaced.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    const QStringList filters = qtNameFilters(state.filter);
    dialog.setNameFilters(filters);
    if (state.filterIndex >= 0 && state.filterIndex < filters.size())
        dialog.selectNameFilter(filters[state.filterIndex]);
    if (!state.folder.isEmpty())
        dialog.setDirectory(state.folder);
    if (!state.fileName.isEmpty())
        dialog.selectFile(state.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    const QString name = withDefaultSuffix(dialog.selectedFiles().first(), state.defaultSuffix);
    state.fileName = name;
    state.folder = QFileInfo(name).absolutePath();
    state.filterIndex = std::max(0, static_cast<int>(filters.indexOf(dialog.selectedNameFilter())));
    return name;
}

} // namespace

MsgResult QtDialogs::messageBox(QWidget* owner, const MessageBoxRequest& request) {
    ArrowWhileAsking arrow;
    QMessageBox box(owner);
    box.setWindowTitle(request.caption);
    QString text = request.text;
    box.setText(text.replace("\r\n", "\n"));
    switch (request.icon) {
    case MsgIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MsgIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgIcon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    if (request.buttons == MsgButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(request.defaultButton == MsgResult::No ? QMessageBox::No : QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? MsgResult::Yes : MsgResult::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return MsgResult::Ok;
}

std::optional<QString> QtDialogs::openFileName(QWidget* owner, FileDialogState& state) {
    return runFileDialog(owner, state, QFileDialog::AcceptOpen);
}

std::optional<QString> QtDialogs::saveFileName(QWidget* owner, FileDialogState& state) {
    return runFileDialog(owner, state, QFileDialog::AcceptSave);
}

std::optional<QString> QtDialogs::folderName(QWidget* owner, FileDialogState& state) {
    ArrowWhileAsking arrow;
    const QString folder = QFileDialog::getExistingDirectory(
        owner, state.title, state.fileName.isEmpty() ? state.folder : state.fileName);
    if (folder.isEmpty())
        return std::nullopt;
    state.fileName = folder;
    state.folder = folder;
    return folder;
}

std::optional<int> QtDialogs::chooseItem(QWidget* owner, const ChoiceRequest& request) {
    ArrowWhileAsking arrow;
    bool ok = false;
    const QString item =
        QInputDialog::getItem(owner, request.caption, request.label, request.items, 0, false, &ok);
    if (!ok)
        return std::nullopt;
    const qsizetype index = request.items.indexOf(item);
    return index < 0 ? std::nullopt : std::optional<int>(static_cast<int>(index));
}
