#pragma once
// Label captions as the program writes them ("\r\n" for a line break, "&&" for one ampersand, a single
// "&" marking an accelerator) turned into the text a Qt label shows.
#include <QString>

QString labelDisplayText(const QString& caption);
