#include "SectionIcons.h"
#include "ProgramIcon.h"

#include <QPainter>
#include <QPainterPath>

namespace {

// The page spans columns 1-20 and rows 1-24; its top-right corner is folded over along a diagonal.
constexpr int kPageLeft = 1, kPageTop = 1, kPageRight = 20, kPageBottom = 24;
constexpr int kFold = 6;

// 4 x 5 bold digits for the application icon.
constexpr const char* kOne[5] = {"..#.", ".##.", "..#.", "..#.", ".###"};
constexpr const char* kZero[5] = {".##.", "#..#", "#..#", "#..#", ".##."};

void drawGlyph(QImage& image, const char* const rows[5], int x, int y) {
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 4; ++c)
            if (rows[r][c] == '#') {
                image.setPixel(x + c, y + r, qRgb(0, 0, 0));
                image.setPixel(x + c + 1, y + r, qRgb(0, 0, 0)); // a second column makes it bold
            }
}

QImage page(QColor outline) {
    QImage image(SectionIcons::kWidth, SectionIcons::kHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    for (int y = 0; y < SectionIcons::kHeight; ++y)
        for (int x = 0; x < SectionIcons::kWidth; ++x) {
            if (!SectionIcons::onPage(x, y))
                continue;
            const bool edge = x == kPageLeft || x == kPageRight || y == kPageTop || y == kPageBottom ||
                              x - (kPageRight - kFold) == y - kPageTop; // the fold's diagonal
            image.setPixel(x, y, edge ? outline.rgb() : qRgb(255, 255, 255));
        }
    // The turned-down flap of the corner.
    for (int i = 0; i <= kFold; ++i) {
        image.setPixel(kPageRight - kFold, kPageTop + i, outline.rgb());
        image.setPixel(kPageRight - kFold + i, kPageTop + kFold, outline.rgb());
    }
    return image;
}

} // namespace

bool SectionIcons::onPage(int x, int y) {
    if (x < kPageLeft || x > kPageRight || y < kPageTop || y > kPageBottom)
        return false;
    return x - (kPageRight - kFold) <= y - kPageTop;
}

SectionIcons::SectionIcons() {
    icons_[ckNone] = page(QColor(221, 221, 221));

    QImage app = page(Qt::black);
    const char* const* rows[3][2] = {{kOne, kZero}, {kZero, kOne}, {kOne, kZero}};
    for (int r = 0; r < 3; ++r)
        for (int d = 0; d < 2; ++d)
            drawGlyph(app, rows[r][d], 4 + d * 6, 7 + r * 6);
    icons_[ckApplication] = app;

    QImage gif = page(Qt::black);
    {
        QPainter p(&gif);
        p.fillRect(QRect(4, 13, 6, 6), QColor(220, 30, 30));
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 160, 60));
        p.drawEllipse(QPointF(13.5, 10.5), 3.5, 3.5);
        p.setBrush(QColor(20, 60, 220));
        p.drawPolygon(QPolygonF({QPointF(10, 22.5), QPointF(18.5, 22.5), QPointF(14.25, 15)}));
    }
    icons_[ckGifImage] = gif;

    QImage unknown = page(Qt::black);
    {
        QPainter p(&unknown);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Qt::black, 2.6, Qt::SolidLine, Qt::RoundCap));
        QPainterPath hook;
        hook.moveTo(6.5, 10);
        hook.cubicTo(6.5, 4.5, 15.5, 4.5, 15.5, 9.5);
        hook.cubicTo(15.5, 13, 11, 13, 11, 17);
        p.drawPath(hook);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        p.drawEllipse(QPointF(11, 21), 1.6, 1.6);
    }
    icons_[ckUnknownData] = unknown;
}

const QImage& SectionIcons::icon(int kind) const {
    return icons_[kind >= 0 && kind < 4 ? kind : ckNone];
}

QIcon SectionIcons::programIcon() {
    QIcon icon;
    for (int size : {16, 32, 48})
        icon.addPixmap(QPixmap::fromImage(ProgramIcon::image(size)));
    return icon;
}
