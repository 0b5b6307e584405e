#pragma once
// Which serial device a COM port of Tarvel's Wine prefix reaches: a drop-down list of the machine's
// serial devices, and "(none)". Opened from the port list's context menu.
#include "SerialPorts.h"

#include <QDialog>
#include <QString>
#include <vector>

class QComboBox;

class PortMapDialog : public QDialog {
    Q_OBJECT
  public:
    struct Item {
        QString label;  // "/dev/ttyUSB0  FTDI FT232R USB UART (0403:6001)"
        QString device; // empty: no device
    };
    // "(none)", then the devices; a mapped device that is not among them (unplugged) is kept, marked.
    static std::vector<Item> items(const std::vector<SerialPorts::Device>& devices, const QString& mapped);

    PortMapDialog(int com, const std::vector<SerialPorts::Device>& devices, const QString& mapped,
                  QWidget* parent = nullptr);
    // The device chosen; empty for none.
    QString device() const;

  private:
    std::vector<Item> items_;
    QComboBox* list_ = nullptr;
};
