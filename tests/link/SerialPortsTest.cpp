#include "SerialPorts.h"

#include "PortMapping.h"

#include "FakeSysfs.h"
#include "QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString kHub = "pci0000:00/0000:00:14.0/usb1";

// A machine with an FTDI adapter (ttyUSB0), a CDC modem (ttyACM0), a UART (ttyS0), the 8250 driver's
// empty lines (ttyS1), a UART with no driver (ttyS2), a USB tty without a node and a console.
class SerialMachine : public testing::Test {
  protected:
    QTemporaryDir dir;
    FakeSysfs fake{dir.path()};

    void SetUp() override {
        // The root hub has its own idVendor: the walk up must stop at the nearest USB device.
        fake.device(kHub, {{"idVendor", "1d6b"}, {"idProduct", "0002"}, {"product", "xHCI Host Controller"}});
        fake.device(kHub + "/1-2", {{"idVendor", "0403"},
                                    {"idProduct", "6001"},
                                    {"manufacturer", "FTDI"},
                                    {"product", "FT232R USB UART"},
                                    {"serial", "A50285BI"}});
        fake.tty("ttyUSB0", kHub + "/1-2/1-2:1.0/ttyUSB0");
        fake.device(kHub + "/1-3", {{"idVendor", "0fce"}, {"idProduct", "d008"}, {"product", "CDC Modem"}});
        fake.tty("ttyACM0", kHub + "/1-3/1-3:1.0");
        fake.device(kHub + "/1-4", {{"idVendor", "067b"}, {"idProduct", "2303"}});
        fake.tty("ttyUSB1", kHub + "/1-4/1-4:1.0/ttyUSB1", {}, false);
        fake.tty("ttyS0", "pnp0/00:01", {{"type", "4"}});
        fake.bindDriver("pnp0/00:01", "pnp", "serial");
        fake.tty("ttyS1", "platform/serial8250", {{"type", "0"}});
        fake.bindDriver("platform/serial8250", "platform", "serial8250");
        fake.tty("ttyS2", "pnp0/00:02", {{"type", "4"}});
        fake.tty("tty1", "virtual/tty");
    }
};

} // namespace

TEST_F(SerialMachine, ListsUsbAndAcmDevicesWithTheirDescriptionsAndOnlyRealUarts) {
    const std::vector<SerialPorts::Device> devices = SerialPorts::list(fake.sys(), fake.dev());
    QStringList names;
    for (const SerialPorts::Device& d : devices)
        names << d.name;
    ASSERT_EQ(names.join(" ").toStdString(), "ttyUSB0 ttyACM0 ttyS0")
        << "wanted the USB, ACM and real UART devices with nodes, USB first";
    EXPECT_EQ(devices[0].path, fake.dev() + "/ttyUSB0");
    EXPECT_EQ(devices[0].description, "FTDI FT232R USB UART (0403:6001, serial A50285BI)");
    EXPECT_TRUE(devices[0].usb);
    EXPECT_EQ(devices[1].description, "CDC Modem (0fce:d008)");
    EXPECT_EQ(devices[2].description, "") << "a UART has no USB description";
    EXPECT_FALSE(devices[2].usb);
}

