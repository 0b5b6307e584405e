#pragma once
// The serial devices of the machine, as sysfs shows them, and the COM ports a Wine prefix maps to them.
// Read only: nothing here opens a device or changes a link.
#include <QString>
#include <map>
#include <utility>
#include <vector>

namespace SerialPorts {

struct Device {
    QString name;        // "ttyUSB0"
    QString path;        // "/dev/ttyUSB0"
    QString description; // from the USB device: "FTDI FT232R USB UART (0403:6001, serial A50285BI)"
    bool usb = false;    // behind a USB device (its description may still be empty)
    int com = 0;         // the COM port the Wine prefix links to it; 0: none
};

// The ttyUSB*, ttyACM* and ttyS* devices of sysfsRoot/class/tty whose node exists under devRoot, a ttyS
// only where a UART is really behind it; in order of kind, then number (ttyUSB2 before ttyUSB10).
std::vector<Device> list(const QString& sysfsRoot = "/sys", const QString& devRoot = "/dev");

// This machine's sysfs and /dev (TARVEL_SYSFS_ROOT and TARVEL_DEV_ROOT stand in for them in tests).
QString sysfsRoot();
QString devRoot();
// list() of this machine.
std::vector<Device> listMachine();

// Windows' own COM ports: values of HARDWARE\DEVICEMAP\SERIALCOMM (the kernel's device name, such as
// "\Device\VCP0", and "COM3"), described by the device manager's names of the ports by their COM name.
// In order of COM number; each with com set, path the device name and name the COM name.
std::vector<Device> fromSerialComm(const std::vector<std::pair<QString, QString>>& values,
                                   const std::map<QString, Device>& described);
// A port's description from its device manager name and first hardware id: "USB Serial Port (COM3)" and
// "FTDIBUS\VID_0403+PID_6001+A50285BIA\0000" give "USB Serial Port (0403:6001)", with usb set.
Device describedPort(const QString& friendlyName, const QString& hardwareId);
#ifdef _WIN32
// fromSerialComm() of this system's registry and device manager.
std::vector<Device> listWindows();
#endif

// Tarvel's Wine prefix: TARVEL_WINEPREFIX, else WINEPREFIX, else "wine" in the data folder. It may not
// exist yet.
QString winePrefix();

// devices with com set from prefix/dosdevices/comN, the lowest N whose link points at the device
// (directly or through other links, such as /dev/serial/by-id/...). A missing prefix maps nothing.
std::vector<Device> withComPorts(std::vector<Device> devices, const QString& prefix);

// The device prefix/dosdevices/comN links to, as written in the link; empty when unmapped.
QString mappedDevice(const QString& prefix, int com);

// Links COM com (1 to 8) to device in prefix, replacing an earlier link of that port. A prefix Wine has
// not made yet gets the dosdevices folder Wine would make. Empty on success, else why not.
QString mapPort(const QString& prefix, int com, const QString& device);
// Removes the link of COM com, if any. Empty on success, else why not.
QString unmapPort(const QString& prefix, int com);

// A mapping as written on the command line and in the settings: "COM1=/dev/ttyUSB0" (the port's name
// in any case). False when it is not one.
bool parseMapping(const QString& text, int& com, QString& device);

} // namespace SerialPorts
