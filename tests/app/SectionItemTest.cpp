#include "QtPrinters.h"
#include "SectionIcons.h"
#include "SectionInfo.h"
#include "SectionItemPainter.h"

#include "Fonts.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

// Items are drawn as in the list: 260 pixels wide (281 less borders and scroll bar), 40 high.
constexpr int kWidth = 260;
constexpr int kItemHeight = 40;
const QRect kRect(0, 0, kWidth, kItemHeight);

QImage render(const SectionRecord& record, bool selected) {
    static const SectionIcons icons;
    QImage image(kWidth, kItemHeight, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QPainter painter(&image);
    SectionItemPainter::paint(painter, icons, record, kRect, selected);
    return image;
}

SectionRecord record(int32_t size, int32_t capacity, ContentKind kind = ckUnknownData) {
    SectionRecord r;
    r.Group = 18;
    r.Number = 9;
    r.Size = size;
    r.Capacity = capacity;
    r.Kind = kind;
    return r;
}

QColor at(const QImage& image, int x, int y) {
    return image.pixelColor(x, y);
}

// Width of the gauge fill along its middle row.
int gaugeWidth(const QImage& image, QColor fill) {
    int w = 0;
    for (int x = 21; x < kWidth && at(image, x, kItemHeight - 4) == fill; ++x)
        ++w;
    return w;
}

bool hasDarkPixelsIn(const QImage& image, const QRect& area) {
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(image.pixel(x, y)) < 100)
                return true;
    return false;
}

} // namespace

TEST(SectionItem, EmptySectionShowsOnlyFrameBandAndBlankPage) {
    const QImage image = render(record(-1, 21504), false);
    EXPECT_EQ(at(image, 0, 0), Qt::white);
    EXPECT_EQ(at(image, 1, 1), SectionItemPainter::kLightGrey) << "frame";
    EXPECT_EQ(at(image, kWidth - 2, kItemHeight - 2), SectionItemPainter::kLightGrey) << "frame's far corner";
    EXPECT_EQ(at(image, kWidth - 1, kItemHeight - 1), Qt::white);
    EXPECT_EQ(at(image, 10, kItemHeight - 5), SectionItemPainter::kLightGrey) << "band below the icon";
    EXPECT_EQ(at(image, 21, 20), Qt::white) << "the band ends at L+21";
    EXPECT_EQ(at(image, 100, kItemHeight - 4), Qt::white) << "no trough";
    EXPECT_FALSE(hasDarkPixelsIn(image, QRect(22, 2, kWidth - 24, kItemHeight - 4))) << "no text";
}

TEST(SectionItem, GaugeGrowsInWholePercentStepsWithoutACap) {
    const int step = ((kWidth - 4) - 21) / 100; // 2 pixels per percent
    EXPECT_EQ(SectionItemPainter::geometry(kRect, 2048, 2048).percent, 100);
    EXPECT_EQ(gaugeWidth(render(record(2048, 2048), false), SectionItemPainter::kBlue), 100 * step);
    EXPECT_EQ(SectionItemPainter::geometry(kRect, 1023, 2048).percent, 49);
    EXPECT_EQ(gaugeWidth(render(record(1023, 2048), false), SectionItemPainter::kBlue), 49 * step);
    EXPECT_EQ(gaugeWidth(render(record(215, 21504), false), SectionItemPainter::kBlue), 0);
    EXPECT_EQ(gaugeWidth(render(record(216, 21504), false), SectionItemPainter::kBlue), step);
    EXPECT_EQ(SectionItemPainter::geometry(kRect, 3000, 2048).percent, 146) << "no cap at 100";

    // Size 0: the empty trough, with its top row above where a fill would be.
    const QImage zero = render(record(0, 21504), false);
    EXPECT_EQ(at(zero, 21, kItemHeight - 8), SectionItemPainter::kLightGrey);
    EXPECT_EQ(at(zero, kWidth - 3, kItemHeight - 3), SectionItemPainter::kLightGrey);
    EXPECT_EQ(at(zero, kWidth - 2, kItemHeight - 5), SectionItemPainter::kLightGrey)
        << "outline's right line";
    EXPECT_EQ(gaugeWidth(zero, SectionItemPainter::kBlue), 0);
    // An overfull section never paints outside its own item.
    static const SectionIcons icons;
    QImage wide(kWidth + 40, kItemHeight, QImage::Format_RGB32);
    wide.fill(Qt::magenta);
    QPainter painter(&wide);
    SectionItemPainter::paint(painter, icons, record(21504, 2048), kRect, false);
    painter.end();
    EXPECT_EQ(at(wide, kWidth - 1, kItemHeight - 4), SectionItemPainter::kBlue);
    EXPECT_EQ(at(wide, kWidth, kItemHeight - 4), Qt::magenta);
}

