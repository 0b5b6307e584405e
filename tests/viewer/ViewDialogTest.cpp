#include "QtPrinters.h"
#include "ScriptedDialogs.h"
#include "ScriptedLink.h"
#include "TGIFAnimator.h"
#include "Unit1.h"
#include "Unit2.h"
#include "support/SectionList.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace {

std::vector<uint8_t> demoGif() {
    QFile file(":/demo/demo-animation.gif");
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    return {bytes.begin(), bytes.end()};
}

class ViewDialog : public testing::Test {
  protected:
    ScriptedLink link;
    ScriptedDialogs dialogs;
    TForm1 form{link, dialogs};
    TForm2 view{&form, form.icons(), dialogs};

    void SetUp() override {
        form.setViewDialog(&view);
        form.show();
        link.put(18, 9, applicationImage(4, 0x14, 0x2005, "Snake", 30));
        link.put(18, 10, demoGif());
        link.put(18, 11, {'d', 'a', 't', 'a', 0x0D, 0x0A, 0xFF});
        form.findChild<QPushButton*>("reld")->click();
    }
    template <class T> T* child(const char* name) { return view.findChild<T*>(name); }
    QString text(const char* name) { return child<QLabel>(name)->text(); }

    // Presses View with slot selected; inspect runs while the dialog is open, then OK closes it.
    // Returns whether the dialog opened.
    bool openView(int slot, const std::function<void()>& inspect = {}) {
        selectRow(form.findChild<QListView*>("Lista"), slot);
        bool opened = false;
        // Waits for the dialog's own event loop; a dialog that never opens leaves the timer unused.
        QTimer poll;
        poll.setInterval(1);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!view.isVisible())
                return;
            poll.stop();
            opened = true;
            if (inspect)
                inspect();
            child<QPushButton>("Button1")->click();
        });
        poll.start();
        form.findChild<QPushButton*>("btn2")->click();
        return opened;
    }
};

} // namespace

TEST_F(ViewDialog, ShowsAnApplicationAsTextAndHexWithoutReadingAgain) {
    form.move(20, 40); // the dialog centred on the window would start left of the screen
    bool readWaiting = false;
    link.onCall = [&](const LinkCall& c) {
        if (c.op == "Read")
            readWaiting = QGuiApplication::overrideCursor() != nullptr;
    };
    const bool opened = openView(10, [&] {
        EXPECT_TRUE(readWaiting) << "the wait cursor shows while the phone is read";
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "and no longer once the dialog is open";
        EXPECT_EQ(view.size(), QSize(449, 314));
        EXPECT_TRUE(view.screen()->availableGeometry().contains(view.frameGeometry()))
            << "the dialog at " << view.frameGeometry().x() << ", " << view.frameGeometry().y();
        EXPECT_EQ(view.windowTitle(), "View section");
        EXPECT_EQ(text("ntyp"), "Firmware Application for 5.1.4/4");
        EXPECT_EQ(text("nnzw"), "Snake");
        EXPECT_EQ(text("rozm"), "30 bytes");
        EXPECT_EQ(child<QLabel>("rozm")->geometry().right() + 1, 439);
        EXPECT_TRUE(child<QWidget>("viedat")->isVisible());
        EXPECT_FALSE(child<QWidget>("viegif")->isVisible());
        EXPECT_TRUE(child<QComboBox>("tryb")->isVisible());
        EXPECT_FALSE(child<QLabel>("ramka")->isVisible());
        EXPECT_EQ(child<QPlainTextEdit>("Memo1")->toPlainText().size(), 30);
        const int reads = link.count("Read");
        child<QComboBox>("tryb")->setCurrentIndex(1);
        EXPECT_TRUE(child<QPlainTextEdit>("Memo1")->toPlainText().startsWith(
            "04 14 05 20 53 6E 61 6B 65 00 00 00 | "));
        child<QComboBox>("tryb")->setCurrentIndex(0);
        EXPECT_EQ(link.count("Read"), reads) << "switching the mode reads nothing";
        QTest::keyClick(child<QComboBox>("tryb"), Qt::Key_Return);
        EXPECT_TRUE(view.isVisible()) << "OK is not the default button";
        QTest::keyClick(child<QPushButton>("Button1"), Qt::Key_Return);
        EXPECT_FALSE(view.isVisible()) << "Enter on the focused OK closes the dialog";
    });
    EXPECT_TRUE(opened);
    EXPECT_EQ(form.statusPanel(2), "Ready");
    EXPECT_EQ(link.calls.back().op, "End");
    // The chosen mode stays for the next opening.
    child<QComboBox>("tryb")->setCurrentIndex(1);
    openView(12, [&] {
        EXPECT_EQ(child<QPlainTextEdit>("Memo1")->toPlainText(),
                  QString("64 61 74 61 0D 0A FF | data..") + QChar(0x02D9));
        EXPECT_EQ(text("ntyp"), "Firmware Application for ") << "unknown data gets the same rule";
    });
}

