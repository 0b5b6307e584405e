#pragma once
// The application's standard error report: a modal box with the application title as caption, the stop
// icon, an OK button and the error's text. Every handler runs through runGuarded, so no exception ever
// crosses the event loop.
#include <QString>
#include <functional>

class Dialogs;
class QWidget;

inline const QString kApplicationTitle = QStringLiteral("Tarvel v8.0");

// The text as the report shows it: a full stop is added when the last character sorts after '.'.
QString errorReportText(const QString& text);

// Shows the report for text.
void showErrorReport(Dialogs& dialogs, QWidget* owner, const QString& text);

// Runs action; an exception that escapes it is shown by the standard error report.
void runGuarded(Dialogs& dialogs, QWidget* owner, const std::function<void()>& action);
