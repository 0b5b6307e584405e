// Tarvel: starts the application, binds the device link and creates the three windows.
#include "Fonts.h"
#include "GraphicFormats.h"
#include "QtDialogs.h"
#include "TGIFImage.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "VirtualPhone.h"

#include <QApplication>
#include <QScreen>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tarvel"); // names the virtual phone's data folder
    Fonts::load();

    GraphicFormats formats;
    formats.add({TGIFImage::kFileExtension, TGIFImage::kDescription, TGIFImage::kClipboardFormat});

    // The vendor library exists only on Windows; everywhere else the virtual phone answers.
    VirtualPhone phone;
    QtDialogs dialogs;

    TForm1 form1(phone, dialogs);
    TForm2 form2(&form1, phone, form1.icons(), dialogs);
    TForm3 form3(&form1);
    form1.setViewDialog(&form2);
    form1.setAboutDialog(&form3);

    if (QScreen* screen = QGuiApplication::primaryScreen())
        form1.move(screen->availableGeometry().center() - form1.rect().center());
    form1.show();
    const int result = QApplication::exec();
    formats.clear();
    return result;
}
