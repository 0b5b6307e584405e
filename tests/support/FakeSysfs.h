#pragma once
// A sysfs tree and a /dev folder inside a test's folder, linked as Linux links them: class/tty/NAME
// points into devices/, and the tty's "device" points up at the device it belongs to. Device nodes are
// plain files, so no test needs the right to make real ones.
#include "TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>

class FakeSysfs {
  public:
    explicit FakeSysfs(const QString& folder) : sys_(folder + "/sys"), dev_(folder + "/dev") {
        QDir().mkpath(sys_ + "/class/tty");
        QDir().mkpath(dev_);
    }

    const QString& sys() const { return sys_; }
    const QString& dev() const { return dev_; }

    // A device folder devices/PATH with attribute files ("idVendor" holding "0403").
    void device(const QString& path, const std::map<QString, QString>& attributes = {}) {
        const QString folder = sys_ + "/devices/" + path;
        QDir().mkpath(folder);
        for (const auto& [name, value] : attributes)
            writeFile(folder + "/" + name, value.toUtf8() + "\n");
    }

    // Binds devices/PATH to a driver of the bus, as its "driver" link.
    void bindDriver(const QString& path, const QString& bus, const QString& driver) {
        const QString driverFolder = sys_ + "/bus/" + bus + "/drivers/" + driver;
        QDir().mkpath(driverFolder);
        link(driverFolder, sys_ + "/devices/" + path + "/driver");
    }

    // The tty NAME of devices/PATH, with attributes of its own ("type") and, when node, its /dev node.
    void tty(const QString& name, const QString& path, const std::map<QString, QString>& attributes = {},
             bool node = true) {
        device(path + "/tty/" + name, attributes);
        const QString folder = sys_ + "/devices/" + path + "/tty/" + name;
        link(sys_ + "/devices/" + path, folder + "/device");
        link(folder, sys_ + "/class/tty/" + name);
        if (node)
            writeFile(dev_ + "/" + name, {});
    }

    // A relative symbolic link at at to target, as sysfs and Wine's dosdevices make them.
    static void link(const QString& target, const QString& at) {
        const QString relative = QDir(QFileInfo(at).absolutePath()).relativeFilePath(target);
        std::error_code error;
        std::filesystem::create_symlink(relative.toStdString(), at.toStdString(), error);
        EXPECT_FALSE(error) << at.toStdString() << ": " << error.message();
    }

  private:
    QString sys_, dev_;
};
