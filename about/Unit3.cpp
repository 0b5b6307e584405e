#include "Unit3.h"

#include "EnterPressesButton.h"
#include "EtchedGroupBox.h"
#include "Fonts.h"
#include "WindowPlacement.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>

TForm3::TForm3(QWidget* owner) : QDialog(owner) {
    setObjectName("Form3");
    setWindowTitle("About");
    // A small title bar without system menu or close box.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(true);
    setFont(Fonts::tahoma());
    setFixedSize(321, 187);

    auto* title = new QLabel("Tarvel", this);
    title->setObjectName("Label1");
    title->setFont(Fonts::tahoma(19, true));
    title->move(8, 8);
    title->adjustSize();

    auto* version = new QLabel("v8.0", this);
    version->setObjectName("Label2");
    version->move(144, 16);
    version->adjustSize();

    auto* box = new EtchedGroupBox(" Informations ", this);
    box->setObjectName("GroupBox1");
    box->setGeometry(8, 40, 305, 113);

    auto* memo = Memo1 = new QPlainTextEdit(box);
    memo->setObjectName("Memo1");
    memo->setGeometry(2, 15, 301, 96);
    memo->setFrameStyle(QFrame::NoFrame);
    memo->setReadOnly(true);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    // The button face behind the text, following the palette as the text does.
    memo->viewport()->setBackgroundRole(QPalette::Button);
    memo->setPlainText(informationLines().join('\n'));

    auto* credit = new QLabel("Made by the Tarvel authors.", this);
    credit->setObjectName("Label3");
    credit->move(8, 165);
    credit->adjustSize();

    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("Button1");
    ok->setGeometry(240, 160, 75, 21);
    ok->setAutoDefault(false);
    ok->setDefault(false);
    EnterPressesButton::install(ok);
    connect(ok, &QPushButton::clicked, this, &TForm3::Button1Click);

    setTabOrder(memo, ok);
}

QStringList TForm3::informationLines() {
    return {
        "Tested on my Sony CMD-J5, works great :-)",
        "Thanks to the members of the CMD-Jxx users' forum!",
        "",
        "This application uses GBP.DLL, the phone service",
        "library; thanks to its author (contact: see GBP.DLL).",
        "",
        "NVM sections used:",
        "02-10 .. 02-20 (about 20 kB)",
        "18-09 .. 18-29 (about 430 kB)",
        "",
        "Fully compatible with PRGLoader v1-v3 (by its author)",
        "and with OOK2 (by its author).",
    };
}

void TForm3::setBackendLines(const QStringList& lines) {
    Memo1->setPlainText((informationLines() << "" << lines).join('\n'));
}

void TForm3::Button1Click() {
    accept();
}

void TForm3::showEvent(QShowEvent* event) {
    // Opens centred over the main window, inside the screen.
    centreOnOwner(*this);
    QDialog::showEvent(event);
}
