#include "ErrorReport.h"

#include "Dialogs.h"

#include <exception>

QString errorReportText(const QString& text) {
    if (!text.isEmpty() && text.back() > QChar('.'))
        return text + ".";
    return text;
}

void showErrorReport(Dialogs& dialogs, QWidget* owner, const QString& text) {
    MessageBoxRequest request;
    request.caption = kApplicationTitle;
    request.text = errorReportText(text);
    request.icon = MsgIcon::Error;
    request.buttons = MsgButtons::Ok;
    dialogs.messageBox(owner, request);
}

void runGuarded(Dialogs& dialogs, QWidget* owner, const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& e) {
        showErrorReport(dialogs, owner, QString::fromUtf8(e.what()));
    } catch (...) {
        showErrorReport(dialogs, owner, "Unknown error");
    }
}
