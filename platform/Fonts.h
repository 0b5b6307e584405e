#pragma once
// The fonts the windows are laid out for: Tahoma (regular and bold), the Marlett symbol font and
// Fixedsys, loaded from the fonts-wine package. When a file is missing, the default sans (or monospace)
// font stands in for it.
#include <QFont>
#include <QString>

namespace Fonts {

// Loads the font files once; later calls do nothing. Returns how many files were loaded.
int load(const QString& folder = QStringLiteral("/usr/share/wine/fonts"));

// Tahoma at a character height in pixels.
QFont tahoma(int pixelSize = 11, bool bold = false);
// Marlett at a character height in pixels ("3" and "4" are the left and right triangles).
QFont marlett(int pixelSize, bool bold = false);
bool haveMarlett();
// Fixedsys, or a monospace font.
QFont fixedsys();

} // namespace Fonts
