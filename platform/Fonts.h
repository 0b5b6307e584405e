#pragma once
// The fonts the windows are laid out for: Tahoma (regular and bold), the Marlett symbol font and
// Fixedsys, found by family name through fontconfig: first among the system's fonts, then in Wine's
// font folders (Debian's fonts-wine keeps them out of the system's configuration). When a family is not
// found, the default sans (or monospace) font stands in for it.
#include <QFont>
#include <QString>
#include <QStringList>

namespace Fonts {

// The folders where Wine installations keep their fonts.
QStringList wineFontFolders();

// The TrueType or OpenType files whose family is exactly `family`, as fontconfig lists them: from the
// given folders, or from the system's font configuration when `folders` is empty. Empty when none is
// found or fontconfig is not available.
QStringList familyFiles(const QString& family, const QStringList& folders = {});

// Loads the three families once; later calls do nothing. A family the system lacks is looked for in
// `fallbackFolders`. Returns how many font files were loaded.
int load(const QStringList& fallbackFolders = wineFontFolders());

// Tahoma at a character height in pixels.
QFont tahoma(int pixelSize = 11, bool bold = false);
// Marlett at a character height in pixels ("3" and "4" are the left and right triangles).
QFont marlett(int pixelSize, bool bold = false);
bool haveMarlett();
// Fixedsys, or a monospace font.
QFont fixedsys();

} // namespace Fonts
