#include "PortMapDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>

std::vector<PortMapDialog::Item> PortMapDialog::items(const std::vector<SerialPorts::Device>& devices,
                                                      const QString& mapped) {
    std::vector<Item> items{{"(none)", {}}};
    for (const SerialPorts::Device& d : devices)
        items.push_back({d.description.isEmpty() ? d.path : d.path + "  " + d.description, d.path});
    const bool listed =
        std::any_of(items.begin(), items.end(), [&](const Item& i) { return i.device == mapped; });
    if (!mapped.isEmpty() && !listed)
        items.push_back({mapped + "  (not present)", mapped});
    return items;
}

PortMapDialog::PortMapDialog(int com, const std::vector<SerialPorts::Device>& devices, const QString& mapped,
                             QWidget* parent)
    : QDialog(parent), items_(items(devices, mapped)) {
    setWindowTitle(QString("COM %1").arg(com));
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(QString("Serial device for COM %1:").arg(com), this);
    list_ = new QComboBox(this);
    list_->setObjectName("Devices");
    label->setBuddy(list_);
    for (const Item& item : items_)
        list_->addItem(item.label);
    const auto current =
        std::find_if(items_.begin(), items_.end(), [&](const Item& i) { return i.device == mapped; });
    list_->setCurrentIndex(static_cast<int>(current - items_.begin()));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(label);
    layout->addWidget(list_);
    layout->addWidget(buttons);
}

QString PortMapDialog::device() const {
    const int index = list_->currentIndex();
    return index >= 0 && index < static_cast<int>(items_.size())
               ? items_[static_cast<std::size_t>(index)].device
               : QString();
}
