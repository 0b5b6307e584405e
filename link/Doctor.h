#pragma once
// tarvel-cli doctor and the window's report: every link of the chain from Tarvel to the phone checked in
// order (Wine, 32-bit Wine, the library, the Wine prefix, the COM port's mapping, the device's
// permissions, other programs holding it, the bridge and, when asked, the phone), each with a verdict and,
// on failure, what the user can do about it. What the checks read (sysfs, /dev, /proc, the user's
// identity, what runs Windows programs) is injectable, so that tests stage every failure.
#include "BackendChoice.h"
#include "BridgeLink.h"
#include "PeHeader.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// Whose permissions the checks judge.
struct DoctorIdentity {
    uint uid = 0;
    QList<uint> groups;      // every group the user's processes run with, the primary one first
    QString name;            // the login name, for the commands the fixes give
    bool privileged = false; // the system lets it open every file (root)
};

// The bridge the window already runs: its state instead of a second bridge.
struct DoctorLiveBridge {
    BridgeLink::StartState state = BridgeLink::StartState::Idle;
    QString lastError;
};

struct DoctorSetup {
    QString library; // the DLL; empty: none is named and the virtual phone answers
    CallConv callConv = CallConv::Stdcall;
    uint8_t port = 1;
    QString winePrefix;
    QStringList bridgeFolders;                   // searched for gbp-bridge-<arch>.exe, in order
    std::function<QStringList(PeArch)> launcher; // what runs a Windows program; empty: windowsLauncher
    QString sysfsRoot = "/sys";
    QString devRoot = "/dev";
    QString procRoot = "/proc";
    DoctorIdentity identity;
    std::optional<DoctorLiveBridge> liveBridge; // set: report it instead of starting a bridge
    bool probe = false;                         // enter GBP mode on the port and leave it: touches the phone
    int wineTimeoutMs = 60000;                  // Wine's first start in a new prefix takes long
    const std::atomic<bool>* cancel = nullptr;  // set: the checks still to come are skipped
};

enum class DoctorCheck {
    Wine,
    Wine32,
    Library,
    Prefix,
    PortMapping,
    DeviceAccess,
    DeviceFree,
    Bridge,
    Probe
};
enum class DoctorVerdict { Pass, Fail, Skipped };

struct DoctorResult {
    DoctorCheck check = DoctorCheck::Wine;
    DoctorVerdict verdict = DoctorVerdict::Skipped;
    QString detail; // a sentence: what was found, or why the check was skipped
    QString fix;    // on failure, what the user can do: a sentence
};

class Doctor {
  public:
    // The checks for the library of choice on port, with this machine's folders and user.
    static DoctorSetup setupFor(const BackendChoice& choice, uint8_t port);
    // The identity this process runs with.
    static DoctorIdentity currentIdentity();
    // "uid:gid,gid..." (the first group the primary one), for tests only; nothing when malformed.
    static std::optional<DoctorIdentity> parseIdentity(const QString& text);

    // Runs the checks in order, the probe only when setup.probe. Blocks while Wine and the bridge run,
    // so a window calls it off its GUI thread.
    static std::vector<DoctorResult> run(const DoctorSetup& setup);

    // "Wine", "COM 1 mapping", ...
    static QString title(DoctorCheck check, uint8_t port);
    // One line for each result ("FAIL  Device access  ... Fix: ..."), then a summary line.
    static QString reportText(const std::vector<DoctorResult>& results, uint8_t port);
    // No result failed.
    static bool passed(const std::vector<DoctorResult>& results);

    // Whether identity may do wanted (4 read, 2 write, 1 execute or search, or'ed) with a file of that
    // owner, group and mode (the nine permission bits, 0660), as the system decides it from the bits.
    static bool mayAccess(const DoctorIdentity& identity, uint owner, uint group, uint mode, uint wanted);
};
