#pragma once
// Which serial device each COM port of Tarvel's Wine prefix reaches. The mappings are kept in the
// settings file (group "Serial", keys COM1 to COM8), made as links in the prefix's dosdevices, so that
// the library opens the device when it opens the port, and kept in Wine's registry (the key
// HKLM\Software\Wine\Ports): at each start Wine links the COM ports to the serial devices it finds (ttyS0
// becoming COM 1) except those the registry names.
#include "SerialPorts.h"

#include <QString>
#include <QStringList>
#include <map>
#include <vector>

class QProcess;
class QSettings;
struct Backend;

namespace PortMapping {

// The settings' mappings, port to device path.
std::map<int, QString> saved(QSettings& settings);
// Keeps a mapping; an empty device forgets the port's.
void save(QSettings& settings, int com, const QString& device);

// The --serial values as mappings. Empty on success, else the usage error (also for any value on
// Windows, whose COM ports are the system's own).
QString parseOptions(const QStringList& values, std::map<int, QString>& mappings);

struct Applied {
    QStringList notes;   // what the user is told once ("COM 1 is now linked to ...")
    QStringList errors;  // mappings that could not be made, and why
    QByteArray registry; // the registry update still to make (registryUpdate); empty: none
};

// What a program with a library does before the bridge starts: the given mappings (--serial) are kept
// in the settings, every kept mapping is made in prefix, and when COM 1 is still unmapped and exactly
// one USB serial device exists among devices, COM 1 is linked to it and kept. A mapping Wine made itself
// does not count: only the settings' do.
Applied apply(const QString& prefix, const std::map<int, QString>& given, QSettings& settings,
              const std::vector<SerialPorts::Device>& devices);

// apply() for a program that has just bound backend, with Tarvel's prefix, the settings file and this
// machine's devices; nothing where no bridge runs under Wine and nothing is given. (No Wine on Windows:
// there the COM ports are the system's own.) The registry update is left in the result for the caller
// to make.
Applied startUp(const Backend& backend, const std::map<int, QString>& given);
// What runs Wine's own programs (reg) here.
QStringList wine();

// The COM1..COM8 values of Wine's registry in prefix, read from its system.reg.
std::map<int, QString> registryPorts(const QString& prefix);
// A .reg file that makes Wine's registry hold exactly mappings among COM1..COM8; empty when it does.
QByteArray registryUpdate(const QString& prefix, const std::map<int, QString>& mappings);
// Starts importing update into prefix's registry through launcher (Wine), without waiting: process
// ends with exit code 0 when it worked. The file is written beside the prefix.
void startRegistryUpdate(QProcess& process, const QStringList& launcher, const QString& prefix,
                         const QByteArray& update);
// startRegistryUpdate, waiting for it (Wine making a new prefix takes up to a minute). Empty on success,
// else why not.
QString updateRegistry(const QStringList& launcher, const QString& prefix, const QByteArray& update);

// Maps one port as the window's dialog does: made in prefix, in its registry through launcher, and kept
// (an empty device removes all three). Empty on success, else why not.
QString set(const QString& prefix, QSettings& settings, int com, const QString& device,
            const QStringList& launcher);

} // namespace PortMapping
