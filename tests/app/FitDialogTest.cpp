#include "FitDialog.h"
#include "PictureFile.h"
#include "TGIFAnimator.h"

#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

constexpr int32_t kCapacity = 1024;
constexpr int kFitWait = 60000; // ms; generous for a debug or sanitizer build, never a measured limit

// A gradient with a band of fine detail: more than the capacity at full colour.
FitSource makeSource(const QTemporaryDir& dir) {
    QImage image(96, 72, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 255 / 95, y * 255 / 71, (x * y) % 7 == 0 ? 255 : 40));
    const QString path = dir.filePath("picture.png");
    EXPECT_TRUE(image.save(path, "PNG"));
    PictureLoad load = PictureFile::load(path);
    EXPECT_TRUE(load.source.has_value()) << load.error.toStdString();
    return load.source ? std::move(*load.source) : FitSource{};
}

bool waitForResults(const FitDialog& dialog, int count) {
    return QTest::qWaitFor([&] { return dialog.resultsShown() >= count && !dialog.busy(); }, kFitWait);
}

} // namespace

TEST(FitDialog, MapsTheChoicesToFitOptionsAndSaysWhenAResultIsTooLarge) {
    const FitOptions options = FitDialog::options({0, 0, 300, false, true}, 2048);
    EXPECT_EQ(options.byteBudget, 2048u);
    EXPECT_EQ(options.targetWidth, 0) << "the source's size";
    EXPECT_EQ(options.maxColors, 256);
    EXPECT_FALSE(options.allowDither);
    EXPECT_TRUE(options.allowFrameDrop);
    EXPECT_EQ(FitDialog::keptSide(50, 200, 150), 38);

    FitResult result;
    result.bytes.resize(2100);
    result.width = 40, result.height = 30, result.colors = 2, result.frames = 3, result.psnr = 20.04;
    EXPECT_EQ(FitDialog::summary(result, 2048),
              "2100 bytes, more than the 2048 the section holds: 40x30, 2 colours, 3 frames, PSNR 20.0 dB");
}

TEST(FitDialog, FitsOnAWorkerRefitsAsTheColoursChangeAndRemembersTheChoices) {
    QTemporaryDir dir;
    QSettings settings(dir.filePath("tarvel.ini"), QSettings::IniFormat);
    FitDialog dialog(makeSource(dir), kCapacity, &settings);
    dialog.show();
    auto* upload = dialog.findChild<QPushButton*>("Upload");
    auto* summary = dialog.findChild<QLabel*>("Summary");
    auto* colors = dialog.findChild<QSpinBox*>("Colors");
    ASSERT_TRUE(upload && summary && colors);
    EXPECT_EQ(dialog.windowTitle(), "Fit to section");
    EXPECT_EQ(dialog.findChild<QSpinBox*>("Width")->value(), 96) << "the source's size";

    ASSERT_TRUE(waitForResults(dialog, 1)) << "no result arrived";
    ASSERT_TRUE(dialog.fitted().has_value()) << summary->text().toStdString();
    const FitResult first = *dialog.fitted();
    EXPECT_TRUE(first.fits);
    EXPECT_LE(first.bytes.size(), static_cast<size_t>(kCapacity));
    EXPECT_TRUE(summary->text().startsWith(QString("%1 of 1024 bytes").arg(first.bytes.size())))
        << summary->text().toStdString();
    EXPECT_TRUE(upload->isEnabled());

    colors->setValue(4);
    EXPECT_FALSE(upload->isEnabled()) << "Upload waits for the refit";
    ASSERT_TRUE(waitForResults(dialog, 2)) << "no new result after the colours changed";
    ASSERT_TRUE(dialog.fitted().has_value());
    EXPECT_LE(dialog.fitted()->colors, 4);
    EXPECT_TRUE(summary->text().contains(QString("%1 colours").arg(dialog.fitted()->colors)))
        << summary->text().toStdString();
    EXPECT_TRUE(upload->isEnabled());

    upload->click();
    EXPECT_EQ(static_cast<QDialog&>(dialog).result(), QDialog::Accepted);
    EXPECT_EQ(settings.value("Fit/Colors").toInt(), 4);

    // The next dialog starts from the last choices; it goes while its first fit may still run.
    FitDialog next(makeSource(dir), kCapacity, &settings);
    EXPECT_EQ(next.choices().colors, 4);
}

TEST(FitDialog, ReadsThePictureOnAWorkerAndShowsAResultLargerThanItsBoxWithinIt) {
    QTemporaryDir dir;
    QImage image(600, 300, QImage::Format_RGB32); // four flat bands: it fits at its full size
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < image.height(); ++y)
            image.setPixel(x, y, QColor::fromHsv(x / 150 * 90, 200, 200).rgb());
    ASSERT_TRUE(image.save(dir.filePath("wide.png")));
    EXPECT_FALSE(FitDialog::readPicture(dir.filePath("missing.png")).error.isEmpty());
    PictureLoad read = FitDialog::readPicture(dir.filePath("wide.png"));
    ASSERT_TRUE(read.source.has_value()) << read.error.toStdString();

    FitDialog dialog(std::move(*read.source), 21504);
    dialog.show();
    ASSERT_TRUE(waitForResults(dialog, 1));
    ASSERT_TRUE(dialog.fitted() && dialog.fitted()->fits);
    ASSERT_EQ(dialog.fitted()->width, 600);
    auto* shown = dialog.findChild<TGIFAnimator*>("Result");
    ASSERT_TRUE(shown);
    EXPECT_TRUE(shown->stretch());
    EXPECT_EQ(shown->width(), 284) << "as wide as the box";
    EXPECT_EQ(shown->height(), 142) << "the aspect kept";
    EXPECT_TRUE(shown->parentWidget()->rect().contains(shown->geometry()));
}
