#pragma once
// Message boxes and file dialogs behind one interface, so that tests can answer them and check what
// was asked (QtDialogs shows real ones, ScriptedDialogs answers from a script).
#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

enum class MsgIcon { Information, Warning, Error };
enum class MsgButtons { Ok, YesNo };
enum class MsgResult { Ok, Yes, No };

struct MessageBoxRequest {
    QString caption;
    QString text; // line breaks as "\r\n"
    MsgIcon icon = MsgIcon::Information;
    MsgButtons buttons = MsgButtons::Ok;
    MsgResult defaultButton = MsgResult::Ok;
};

// A file dialog component: its fixed settings and what it remembers of its last confirmed use.
struct FileDialogState {
    QString title;
    QString filter;        // "Description|pattern|Description|pattern"
    QString defaultSuffix; // added to a chosen name that has no extension; empty: none
    QString fileName;      // name of the last confirmed use, shown at the next opening
    int filterIndex = 0;   // entry of the last confirmed use
    QString folder;        // where the last confirmed use was (opened in while fileName is empty)
};

// A choice of one item from a list.
struct ChoiceRequest {
    QString caption;
    QString label;
    QStringList items;
};

class Dialogs {
  public:
    virtual ~Dialogs() = default;
    virtual MsgResult messageBox(QWidget* owner, const MessageBoxRequest& request) = 0;
    // Both return the full name chosen, or nothing on cancel; on a confirm they update state.
    virtual std::optional<QString> openFileName(QWidget* owner, FileDialogState& state) = 0;
    virtual std::optional<QString> saveFileName(QWidget* owner, FileDialogState& state) = 0;
    // A folder (it may be made in the dialog); the state's title and last name are used.
    virtual std::optional<QString> folderName(QWidget* owner, FileDialogState& state) = 0;
    // The index of the chosen item, or nothing on cancel.
    virtual std::optional<int> chooseItem(QWidget* owner, const ChoiceRequest& request) = 0;
};

// The name with the default suffix added when its last path part has no extension.
QString withDefaultSuffix(const QString& name, const QString& suffix);
// A "Description|pattern|..." filter as Qt name filters ("Description (pattern)").
QStringList qtNameFilters(const QString& filter);
