#pragma once
// Which serial device each COM port of Tarvel's Wine prefix reaches. The mappings are kept in the
// settings file (group "Serial", keys COM1 to COM8) and made as links in the prefix's dosdevices, so
// that the library opens the device when it opens the port.
#include "SerialPorts.h"

#include <QString>
#include <QStringList>
#include <map>
#include <vector>

class QSettings;
struct Backend;

namespace PortMapping {

// The settings' mappings, port to device path.
std::map<int, QString> saved(QSettings& settings);
// Keeps a mapping; an empty device forgets the port's.
void save(QSettings& settings, int com, const QString& device);

struct Applied {
    QStringList notes;  // what the user is told once ("COM 1 is now linked to ...")
    QStringList errors; // mappings that could not be made, and why
};

// What a program with a library does before the bridge starts: the given mappings (--serial) are kept
// in the settings, every kept mapping is made in prefix, and when COM 1 is still unmapped and exactly
// one USB serial device exists among devices, COM 1 is linked to it and kept.
Applied apply(const QString& prefix, const std::map<int, QString>& given, QSettings& settings,
              const std::vector<SerialPorts::Device>& devices);

// apply() for a program that has just bound backend, with Tarvel's prefix, the settings file and this
// machine's devices; nothing where no bridge runs under Wine and nothing is given. (No Wine on Windows:
// there the COM ports are the system's own.)
Applied startUp(const Backend& backend, const std::map<int, QString>& given);

// Maps one port as the window's dialog does: made in prefix and kept (an empty device removes both).
// Empty on success, else why not.
QString set(const QString& prefix, QSettings& settings, int com, const QString& device);

} // namespace PortMapping