TEST_F(ViewDialog, PlaysAGifSectionWithItsFrameCounter) {
    QTemporaryDir cwd;
    const QString before = QDir::currentPath();
    QDir::setCurrent(cwd.path());
    openView(11, [&] {
        EXPECT_EQ(text("ntyp"), "GIF Image");
        EXPECT_EQ(text("nnzw"), "Used probably by Dorvan's GIFAn Application.");
        EXPECT_TRUE(child<QWidget>("viegif")->isVisible());
        EXPECT_FALSE(child<QComboBox>("tryb")->isVisible());
        EXPECT_TRUE(child<QLabel>("ramka")->isVisible());
        EXPECT_EQ(view.animator().image().frameCount(), 8);
        EXPECT_EQ(view.animator().frameIndex(), 0);
        EXPECT_TRUE(view.animator().animate());
        EXPECT_EQ(text("ramka"), "") << "no report before the animation moves on";
        view.animator().setFrameIndex(2);
        EXPECT_EQ(text("ramka"), "Frame 3 of 8");
    });
    QDir::setCurrent(before);
    EXPECT_TRUE(QDir(cwd.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty())
        << "the GIF is decoded from memory, nothing is written";
    // A new View restarts at the first frame; the counter keeps its last caption until the next step.
    openView(11, [&] {
        EXPECT_EQ(view.animator().frameIndex(), 0);
        EXPECT_EQ(text("ramka"), "Frame 3 of 8");
    });
    // After a GIF, a text section shows the memo and hides the counter.
    openView(10, [&] {
        EXPECT_TRUE(child<QWidget>("viedat")->isVisible());
        EXPECT_FALSE(child<QLabel>("ramka")->isVisible());
    });
}

TEST_F(ViewDialog, TheAnimationGoesOnWhileTheDialogIsHidden) {
    openView(11);
    ASSERT_FALSE(view.isVisible());
    const int start = view.animator().frameIndex();
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.animator().frameIndex() != start; }, 5000))
        << "the frame index stayed at " << start;
    EXPECT_TRUE(text("ramka").startsWith("Frame ")) << text("ramka").toStdString();
}

TEST_F(ViewDialog, ASecondViewWhileTheFirstOpensDoesNothing) {
    bool nested = false;
    link.onCall = [&](const LinkCall& c) {
        if (c.op == "Init" && !nested) {
            nested = true; // as if View were pressed again while the first one reads
            view.view({10, form.sectionTable()[10], 1, {}});
        }
    };
    openView(10);
    EXPECT_TRUE(nested);
    EXPECT_EQ(link.count("Init"), 2) << "the Reload and one View";
}

TEST_F(ViewDialog, TextsOnTheBannerKeepFixedColoursUnderADarkPalette) {
    const QPalette light = QApplication::palette();
    QPalette dark(QColor(53, 53, 53), QColor(30, 30, 30));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    QApplication::setPalette(dark);
    openView(10, [&] {
        EXPECT_EQ(child<QLabel>("rozm")->palette().color(QPalette::WindowText), Qt::black) << "on white";
        EXPECT_EQ(child<QLabel>("ntyp")->palette().color(QPalette::WindowText), Qt::white) << "on blue";
        EXPECT_EQ(child<QLabel>("ramka")->palette().color(QPalette::WindowText), QColor(230, 230, 230));
    });
    QApplication::setPalette(light);
    QCoreApplication::processEvents();
}

