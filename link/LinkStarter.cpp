#include "LinkStarter.h"

#include "PortMapping.h"

LinkStarter::LinkStarter(BridgeLink& bridge, QObject* parent) : QObject(parent), bridge_(bridge) {
    poll_.setInterval(100);
    connect(&poll_, &QTimer::timeout, this, &LinkStarter::poll);
    connect(&registry_, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        if (status != QProcess::NormalExit || code != 0)
            emit registryFailed(
                QString("Wine could not take the COM ports into its registry (%1).")
                    .arg(QString::fromLocal8Bit(registry_.readAllStandardError()).trimmed().left(300)));
        launch();
    });
    connect(&registry_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        emit registryFailed(QString("Wine could not be started: %1").arg(registry_.errorString()));
        launch();
    });
}

LinkStarter::~LinkStarter() {
    if (registry_.state() != QProcess::NotRunning) {
        registry_.kill();
        registry_.waitForFinished();
    }
}

void LinkStarter::start(const QByteArray& registry, const QStringList& wine, const QString& prefix) {
    if (registry.isEmpty() || wine.isEmpty()) {
        launch();
        return;
    }
    PortMapping::startRegistryUpdate(registry_, wine, prefix, registry);
}

bool LinkStarter::starting() {
    if (!launched_)
        return true;
    return bridge_.pollStart() == BridgeLink::StartState::Pending;
}

void LinkStarter::launch() {
    if (launched_)
        return;
    launched_ = true;
    bridge_.launch();
    poll_.start();
}

void LinkStarter::poll() {
    const BridgeLink::StartState state = bridge_.pollStart();
    if (state == BridgeLink::StartState::Pending)
        return;
    poll_.stop();
    emit finished(state);
}