TEST(SectionItem, SelectionChangesOnlyFrameBandTroughAndFillColours) {
    SectionRecord r = record(10752, 21504, ckApplication);
    r.TargetFirmware = "*ufif*";
    r.Name = std::string("UFIF Clock\0\0\0\0\0\0", 16);
    const QImage plain = render(r, false);
    const QImage selected = render(r, true);
    EXPECT_EQ(at(selected, 1, 1), SectionItemPainter::kBlue);
    EXPECT_EQ(at(selected, 10, kItemHeight - 4), SectionItemPainter::kBlue);
    EXPECT_EQ(gaugeWidth(selected, SectionItemPainter::kLightGreen), 100);
    EXPECT_EQ(at(selected, kWidth - 4, kItemHeight - 4), SectionItemPainter::kBlue) << "trough";
    const QColor swapped[4][2] = {{SectionItemPainter::kLightGrey, SectionItemPainter::kBlue},
                                  {SectionItemPainter::kBlue, SectionItemPainter::kLightGreen}};
    int differing = 0;
    for (int y = 0; y < kItemHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const QColor a = at(plain, x, y), b = at(selected, x, y);
            if (a == b)
                continue;
            ++differing;
            const bool expected =
                (a == swapped[0][0] && b == swapped[0][1]) || (a == swapped[1][0] && b == swapped[1][1]);
            ASSERT_TRUE(expected) << "pixel " << x << "," << y << " changed from " << a.name().toStdString()
                                  << " to " << b.name().toStdString();
        }
    EXPECT_GT(differing, 300);
    EXPECT_TRUE(hasDarkPixelsIn(plain, QRect(25, 3, 150, 13))) << "title";
    EXPECT_TRUE(hasDarkPixelsIn(plain, QRect(25, 18, 60, 13))) << "name";
    EXPECT_TRUE(hasDarkPixelsIn(plain, QRect(kWidth - 60, 18, 52, 13))) << "size";
    EXPECT_FALSE(hasDarkPixelsIn(plain, QRect(kWidth - 8, 18, 6, 13)))
        << "size text ends 8 pixels from the edge";
}

TEST(SectionItem, TitlesFollowTheKindAndTargetFirmware) {
    SectionRecord app = record(100, 2048, ckApplication);
    app.TargetFirmware = "*univ*";
    EXPECT_EQ(SectionItemPainter::titleText(app), "Universal fw. application (PGLDR3)");
    app.TargetFirmware = "*ufif*";
    EXPECT_EQ(SectionItemPainter::titleText(app), "Universal fw. application (UFIF)");
    app.TargetFirmware = "5.1.4/4";
    EXPECT_EQ(SectionItemPainter::titleText(app), "Application for 5.1.4/4");
    app.TargetFirmware = "*UNIV*";
    EXPECT_EQ(SectionItemPainter::titleText(app), "Application for *UNIV*");
    EXPECT_EQ(SectionItemPainter::titleText(record(5, 2048, ckGifImage)), "GIF Image");
    EXPECT_EQ(SectionItemPainter::titleText(record(5, 2048, ckUnknownData)), "Unknown data");
}

TEST(SectionIcons, PagesAreTransparentOutsideThePageAndAtTheFoldedCorner) {
    const SectionIcons icons;
    for (int kind = 0; kind < 4; ++kind) {
        const QImage& icon = icons.icon(kind);
        ASSERT_EQ(icon.size(), QSize(22, 26));
        EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(icon.pixel(21, 25)), 0);
        EXPECT_EQ(qAlpha(icon.pixel(20, 1)), 0) << "folded corner of icon " << kind;
        EXPECT_EQ(qAlpha(icon.pixel(1, 24)), 255);
        EXPECT_EQ(qAlpha(icon.pixel(10, 12)), 255);
    }
    EXPECT_EQ(icons.icon(ckNone).pixelColor(1, 12), QColor(221, 221, 221));
    EXPECT_EQ(icons.icon(ckApplication).pixelColor(1, 12), Qt::black);
}

