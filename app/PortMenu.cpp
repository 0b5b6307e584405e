#include "PortMenu.h"

#include "Backend.h"
#include "BridgeLink.h"
#include "DiagnosticLog.h"
#include "Doctor.h"
#include "DoctorDialog.h"
#include "ErrorReport.h"
#include "PortMapDialog.h"
#include "PortMapping.h"
#include "Unit1.h"
#include "WaitCursor.h"

#include <QAction>
#include <QMenu>

namespace {
const QChar kEllipsis(0x2026);
}

PortMenu::PortMenu(TForm1& form, Dialogs& dialogs, QSettings& settings, const Backend& backend,
                   DiagnosticLog& log)
    : QObject(&form), form_(form), dialogs_(dialogs), settings_(settings), backend_(backend), log_(log) {
    reportFile_.title = "Save diagnostic report";
    reportFile_.filter = "Text files (*.txt)|*.txt|All files (*.*)|*.*";
    reportFile_.defaultSuffix = "txt";
    reportFile_.fileName = "tarvel-report.txt";

    QMenu* menu = form.portMenu();
    const auto add = [&](const char* name, const QString& text, void (PortMenu::*handler)()) {
        QAction* action = menu->addAction(text);
        action->setObjectName(name);
        connect(action, &QAction::triggered, this,
                [this, handler] { runGuarded(dialogs_, &form_, [this, handler] { (this->*handler)(); }); });
        return action;
    };
    const BridgeLink* bridge = backend.bridge();
    if (bridge && !bridge->setup().launcher.isEmpty()) {
        QAction* map = add("mnuPortMapping", {}, &PortMenu::mapPort);
        connect(menu, &QMenu::aboutToShow, map, [this, map] {
            map->setText(QString("Serial device for COM %1%2").arg(form_.chosenPort()).arg(kEllipsis));
        });
    }
    add("mnuCheckSetUp", QString("Check the set-up%1").arg(kEllipsis), &PortMenu::checkSetUp);
    add("mnuSaveReport", QString("Save diagnostic report%1").arg(kEllipsis), &PortMenu::saveReport);
}

void PortMenu::checkSetUp() {
    DoctorDialog dialog(Doctor::setupFor(backend_.choice, form_.chosenPort()), backend_.bridge(), &form_);
    dialog.exec();
}

void PortMenu::saveReport() {
    const std::optional<QString> path = dialogs_.saveFileName(&form_, reportFile_);
    if (path)
        log_.save(*path); // a file error goes to the standard error report
}

void PortMenu::mapPort() {
    const int com = form_.chosenPort();
    const QString prefix = SerialPorts::winePrefix();
    PortMapDialog dialog(com, SerialPorts::listMachine(), SerialPorts::mappedDevice(prefix, com), &form_);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const WaitCursor busy; // Wine takes the mapping into its registry
    const QString error = PortMapping::set(prefix, settings_, com, dialog.device(), PortMapping::wine());
    if (!error.isEmpty())
        dialogs_.messageBox(&form_, {"Tarvel", error, MsgIcon::Warning});
}
