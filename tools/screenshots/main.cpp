// Renders Tarvel's windows headless to PNG files, for the README and for checking the look by eye.
// Usage: tarvel-screenshots OUTDIR  (run with QT_QPA_PLATFORM=offscreen)
#include "Fonts.h"
#include "ScriptedDialogs.h"
#include "Unit1.h"
#include "VirtualPhone.h"

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>

namespace {

QString outDir;

void save(QWidget& widget, const QString& name) {
    QCoreApplication::processEvents();
    const QString path = outDir + "/" + name + ".png";
    if (!widget.grab().save(path))
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
    else
        std::printf("%s\n", qPrintable(path));
}

void select(TForm1& form, int slot) {
    form.findChild<QListWidget*>("Lista")->setCurrentRow(slot);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: tarvel-screenshots OUTDIR\n");
        return 2;
    }
    outDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(outDir);
    Fonts::load();

    // A fresh virtual phone with its demonstration content, away from the user's own.
    QTemporaryDir phoneDir;
    VirtualPhone phone(phoneDir.path() + "/virtual-phone");
    ScriptedDialogs dialogs;
    TForm1 form(phone, dialogs);
    form.show();
    QPushButton* expand = form.findChild<QPushButton*>("Expand");

    save(form, "main-start");
    expand->click();
    save(form, "main-start-panel");
    expand->click();
    form.findChild<QPushButton*>("reld")->click();
    save(form, "main-reloaded");
    expand->click();
    select(form, 10);
    save(form, "main-application");
    select(form, 12);
    save(form, "main-gif");
    select(form, 20);
    save(form, "main-empty");
    return 0;
}