TEST(SectionInfoTexts, DescribeEachRangeOfSections) {
    SectionRecord r = record(-1, 21504, ckNone);
    SectionInfo info = sectionInfo(10, r);
    EXPECT_EQ(info.title, "Section 18-09");
    EXPECT_EQ(info.sectionId, "18-09");
    EXPECT_EQ(info.usedBy, "PRGLoader v2.0 && newer\r\nOOK2 1b2+ && newer");
    EXPECT_EQ(info.sectionSize, "21 kB (large)");
    EXPECT_EQ(info.sizeUsed, "(empty)");
    EXPECT_EQ(info.sizeStatus, "EMPTY");
    EXPECT_EQ(info.contentType, "(none)");
    EXPECT_EQ(info.uploadCaption, "Upload");
    EXPECT_FALSE(info.actionsEnabled);
    EXPECT_FALSE(info.showRequirements);

    EXPECT_EQ(sectionUsedBy(0), "PRGLoader v3.0\r\nOOK2 1b2+ && newer");
    EXPECT_EQ(sectionUsedBy(4), "PRGLoader v3.0\r\nOOK2 1b2+ && newer");
    EXPECT_EQ(sectionUsedBy(5), "PRGLoader v3.0");
    EXPECT_EQ(sectionUsedBy(9), "PRGLoader v3.0");
    EXPECT_EQ(sectionUsedBy(15), "PRGLoader v2.0 && newer\r\nOOK2 1b2+ && newer");
    EXPECT_EQ(sectionUsedBy(21), "PRGLoader v3.0\r\nOOK2 1b4+ && newer");
    EXPECT_EQ(sectionUsedBy(22), "PRGLoader v3.0");
    EXPECT_EQ(sectionInfo(9, record(0, 2048)).sectionSize, "2 kB (small)");

    SectionRecord zero = record(0, 2048, ckUnknownData);
    info = sectionInfo(3, zero);
    EXPECT_EQ(info.sizeUsed, "0 bytes");
    EXPECT_EQ(info.sizeStatus, "0 bytes");
    EXPECT_EQ(info.uploadCaption, "Change");
    EXPECT_TRUE(info.actionsEnabled);
    EXPECT_EQ(info.contentType, "Unknown Data");
}

TEST(SectionInfoTexts, RequirementsOfEachApplicationType) {
    SectionRecord app = record(1234, 21504, ckApplication);
    app.Header[2] = 0x05;
    app.TargetFirmware = "5.1.4/4";
    SectionInfo info = sectionInfo(12, app);
    EXPECT_TRUE(info.showRequirements);
    EXPECT_EQ(info.phone, "Sony CMD-J5/J6");
    EXPECT_EQ(info.firmware, "PRGLoader v2.0 or newer\r\n5.1.4/4");
    EXPECT_EQ(info.sizeUsed, "1234 bytes");
    app.Header[2] = 0x03;
    app.TargetFirmware = "3.1.B/42";
    EXPECT_EQ(sectionInfo(12, app).phone, "Sony CMD-J7/J70");
    EXPECT_EQ(sectionInfo(12, app).firmware, "OOK2 mod firmware\r\n3.1.B/42");
    app.Header[2] = 0x00;
    EXPECT_EQ(sectionInfo(12, app).phone, "Sony CMD-Jxx Mobile");
    EXPECT_EQ(sectionInfo(12, app).firmware, "Firmware with UFIF");
    app.Header[2] = 0xC0;
    EXPECT_EQ(sectionInfo(12, app).firmware, "PRGLoader v3.0\r\n5.1.4/4");
    EXPECT_EQ(sectionInfo(12, record(10, 21504, ckGifImage)).contentType, "GIF Image");
    EXPECT_FALSE(sectionInfo(12, record(10, 21504, ckGifImage)).showRequirements);
}
