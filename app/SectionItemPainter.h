#pragma once
// One item of the section list: its rectangles (a pure function of the item rectangle and the record)
// and its painting.
#include "SectionIcons.h"
#include "SectionTable.h"

#include <QRect>
#include <QString>

class QPainter;

struct SectionItemGeometry {
    QRect frame;       // the one-pixel outline, as a rectangle whose edges are the outline's lines
    QRect band;        // coloured band behind the icon
    QPoint icon;       // top-left corner of the icon
    QRect trough;      // gauge background (empty for an empty section)
    QRect gauge;       // gauge fill (empty when nothing shows)
    QPoint title;      // top-left corner of the bold title
    QPoint name;       // top-left corner of the application's name
    int sizeRight = 0; // the size text ends here (exclusive)
    int percent = 0;
};

class SectionItemPainter {
  public:
    // Rectangles of an item drawn in rect (Qt's inclusive rectangle) for a section of size and capacity.
    static SectionItemGeometry geometry(const QRect& rect, int32_t size, int32_t capacity);
    // The bold title line of a record.
    static QString titleText(const SectionRecord& record);
    // What a screen reader says for the item: "18-09, Universal fw. application (PGLDR3), PGLDR3 Tetris,
    // 8420 bytes", or "02-10, empty".
    static QString accessibleText(const SectionRecord& record);
    // Paints the item of record into rect.
    static void paint(QPainter& painter, const SectionIcons& icons, const SectionRecord& record,
                      const QRect& rect, bool selected);
    // The focus rectangle over a whole item: every other pixel of its edge, in a checker pattern.
    static void paintFocusRect(QPainter& painter, const QRect& rect);

    static inline const QColor kWhite{255, 255, 255};
    static inline const QColor kBlue{0, 94, 182};
    static inline const QColor kLightGreen{192, 255, 192};
    static inline const QColor kLightGrey{221, 221, 221};
};