TEST_F(ViewDialog, DoesNotOpenWhenThePhoneDoesNotAnswer) {
    link.initResults[1] = -1;
    const int ends = link.count("End");
    const int reads = link.count("Read");
    EXPECT_FALSE(openView(10));
    EXPECT_FALSE(view.isVisible());
    EXPECT_EQ(form.statusPanel(2), "GBP Error (COM 1)");
    EXPECT_EQ(link.count("Read"), reads);
    EXPECT_EQ(link.count("End"), ends);
}

TEST_F(ViewDialog, UsesOnlyTheBytesTheReadCountAllowsAndShowsTheCountAsItCame) {
    link.readResults[{18, 10}] = -1;
    openView(11, [&] {
        EXPECT_EQ(text("rozm"), "-1 bytes");
        EXPECT_EQ(view.animator().image().frameCount(), 0) << "a failed read loads as an empty image";
    });
    EXPECT_TRUE(dialogs.messages.empty());
    link.readResults[{18, 11}] = 22001;
    openView(12, [&] {
        EXPECT_EQ(text("rozm"), "22001 bytes");
        EXPECT_EQ(child<QPlainTextEdit>("Memo1")->toPlainText().size(), 22000)
            << "the dump stops at the buffer's 22000 bytes";
    });
}

TEST_F(ViewDialog, ADamagedGifIsReportedAndTheDialogOpensAllTheSame) {
    link.put(18, 10, {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, '!', 0x55, 0});
    const bool opened = openView(11);
    EXPECT_TRUE(opened);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].caption, "Tarvel v8.0");
    EXPECT_EQ(dialogs.messages[0].text, "Unrecognized extension block: 55.");
    EXPECT_EQ(form.statusPanel(2), "Ready");
}

TEST_F(ViewDialog, DoesNothingWithoutASelectionOrAConnection) {
    const std::size_t calls = link.calls.size();
    form.findChild<QPushButton*>("btn2")->click();
    EXPECT_EQ(link.calls.size(), calls) << "no section selected";
    selectRow(form.findChild<QListView*>("Lista"), 10);
    form.findChild<QComboBox*>("Port")->setCurrentIndex(2);
    form.findChild<QPushButton*>("reld")->click(); // fails: ConnectedPort becomes 0
    const std::size_t afterReload = link.calls.size();
    form.findChild<QPushButton*>("btn2")->click();
    EXPECT_EQ(link.calls.size(), afterReload);
    EXPECT_FALSE(view.isVisible());
}

TEST(ViewBanner, RunsFromBlueToWhiteThroughTheSampleColours) {
    const QImage banner = TForm2::bannerImage();
    EXPECT_EQ(banner.size(), QSize(450, 50));
    EXPECT_EQ(banner.pixelColor(0, 10), QColor(0, 99, 182));
    EXPECT_EQ(banner.pixelColor(100, 10), QColor(96, 158, 209));
    EXPECT_EQ(banner.pixelColor(225, 49), QColor(185, 213, 234));
    EXPECT_EQ(banner.pixelColor(350, 0), QColor(247, 250, 253));
    EXPECT_EQ(banner.pixelColor(449, 0), QColor(255, 255, 255));
    for (int x = 1; x < 450; ++x)
        EXPECT_GE(banner.pixelColor(x, 0).blue(), banner.pixelColor(x - 1, 0).blue()) << "smooth at " << x;
    EXPECT_EQ(TForm2::typeLine("*univ*"), "PRGLoader3 Libs Firmware Application");
    EXPECT_EQ(TForm2::typeLine("*ufif*"), "UFIF Firmware Application");
    EXPECT_EQ(TForm2::typeLine("5.1.4/4"), "Firmware Application for 5.1.4/4");
}
