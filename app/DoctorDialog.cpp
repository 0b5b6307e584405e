#include "DoctorDialog.h"

#include "BridgeLink.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>
#include <memory>

DoctorDialog::DoctorDialog(DoctorSetup setup, BridgeLink* liveBridge, QWidget* parent) : QDialog(parent) {
    setWindowTitle("Check the link to the phone");
    resize(760, 300);
    box_ = new QPlainTextEdit(this);
    box_->setReadOnly(true);
    box_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    box_->setPlainText("Checking the link to the phone...");
    auto* buttons = new QDialogButtonBox(this);
    copy_ = buttons->addButton("Copy", QDialogButtonBox::ActionRole);
    copy_->setEnabled(false);
    QPushButton* close = buttons->addButton("Close", QDialogButtonBox::RejectRole);
    close->setDefault(true);
    connect(copy_, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(box_->toPlainText()); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(box_);
    layout->addWidget(buttons);

    setup.probe = false;
    setup.cancel = &cancel_;
    if (liveBridge) // its QProcess belongs to this thread
        setup.liveBridge = DoctorLiveBridge{liveBridge->pollStart(), liveBridge->lastError()};
    // The worker's QProcesses are made and ended on its own thread; the text comes back by a queued call.
    auto report = std::make_shared<QString>();
    worker_ =
        QThread::create([setup, report] { *report = Doctor::reportText(Doctor::run(setup), setup.port); });
    connect(worker_, &QThread::finished, this, [this, report] { showReport(*report); });
    worker_->start();
}

DoctorDialog::~DoctorDialog() {
    cancel_ = true;
    worker_->wait();
    delete worker_;
}

QString DoctorDialog::text() const {
    return box_->toPlainText();
}

void DoctorDialog::showReport(const QString& report) {
    box_->setPlainText(report);
    copy_->setEnabled(true);
    done_ = true;
    emit reportReady();
}
