#include "Unit2.h"

#include "Charset.h"
#include "Dump.h"
#include "EnterPressesButton.h"
#include "ErrorReport.h"
#include "Fonts.h"
#include "GBPSession.h"
#include "SectionOps.h"
#include "SectionTexts.h"
#include "TGIFAnimator.h"
#include "WaitCursor.h"
#include "WindowPlacement.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <algorithm>

namespace {

constexpr int kBannerHeight = 50;
constexpr int kBodyTop = 52;
constexpr int kBodyHeight = 225;
constexpr int kButtonBarHeight = 35;

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

// Shows section bytes (one char per byte, in the phone's character set) as text.
QString bytesText(const std::string& bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (char c : bytes)
        if (c != '\r') // the "\r\n" of a line break shows as the memo's own break
            text += Charset::toUnicode(static_cast<uint8_t>(c));
    return text;
}

} // namespace

TForm2::TForm2(QWidget* owner, GBPCtrl& link, const SectionIcons& icons, Dialogs& dialogs)
    : QDialog(owner), link_(link), icons_(icons), dialogs_(dialogs) {
    setObjectName("Form2");
    setWindowTitle("View section");
    // A dialog frame without border icons, so without a close box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(true);
    setFont(Fonts::tahoma());
    setFixedSize(kClientWidth, kClientHeight);

    Image1 = makeLabel(this, "Image1", {});
    Image1->setGeometry(0, 0, kClientWidth, kBannerHeight);
    Image1->setPixmap(QPixmap::fromImage(bannerImage()));

    QPalette white = palette();
    white.setColor(QPalette::WindowText, Qt::white);
    ntyp = makeLabel(this, "ntyp", "Application");
    ntyp->setFont(Fonts::tahoma(16, true));
    ntyp->setPalette(white);
    ntyp->move(16, 7);
    nnzw = makeLabel(this, "nnzw", "Unknown");
    nnzw->setFont(Fonts::tahoma(11, true));
    nnzw->setPalette(white);
    nnzw->move(16, 30);
    rozm = makeLabel(this, "rozm", {});
    // It stands on the banner's white end, whatever the palette.
    QPalette black = palette();
    black.setColor(QPalette::WindowText, Qt::black);
    rozm->setPalette(black);
    rozm->setAlignment(Qt::AlignRight | Qt::AlignTop);
    grafik = makeLabel(this, "grafik", {});
    grafik->setGeometry(422, 4, 22, 26);

    auto* bevel1 = new QFrame(this);
    bevel1->setObjectName("Bevel1");
    bevel1->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    bevel1->setGeometry(0, kBannerHeight, kClientWidth, 2);

    viegif = new QWidget(this);
    viegif->setObjectName("viegif");
    viegif->setGeometry(0, kBodyTop, kClientWidth, kBodyHeight);
    gif = new TGIFAnimator(viegif);
    gif->setObjectName("gif");
    gif->setAlign(TAlign::alClient);
    gif->setGeometry(0, 0, kClientWidth, kBodyHeight);
    gif->setCenter(true);
    gif->setAnimate(true);
    gif->OnFrameChanged = [this](TGIFAnimator*) { gifFrameChanged(); };
    gif->setErrorReporter([this](const QString& text) { showErrorReport(dialogs_, this, text); });

    viedat = new QWidget(this);
    viedat->setObjectName("viedat");
    viedat->setGeometry(0, kBodyTop, kClientWidth, kBodyHeight);
    viedat->hide();
    Memo1 = new QPlainTextEdit(viedat);
    Memo1->setObjectName("Memo1");
    Memo1->setGeometry(8, 8, 433, 209);
    Memo1->setFont(Fonts::fixedsys());
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);

    auto* bevel2 = new QFrame(this);
    bevel2->setObjectName("Bevel2");
    bevel2->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    bevel2->setGeometry(0, kClientHeight - kButtonBarHeight - 2, kClientWidth, 2);

    auto* panel1 = new QWidget(this);
    panel1->setObjectName("Panel1");
    panel1->setGeometry(0, kClientHeight - kButtonBarHeight, kClientWidth, kButtonBarHeight);
    tryb = new QComboBox(panel1);
    tryb->setObjectName("tryb");
    tryb->setGeometry(8, 7, 89, 21);
    tryb->addItems({"Text Mode", "Binary Mode"});
    tryb->setCurrentIndex(0);
    ramka = makeLabel(panel1, "ramka", {});
    ramka->move(8, 10);
    ramka->hide();
    auto* ok = new QPushButton("OK", panel1);
    ok->setObjectName("Button1");
    ok->setGeometry(368, 7, 75, 21);
    ok->setAutoDefault(false);
    ok->setDefault(false);
    EnterPressesButton::install(ok);

    connect(tryb, &QComboBox::currentIndexChanged, this,
            [this] { runGuarded(dialogs_, this, [this] { trybChange(); }); });
    connect(ok, &QPushButton::clicked, this, &TForm2::Button1Click);
}

