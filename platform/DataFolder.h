#pragma once
// The folder of the user's own Tarvel data (the virtual phone, backups, the Wine prefix, GBP.DLL):
// ~/.local/share/Tarvel on Linux, %APPDATA%\Tarvel on Windows. TARVEL_DATA_HOME, when set, is the folder
// that holds it instead; tests keep their data apart with it (Windows has no variable for this).
#include <QString>

namespace DataFolder {
QString path();
}
