#pragma once
// Starts the bridge in the background as the program starts, so that the first Reload does not wait for
// Wine: first Wine's registry update of the COM ports when one is due (PortMapping), then the bridge.
// The GUI thread polls it; nothing here blocks.
#include "BridgeLink.h"

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTimer>

class LinkStarter : public QObject {
    Q_OBJECT
  public:
    explicit LinkStarter(BridgeLink& bridge, QObject* parent = nullptr);
    ~LinkStarter() override;

    // registry: the update to import into prefix first through wine; empty: the bridge starts at once.
    void start(const QByteArray& registry, const QStringList& wine, const QString& prefix);
    // Whether the bridge is still on its way (the registry update or the bridge's own start).
    bool starting();

  signals:
    // The bridge's start is decided: Ready, or Failed with bridge.lastError().
    void finished(BridgeLink::StartState state);
    // The COM ports could not be put into Wine's registry; the bridge starts anyway.
    void registryFailed(const QString& why);

  private:
    void launch();
    void poll();

    BridgeLink& bridge_;
    QProcess registry_;
    QTimer poll_;
    bool launched_ = false;
};