TForm2::~TForm2() = default;

QImage TForm2::bannerImage() {
    struct Stop {
        int x;
        QColor colour;
    };
    static const Stop kStops[] = {{0, QColor(0, 99, 182)},
                                  {100, QColor(96, 158, 209)},
                                  {225, QColor(185, 213, 234)},
                                  {350, QColor(247, 250, 253)},
                                  {449, QColor(255, 255, 255)}};
    QImage image(450, kBannerHeight, QImage::Format_RGB32);
    for (int x = 0; x < image.width(); ++x) {
        int s = 0;
        while (s + 2 < static_cast<int>(std::size(kStops)) && x > kStops[s + 1].x)
            ++s;
        const Stop& a = kStops[s];
        const Stop& b = kStops[s + 1];
        const double t = std::clamp(double(x - a.x) / (b.x - a.x), 0.0, 1.0);
        const QRgb colour = qRgb(qRound(a.colour.red() + t * (b.colour.red() - a.colour.red())),
                                 qRound(a.colour.green() + t * (b.colour.green() - a.colour.green())),
                                 qRound(a.colour.blue() + t * (b.colour.blue() - a.colour.blue())));
        for (int y = 0; y < kBannerHeight; ++y)
            image.setPixel(x, y, colour);
    }
    return image;
}

QString TForm2::typeLine(const std::string& targetFirmware) {
    const ApplicationType& type = applicationTypeForFirmware(targetFirmware);
    if (type.fixedFirmware != nullptr)
        return type.typeLine;
    return type.typeLine + Charset::sectionText(targetFirmware);
}

std::size_t TForm2::usedLength() const {
    return static_cast<std::size_t>(std::clamp<int32_t>(viewLength_, 0, kTransferBufferSize));
}

void TForm2::view(const ViewRequest& request) {
    // A second View pressed while this one lets events through before its read does nothing.
    if (request.slot < 0 || request.slot >= kSectionCount || opening_)
        return;
    opening_ = true;
    request_ = request;
    struct Opened {
        bool& flag;
        ~Opened() { flag = false; }
    } opened{opening_};
    // An error in the showing steps goes to the error report and the dialog opens all the same.
    bool phoneAnswered = true;
    runGuarded(dialogs_, this, [&] { phoneAnswered = FormShow(); });
    if (!phoneAnswered)
        return;
    // Once the phone has been read nothing is pending, whatever the showing steps did.
    activity("Ready");
    exec();
}

bool TForm2::FormShow() {
    const int slot = request_.slot;
    const SectionRecord& record = request_.record;
    grafik->setPixmap(QPixmap::fromImage(icons_.icon(record.Kind)));
    tryb->hide();
    viegif->hide();
    viedat->hide();
    ramka->hide();
    // Let "Reading section..." show before the phone is contacted.
    QCoreApplication::processEvents();
    if (parentWidget())
        parentWidget()->repaint();

    {
        const WaitCursor busy;
        GBPSession session(link_, request_.port);
        if (!session.entered()) {
            activity(SectionTexts::gbpErrorText(request_.port));
            return false;
        }
        viewLength_ = SectionOps::readForViewing(link_, slot, viewBuffer_.data());
    }

    if (record.Kind == ckGifImage) {
        viedat->hide();
        viegif->show();
        // Decoded straight from the view buffer: no temporary file is written.
        gif->loadImageFromBytes(viewBuffer_.data(), usedLength());
        ntyp->setText("GIF Image");
        nnzw->setText("Used probably by Dorvan's GIFAn Application.");
        ramka->show();
    } else {
        viedat->show();
        viegif->hide();
        tryb->show();
        ntyp->setText(typeLine(record.TargetFirmware));
        nnzw->setText(Charset::sectionText(record.Name));
        FillMemo();
    }
    ntyp->adjustSize();
    nnzw->adjustSize();
    rozm->setText(QString::number(viewLength_) + " bytes");
    rozm->adjustSize();
    rozm->move(439 - rozm->width(), 30);
    activity("Ready");
    return true;
}

void TForm2::FillMemo() {
    Memo1->clear();
    const std::size_t n = usedLength();
    if (tryb->currentIndex() == 0)
        Memo1->setPlainText(bytesText(Dump::text(viewBuffer_.data(), n)));
    else if (tryb->currentIndex() == 1)
        Memo1->setPlainText(bytesText(Dump::hex(viewBuffer_.data(), n)));
}

void TForm2::gifFrameChanged() {
    ramka->setText(QString("Frame %1 of %2").arg(gif->frameIndex() + 1).arg(gif->image().frameCount()));
    ramka->adjustSize();
}

void TForm2::Button1Click() {
    accept();
}

void TForm2::showEvent(QShowEvent* event) {
    // Opens centred on the main window, inside the screen.
    centreOnOwner(*this);
    QDialog::showEvent(event);
}
