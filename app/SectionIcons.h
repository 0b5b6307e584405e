#pragma once
// The four content icons of the section list and the View dialog (22 x 26, a page with a folded corner,
// transparent outside the page; index = ContentKind) and the program's yellow folder icon, drawn in code.
#include "SectionTable.h"

#include <QIcon>
#include <QImage>

class SectionIcons {
  public:
    SectionIcons();
    // The icon of a kind; an out-of-range kind gives the empty page.
    const QImage& icon(int kind) const;

    static constexpr int kWidth = 22;
    static constexpr int kHeight = 26;

    // Whether the pixel (x, y) of an icon lies on its page (the folded corner cut off).
    static bool onPage(int x, int y);
    static QIcon programIcon();

  private:
    QImage icons_[4];
};