TEST_F(SerialMachine, MapsEachDeviceToTheLowestComPortThatLeadsToIt) {
    const QString prefix = dir.filePath("prefix");
    const QString dosdevices = prefix + "/dosdevices";
    QDir().mkpath(dosdevices);
    QDir().mkpath(prefix + "/drive_c");
    FakeSysfs::link(prefix + "/drive_c", dosdevices + "/c:");
    // com1 reaches ttyUSB0 through a by-id link, com3 directly; com2 names a device that is gone.
    QDir().mkpath(fake.dev() + "/serial/by-id");
    FakeSysfs::link(fake.dev() + "/ttyUSB0", fake.dev() + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI");
    FakeSysfs::link(fake.dev() + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI", dosdevices + "/com1");
    FakeSysfs::link(fake.dev() + "/ttyUSB9", dosdevices + "/com2");
    FakeSysfs::link(fake.dev() + "/ttyUSB0", dosdevices + "/com3");
    FakeSysfs::link(fake.dev() + "/ttyS0", dosdevices + "/com33"); // as Wine numbers the ports it finds

    const std::vector<SerialPorts::Device> devices =
        SerialPorts::withComPorts(SerialPorts::list(fake.sys(), fake.dev()), prefix);
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[0].com, 1) << "ttyUSB0";
    EXPECT_EQ(devices[1].com, 0) << "ttyACM0 has no link";
    EXPECT_EQ(devices[2].com, 33) << "ttyS0";

    for (const SerialPorts::Device& d : SerialPorts::withComPorts(devices, dir.filePath("no-prefix")))
        EXPECT_EQ(d.com, 0) << d.name.toStdString() << " is mapped in a prefix that does not exist";
}

TEST_F(SerialMachine, PortMappingMakesKeepsAndAutoMapsTheLinksInAScratchPrefix) {
    const QString prefix = dir.filePath("new-prefix");
    const QString dosdevices = prefix + "/dosdevices";
    QSettings settings(dir.filePath("settings.ini"), QSettings::IniFormat);
    const QString usb0 = fake.dev() + "/ttyUSB0";
    const std::vector<SerialPorts::Device> devices = SerialPorts::list(fake.sys(), fake.dev());

    // The only USB serial device goes to COM 1 in a prefix Wine has not made yet, with the drives Wine
    // would make; a given mapping is made and kept too.
    PortMapping::Applied applied =
        PortMapping::apply(prefix, {{3, fake.dev() + "/ttyS0"}}, settings, {devices[0], devices[2]});
    EXPECT_TRUE(applied.errors.isEmpty()) << applied.errors.join(QChar(10)).toStdString();
    ASSERT_EQ(applied.notes.size(), 1);
    EXPECT_TRUE(applied.notes[0].startsWith("COM 1 is now linked to " + usb0 + " (FTDI FT232R USB UART"))
        << applied.notes[0].toStdString();
    EXPECT_EQ(QFileInfo(dosdevices + "/z:").symLinkTarget(), "/");
    EXPECT_EQ(QFileInfo(dosdevices + "/c:").canonicalFilePath(),
              QFileInfo(prefix + "/drive_c").canonicalFilePath());
    EXPECT_EQ(SerialPorts::mappedDevice(prefix, 1), usb0);
    EXPECT_EQ(SerialPorts::mappedDevice(prefix, 3), fake.dev() + "/ttyS0");
    EXPECT_EQ(PortMapping::saved(settings), (std::map<int, QString>{{1, usb0}, {3, fake.dev() + "/ttyS0"}}));

    // Told once; two USB devices are not guessed between; a kept mapping is made again after Wine lost it.
    QFile::remove(dosdevices + "/com3");
    applied = PortMapping::apply(prefix, {}, settings, devices);
    EXPECT_TRUE(applied.notes.isEmpty());
    EXPECT_EQ(SerialPorts::mappedDevice(prefix, 3), fake.dev() + "/ttyS0");
    EXPECT_EQ(PortMapping::set(prefix, settings, 1, {}, {"true"}), "");
    applied = PortMapping::apply(prefix, {}, settings, devices);
    EXPECT_TRUE(applied.notes.isEmpty()) << "ttyUSB0 and ttyACM0 are both USB";
    EXPECT_EQ(SerialPorts::mappedDevice(prefix, 1), "");

    // The window's choice replaces a link; what is not a link is left alone.
    EXPECT_EQ(PortMapping::set(prefix, settings, 3, usb0, {"true"}), "");
    EXPECT_EQ(SerialPorts::mappedDevice(prefix, 3), usb0);
    QFile file(dosdevices + "/com4");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_TRUE(PortMapping::set(prefix, settings, 4, usb0, {"true"}).contains("is not a link"));
    EXPECT_TRUE(QFileInfo(dosdevices + "/com4").isFile());
    EXPECT_FALSE(PortMapping::saved(settings).count(4));
    EXPECT_FALSE(SerialPorts::mapPort(prefix, 9, usb0).isEmpty());

    EXPECT_TRUE(PortMapping::set(prefix, settings, 2, usb0, {"false"}).contains("registry"));

    // Wine's registry is told exactly the kept mappings, values of other ports removed.
    QFile reg(prefix + "/system.reg");
    ASSERT_TRUE(reg.open(QIODevice::WriteOnly));
    reg.write("WINE REGISTRY Version 2\n\n[Software\\\\Wine\\\\Ports] 1796757156\n#time=1dd874815ab8fec\n"
              "\"COM1\"=\"/dev/null\"\n\"COM2\"=\"/dev/a\\\\\\\"b\"\n\n[Software\\\\Wine\\\\Other] "
              "1\n\"COM5\"=\"x\"\n");
    reg.close();
    EXPECT_EQ(PortMapping::registryPorts(prefix),
              (std::map<int, QString>{{1, "/dev/null"}, {2, "/dev/a\\\"b"}}));
    EXPECT_EQ(PortMapping::registryUpdate(prefix, {{1, "/dev/null"}, {2, "/dev/a\\\"b"}}), QByteArray());
    EXPECT_EQ(PortMapping::registryUpdate(prefix, {{2, "/dev/ttyUSB0"}, {3, "/dev/ttyS0"}}),
              "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n\"COM1\"=-\r\n"
              "\"COM2\"=\"/dev/ttyUSB0\"\r\n\"COM3\"=\"/dev/ttyS0\"\r\n");

    int com = 0;
    QString device;
    EXPECT_TRUE(SerialPorts::parseMapping("com2=/dev/ttyUSB1", com, device));
    EXPECT_EQ(com, 2);
    EXPECT_EQ(device, "/dev/ttyUSB1");
    for (const char* bad : {"COM9=/dev/ttyS0", "COM1=ttyUSB0", "COM1", "LPT1=/dev/lp0"})
        EXPECT_FALSE(SerialPorts::parseMapping(bad, com, device)) << bad;
}
