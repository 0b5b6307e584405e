// Renders Tarvel's windows headless to PNG files, for the README and for checking the look by eye.
// Usage: tarvel-screenshots OUTDIR  (run with QT_QPA_PLATFORM=offscreen)
#include "Fonts.h"
#include "ScriptedDialogs.h"
#include "TGIFAnimator.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "VirtualPhone.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
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
    {
        auto* list = form.findChild<QListView*>("Lista");
        list->setCurrentIndex(list->model()->index(slot, 0));
    }
}

// Opens the View dialog on slot; shoot runs while it is open, then OK closes it.
void withView(TForm1& form, TForm2& view, int slot, const std::function<void()>& shoot) {
    select(form, slot);
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!view.isVisible())
            return;
        poll.stop();
        shoot();
        view.accept();
    });
    poll.start();
    form.findChild<QPushButton*>("btn2")->click();
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
    TForm2 view(&form, form.icons(), dialogs);
    form.setViewDialog(&view);
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

    QComboBox* mode = view.findChild<QComboBox*>("tryb");
    withView(form, view, 10, [&] {
        save(view, "view-application-text");
        mode->setCurrentIndex(1);
        save(view, "view-application-binary");
    });
    withView(form, view, 13, [&] { save(view, "view-unknown-binary"); });
    mode->setCurrentIndex(0);
    withView(form, view, 13, [&] { save(view, "view-unknown-text"); });
    withView(form, view, 12, [&] {
        view.animator().setFrameIndex(1);
        save(view, "view-gif-frame2");
        view.animator().setFrameIndex(5);
        save(view, "view-gif-frame6");
    });

    TForm3 about(&form);
    about.show();
    save(about, "about");
    about.hide();
    return 0;
}
