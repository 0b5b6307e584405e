#include "SerialPorts.h"

#include <gtest/gtest.h>

TEST(WindowsPorts, ListsTheRegistrysComPortsInOrderWithTheDeviceManagersNames) {
    const SerialPorts::Device ftdi =
        SerialPorts::describedPort("USB Serial Port (COM10)", "FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000");
    EXPECT_EQ(ftdi.description, "USB Serial Port (0403:6001)");
    EXPECT_TRUE(ftdi.usb);
    const SerialPorts::Device uart =
        SerialPorts::describedPort("Communications Port (COM1)", "ACPI\\PNP0501");
    EXPECT_EQ(uart.description, "Communications Port");
    EXPECT_FALSE(uart.usb);

    const auto ports = SerialPorts::fromSerialComm(
        {{"\\Device\\VCP0", "COM10"}, {"\\Device\\Serial0", "COM1"}, {"\\Device\\Odd", "LPT1"}},
        {{"COM10", ftdi}, {"COM1", uart}});
    ASSERT_EQ(ports.size(), 2u) << "only COM ports";
    EXPECT_EQ(ports[0].name, "COM1");
    EXPECT_EQ(ports[0].path, "\\Device\\Serial0");
    EXPECT_EQ(ports[0].com, 1);
    EXPECT_EQ(ports[1].com, 10) << "in order of number, not of name";
    EXPECT_EQ(ports[1].description, "USB Serial Port (0403:6001)");
}

#ifdef _WIN32
TEST(WindowsPorts, ListsThisSystemsPortsByTheirComNames) {
    // Wine names in the registry the COM ports its prefix links to a device; Windows, its own.
    for (const SerialPorts::Device& port : SerialPorts::listWindows()) {
        EXPECT_EQ(port.name, QString("COM%1").arg(port.com));
        EXPECT_TRUE(port.path.startsWith("\\Device\\")) << port.path.toStdString();
    }
}
#endif
