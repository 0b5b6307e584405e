// Renders Tarvel's windows headless to PNG files, for the README and for checking the look by eye.
// Usage: tarvel-screenshots OUTDIR  (run with QT_QPA_PLATFORM=offscreen)
#include "FitDialog.h"
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
#include <QEventLoop>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QRadialGradient>
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

// A picture as a user brings it: a 320x240 PNG of soft gradients and a title, fitted into 21504 bytes.
void shootFit(const QTemporaryDir& dir) {
    QImage picture(320, 240, QImage::Format_RGB32);
    QPainter painter(&picture);
    QLinearGradient sky(0, 0, 0, 240);
    sky.setColorAt(0, QColor(40, 90, 170));
    sky.setColorAt(1, QColor(250, 190, 120));
    painter.fillRect(picture.rect(), sky);
    QRadialGradient sun(230, 150, 60);
    sun.setColorAt(0, QColor(255, 250, 210));
    sun.setColorAt(1, QColor(255, 160, 60, 0));
    painter.fillRect(picture.rect(), sun);
    painter.setPen(Qt::white);
    painter.setFont(QFont(Fonts::tahoma().family(), 28, QFont::Bold));
    painter.drawText(QRect(0, 20, 320, 60), Qt::AlignCenter, "Tarvel");
    painter.end();
    const QString path = dir.filePath("sunset.png");
    picture.save(path);
    PictureLoad read = FitDialog::readPicture(path);
    if (!read.source) {
        std::fprintf(stderr, "could not read %s\n", qPrintable(path));
        return;
    }
    FitDialog dialog(std::move(*read.source), 21504);
    dialog.show();
    QEventLoop loop;
    QObject::connect(&dialog, &FitDialog::resultShown, &loop, &QEventLoop::quit);
    if (!dialog.fitted())
        loop.exec();
    save(dialog, "fit-dialog");
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

    shootFit(phoneDir);

    TForm3 about(&form);
    about.show();
    save(about, "about");
    about.hide();
    return 0;
}
