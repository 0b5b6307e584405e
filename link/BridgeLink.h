#pragma once
// The phone's service library through gbp-bridge.exe, a separate process that loads it: a hang or a
// crash inside the library costs one call, never the program. The bridge starts on the first call and
// is kept for the life of the link. Each call waits for its answer up to a deadline; on a timeout, a
// closed pipe, a malformed answer or a crash the call fails (Init non-zero, the others negative), the
// bridge is ended and the next call starts a new one, which enters GBP mode again when the failure
// came inside a GBP bracket. A call the bridge refused (the library uses another calling convention
// than the chosen one) fails the same way, but the bridge is kept, refusing every later call.
#include "BridgeProtocol.h"
#include "GBPCtrl.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QProcess;

using BridgeProtocol::CallConv;

struct BridgeDeadlines {
    int startMs = 60000; // starting the bridge: Wine's first start in a new prefix takes long
    int initMs = 20000;  // InitGBPMode
    int callMs = 10000;  // every other call
};

struct BridgeSetup {
    QString library; // the DLL
    CallConv callConv = CallConv::Stdcall;
    QString bridgeProgram; // gbp-bridge-<arch>.exe of the DLL's architecture
    QStringList launcher;  // what runs a Windows program ("wine"); empty: run it directly
    QString winePrefix;    // the Wine prefix the launcher runs it in; empty: Wine's own choice
    BridgeDeadlines deadlines;
};

class BridgeLink : public GBPCtrl {
  public:
    explicit BridgeLink(BridgeSetup setup);
    ~BridgeLink() override;
    BridgeLink(const BridgeLink&) = delete;
    BridgeLink& operator=(const BridgeLink&) = delete;

    int32_t InitGBPMode(uint8_t port) override;
    int32_t EndGBPMode() override;
    int32_t GetNVMFileSize(uint8_t group, uint8_t number) override;
    int32_t ReadNVMFile(uint8_t group, uint8_t number, void* buffer, int32_t count) override;
    int32_t WriteNVMFile(uint8_t group, uint8_t number, const void* buffer, int32_t length) override;
    int32_t ClearNVMFile(uint8_t group, uint8_t number) override;
    CallStatus lastCall() const override { return last_; }

    // Starts the bridge unless it runs, and waits for its hello. False, with lastError() saying why,
    // when it cannot start or the library cannot be used (not loadable, an export missing).
    bool start();
    // Starts the bridge without waiting for it, so that its start overlaps other work; pollStart()
    // tells, without waiting, how that start went (Pending until the bridge's hello is in; Idle again
    // once a bridge that was ready has ended).
    enum class StartState { Idle, Pending, Ready, Failed };
    void launch();
    StartState pollStart();
    // Why the last failed call or start failed (for a refused call, the bridge's own words).
    const QString& lastError() const { return lastError_; }
    const BridgeSetup& setup() const { return setup_; }
    void setDeadlines(const BridgeDeadlines& deadlines) { setup_.deadlines = deadlines; }

    // The result of a call that got no answer: non-zero and negative.
    static constexpr int32_t kNoAnswer = -100;
    // A Linux path as Wine's drive Z: shows it (Z: is the root of the file system).
    static QString winePath(const QString& path);

  private:
    // Starts the bridge when needed, and then makes one call.
    std::optional<BridgeProtocol::Answer> exchange(const BridgeProtocol::Request& request);
    std::optional<BridgeProtocol::Answer> exchangeOnce(const BridgeProtocol::Request& request);
    std::optional<BridgeProtocol::Answer> call(const BridgeProtocol::Request& request);
    // Waits for more output, or for the bytes to go out, until the deadline (limitMs in all); false,
    // with the bridge ended, when it ended or the time ran out.
    bool receive(const QDeadlineTimer& deadline, int limitMs, const char* what);
    bool send(const QByteArray& bytes, const QDeadlineTimer& deadline, int limitMs, const char* what);
    bool fault(const QDeadlineTimer& deadline, int limitMs, const char* what);
    // Takes the bridge's hello if it is in: true once the start is decided (ready_, or failed).
    bool takeHello();
    // Records why (with the end of the bridge's standard error) and ends the bridge.
    void fail(const QString& why, bool withBridgeErrors = true);
    void stop();

    BridgeSetup setup_;
    std::unique_ptr<QProcess> process_;
    bool ready_ = false;
    std::optional<uint8_t> gbpPort_; // the port of the GBP bracket in progress
    StartState startState_ = StartState::Idle;
    QDeadlineTimer startDeadline_;
    QByteArray inbox_;     // the bridge's output not yet decoded
    QByteArray errorTail_; // the end of the bridge's standard error
    QString lastError_;
    CallStatus last_ = CallStatus::Answered;
};
