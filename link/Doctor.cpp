#include "Doctor.h"

#include "Backend.h"
#include "PortMapping.h"
#include "SerialPorts.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <algorithm>
#include <map>
#ifndef Q_OS_WIN
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

DoctorResult pass(DoctorCheck check, const QString& detail) {
    return {check, DoctorVerdict::Pass, detail, {}};
}

DoctorResult failure(DoctorCheck check, const QString& detail, const QString& fix) {
    return {check, DoctorVerdict::Fail, detail, fix};
}

DoctorResult skipped(DoctorCheck check, const QString& why) {
    return {check, DoctorVerdict::Skipped, "skipped: " + why, {}};
}

bool failed(const DoctorResult& r) {
    return r.verdict == DoctorVerdict::Fail;
}

#ifndef Q_OS_WIN
constexpr qsizetype kErrorTail = 300; // of a program's standard error, shown in a failure
const char* const kWine32Install =
    "sudo dpkg --add-architecture i386 && sudo apt-get update && sudo apt-get install wine32:i386";

QString userName(uint uid) {
    const passwd* entry = ::getpwuid(uid);
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString();
}

QString groupName(uint gid) {
    const group* entry = ::getgrgid(gid);
    return entry ? QString::fromLocal8Bit(entry->gr_name) : QString::number(gid);
}

// "crw-rw----", as ls shows it.
QString modeText(mode_t mode) {
    QString text = S_ISCHR(mode) ? "c" : S_ISDIR(mode) ? "d" : S_ISREG(mode) ? "-" : "?";
    for (int shift = 6; shift >= 0; shift -= 3) {
        text += mode >> shift & 4 ? 'r' : '-';
        text += mode >> shift & 2 ? 'w' : '-';
        text += mode >> shift & 1 ? 'x' : '-';
    }
    return text;
}

struct ProcessRun {
    bool ok = false; // ended normally with exit code 0
    QString why;     // otherwise: how it ended, with the end of its standard error
    QByteArray output;
};

// Runs program to its end, up to timeoutMs, giving up early when cancel is set.
ProcessRun runProcess(const QString& program, const QStringList& arguments, const QProcessEnvironment& env,
                      int timeoutMs, const std::atomic<bool>* cancel) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    ProcessRun run;
    if (!process.waitForStarted(timeoutMs)) {
        run.why = QString("%1 could not be started (%2)").arg(program, process.errorString());
        return run;
    }
    const QDeadlineTimer deadline(timeoutMs);
    while (process.state() != QProcess::NotRunning && !process.waitForFinished(100)) {
        if (deadline.hasExpired() || (cancel && *cancel)) {
            process.kill();
            process.waitForFinished();
            run.why = QString("it did not end within %1 s").arg(timeoutMs / 1000);
            return run;
        }
    }
    run.output = process.readAllStandardOutput();
    const QString errors = QString::fromLocal8Bit(process.readAllStandardError()).trimmed().right(kErrorTail);
    run.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!run.ok)
        run.why = (process.exitStatus() == QProcess::CrashExit
                       ? QString("it ended abnormally")
                       : QString("it ended with exit code %1").arg(process.exitCode())) +
                  (errors.isEmpty() ? QString() : ": " + errors);
    return run;
}
#endif

// The checks of one run, in the order each needs the others' findings.
class Checks {
  public:
    explicit Checks(const DoctorSetup& setup) : s_(setup) {}

    std::vector<DoctorResult> run() {
        checkLibrary();
        wineArch_ = arch_ == PeArch::X86_64 ? PeArch::X86_64 : PeArch::I686;
        launcher_ = s_.launcher ? s_.launcher(wineArch_) : windowsLauncher(wineArch_);
        add(wine());
        add(prefix());
        add(cancelled() ? skipped(DoctorCheck::Wine32, "cancelled.") : wine32());
        add(mapping());
        add(access());
        add(cancelled() ? skipped(DoctorCheck::DeviceFree, "cancelled.") : holders());
        add(cancelled() ? skipped(DoctorCheck::Bridge, "cancelled.") : bridge());
        if (s_.probe)
            add(probe());
        std::vector<DoctorResult> ordered;
        for (DoctorCheck check : {DoctorCheck::Wine, DoctorCheck::Wine32, DoctorCheck::Library,
                                  DoctorCheck::Prefix, DoctorCheck::PortMapping, DoctorCheck::DeviceAccess,
                                  DoctorCheck::DeviceFree, DoctorCheck::Bridge, DoctorCheck::Probe})
            if (results_.count(check))
                ordered.push_back(results_.at(check));
        return ordered;
    }

  private:
    void add(const DoctorResult& result) { results_[result.check] = result; }
    bool cancelled() const { return s_.cancel && *s_.cancel; }
    bool hasFailed(DoctorCheck check) const { return results_.count(check) && failed(results_.at(check)); }
    // "skipped: the Wine check failed.", or the reason the earlier check was itself skipped.
    DoctorResult after(DoctorCheck check, DoctorCheck earlier) const {
        if (results_.count(earlier) && results_.at(earlier).verdict == DoctorVerdict::Skipped)
            return {check, DoctorVerdict::Skipped, results_.at(earlier).detail, {}};
        return skipped(check, QString("the %1 check failed.").arg(Doctor::title(earlier, s_.port)));
    }
    QString com() const { return QString("COM%1").arg(s_.port); }

    QString bridgeProgram(PeArch arch) const {
        const QString name = QString("gbp-bridge-%1.exe").arg(PeHeader::archName(arch));
        for (const QString& folder : s_.bridgeFolders)
            if (QFileInfo(folder + "/" + name).isFile())
                return QDir(folder).absoluteFilePath(name);
        return {};
    }

    DoctorResult missingBridge(DoctorCheck check, PeArch arch) const {
        const QString name = QString("gbp-bridge-%1.exe").arg(PeHeader::archName(arch));
        return failure(check, QString("%1 was not found in %2.").arg(name, s_.bridgeFolders.join(", ")),
                       "Reinstall Tarvel, or name the folder that holds the bridge in TARVEL_BRIDGE_DIR.");
    }

    QProcessEnvironment wineEnvironment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!env.contains("WINEDEBUG"))
            env.insert("WINEDEBUG", "-all");
        if (!env.contains("WINEDLLOVERRIDES"))
            env.insert("WINEDLLOVERRIDES", "mscoree,mshtml=");
        if (!s_.winePrefix.isEmpty())
            env.insert("WINEPREFIX", s_.winePrefix);
        return env;
    }

    void checkLibrary() {
        const DoctorCheck c = DoctorCheck::Library;
        if (s_.library.isEmpty()) {
            add(failure(c, "No library is named, so the virtual phone answers.",
                        QString("Name the vendor's GBP.DLL with --gbp-dll PATH or TARVEL_GBP_DLL, or put it "
                                "at %1.")
                            .arg(QDir::toNativeSeparators(dataFolderLibrary()))));
            return;
        }
        const PeCheck check = PeHeader::inspectFile(s_.library);
        if (check.arch == PeArch::None) {
            add(failure(c, check.error, "Name the vendor's GBP.DLL, a Windows DLL for i686 or x86_64."));
            return;
        }
        const PeExportCheck exports = PeHeader::missingExportsOfFile(s_.library);
        if (!exports.error.isEmpty()) {
            add(failure(c, exports.error,
                        "The file is damaged: copy GBP.DLL again from where it came from."));
            return;
        }
        if (!exports.missing.isEmpty()) {
            const QString decorated =
                exports.decoratedOnly.isEmpty()
                    ? QString()
                    : QString(" (exported only as %1)").arg(exports.decoratedOnly.join(", "));
            add(failure(c,
                        QString("%1 lacks the export%2 %3%4.")
                            .arg(s_.library, exports.missing.size() > 1 ? "s" : "",
                                 exports.missing.join(", "), decorated),
                        "This is not the phone's service library: name the vendor's GBP.DLL, which "
                        "exports all six operations."));
            return;
        }
        arch_ = check.arch;
        add(pass(c, QString("%1, a DLL for %2 that exports the six operations.")
                        .arg(QDir::toNativeSeparators(QFileInfo(s_.library).absoluteFilePath()),
                             PeHeader::archName(arch_))));
    }

    DoctorResult wine() const {
        const DoctorCheck c = DoctorCheck::Wine;
#ifdef Q_OS_WIN
        return pass(c, "not needed on Windows.");
#else
        const QString override = qEnvironmentVariable("TARVEL_WINE");
        const QString install = wineArch_ == PeArch::I686
                                    ? QString("sudo dpkg --add-architecture i386 && sudo apt-get update && "
                                              "sudo apt-get install wine wine32:i386 wine64")
                                    : QString("sudo apt-get install wine wine64");
        if (launcher_.isEmpty())
            return failure(c, "Wine was not found.", QString("Install Wine: %1.").arg(install));
        const QString program = launcher_.front();
        const QString found = program.contains('/')
                                  ? (QFileInfo(program).isExecutable() ? program : QString())
                                  : QStandardPaths::findExecutable(program);
        if (found.isEmpty()) {
            if (!override.isEmpty())
                return failure(c, QString("TARVEL_WINE names %1, which is not a program.").arg(program),
                               "Set TARVEL_WINE to Wine itself (such as /usr/bin/wine), or unset it.");
            return failure(c, QString("%1 is not a program.").arg(program),
                           QString("Install Wine: %1.").arg(install));
        }
        return pass(c, launcher_.join(' ') + (override.isEmpty() ? "." : " (TARVEL_WINE)."));
#endif
    }

    DoctorResult wine32() const {
        const DoctorCheck c = DoctorCheck::Wine32;
#ifdef Q_OS_WIN
        return pass(c, "not needed on Windows.");
#else
        if (arch_ == PeArch::X86_64)
            return pass(c, "not needed: the library is 64-bit.");
        if (hasFailed(DoctorCheck::Wine))
            return after(c, DoctorCheck::Wine);
        if (hasFailed(DoctorCheck::Prefix))
            return after(c, DoctorCheck::Prefix);
        const QString bridge = bridgeProgram(PeArch::I686);
        if (bridge.isEmpty())
            return missingBridge(c, PeArch::I686);
        // Wine makes a new prefix on first use, but not the folders above it.
        if (!s_.winePrefix.isEmpty())
            QDir().mkpath(QFileInfo(s_.winePrefix).absolutePath());
        const bool existed = QFileInfo::exists(s_.winePrefix);
        const ProcessRun run =
            runProcess(launcher_.front(), launcher_.mid(1) + QStringList{bridge, "--version"},
                       wineEnvironment(), s_.wineTimeoutMs, s_.cancel);
        if (run.ok && run.output.startsWith("gbp-bridge"))
            return pass(c, QString("%1 runs gbp-bridge-i686.exe%2.")
                               .arg(launcher_.join(' '), !existed && QFileInfo::exists(s_.winePrefix)
                                                             ? QString(" (and made the Wine prefix)")
                                                             : QString()));
        return failure(c,
                       QString("%1 cannot run gbp-bridge-i686.exe: %2.")
                           .arg(launcher_.join(' '), run.ok ? QString("it printed no version") : run.why),
                       QString("Install 32-bit Wine: %1.").arg(kWine32Install));
#endif
    }

#ifndef Q_OS_WIN
    bool mayUse(const struct stat& st, uint wanted) const {
        return s_.identity.privileged ||
               Doctor::mayAccess(s_.identity, st.st_uid, st.st_gid, st.st_mode & 0777, wanted);
    }
#endif

    DoctorResult prefix() const {
        const DoctorCheck c = DoctorCheck::Prefix;
#ifdef Q_OS_WIN
        return pass(c, "not needed on Windows.");
#else
        const QString path = s_.winePrefix;
        const QString user = s_.identity.name.isEmpty() ? QString("$USER") : s_.identity.name;
        struct stat st {};
        if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
            if (!S_ISDIR(st.st_mode))
                return failure(c, QString("%1 is not a folder.").arg(path),
                               "Remove it, or set TARVEL_WINEPREFIX to a folder of your own.");
            if (st.st_uid != s_.identity.uid) {
                const QString owner = userName(st.st_uid);
                return failure(
                    c,
                    QString("%1 belongs to uid %2%3, not to you (uid %4): Wine refuses a prefix "
                            "of another user.")
                        .arg(path)
                        .arg(st.st_uid)
                        .arg(owner.isEmpty() ? QString() : " (" + owner + ")")
                        .arg(s_.identity.uid),
                    QString("Set TARVEL_WINEPREFIX to a folder of your own, or take this one: sudo "
                            "chown -R %1 %2.")
                        .arg(user, path));
            }
            if (!mayUse(st, 7))
                return failure(c, QString("%1 is %2: you may not write it.").arg(path, modeText(st.st_mode)),
                               QString("Give it back to yourself: chmod u+rwx %1.").arg(path));
            return pass(c, path + ".");
        }
        // Wine makes it on first start where the nearest existing folder above lets the user.
        QString parent = QFileInfo(path).absolutePath();
        while (!QFileInfo::exists(parent) && parent != QFileInfo(parent).absolutePath())
            parent = QFileInfo(parent).absolutePath();
        if (::stat(QFile::encodeName(parent).constData(), &st) == 0 && S_ISDIR(st.st_mode) && mayUse(st, 3))
            return pass(c, QString("%1 does not exist yet; Wine makes it at its first start, which takes a "
                                   "while.")
                               .arg(path));
        return failure(
            c, QString("%1 does not exist and cannot be made: you may not write %2.").arg(path, parent),
            "Set TARVEL_WINEPREFIX to a folder you may write, or make this one yourself.");
#endif
    }

    DoctorResult mapping() {
        const DoctorCheck c = DoctorCheck::PortMapping;
#ifdef Q_OS_WIN
        return skipped(c, QString("Windows opens COM %1 itself.").arg(s_.port));
#else
        if (hasFailed(DoctorCheck::Prefix))
            return after(c, DoctorCheck::Prefix);
        const std::vector<SerialPorts::Device> devices = SerialPorts::list(s_.sysfsRoot, s_.devRoot);
        QStringList found;
        for (const SerialPorts::Device& d : devices)
            found << (d.description.isEmpty() ? d.path : d.path + " " + d.description);
        const QString example = devices.empty() ? QString("/dev/ttyUSB0") : devices.front().path;
        const QString fix =
            (devices.empty() ? QString("No serial device was found: plug in the phone's cable, then map it: ")
                             : QString("Map the phone's cable to the port: ")) +
            QString("tarvel-cli --serial %1=%2 ports").arg(com(), example) +
            (devices.empty() ? QString(".") : QString(" (serial devices here: %1).").arg(found.join(", ")));
        const QString target = SerialPorts::mappedDevice(s_.winePrefix, s_.port);
        if (target.isEmpty())
            return failure(c, QString("COM %1 is not mapped in %2.").arg(s_.port).arg(s_.winePrefix), fix);
        if (!QFileInfo::exists(target))
            return failure(c, QString("COM %1 links to %2, which does not exist.").arg(s_.port).arg(target),
                           fix);
        device_ = target;
        QString description;
        const QString canonical = QFileInfo(target).canonicalFilePath();
        for (const SerialPorts::Device& d : devices)
            if (QFileInfo(d.path).canonicalFilePath() == canonical && !d.description.isEmpty())
                description = " (" + d.description + ")";
        // Wine links every port its registry does not name to the devices it finds, ttyS0 first.
        const auto usb =
            std::find_if(devices.begin(), devices.end(), [](const SerialPorts::Device& d) { return d.usb; });
        if (!PortMapping::registryPorts(s_.winePrefix).count(s_.port) && usb != devices.end() &&
            QFileInfo(usb->path).canonicalFilePath() != canonical)
            description += QString("; Wine linked it itself, so if the phone's cable is %1, map it: "
                                   "tarvel-cli --serial %2=%1 ports")
                               .arg(usb->path, com());
        return pass(c, QString("COM %1 links to %2%3.").arg(s_.port).arg(target, description));
#endif
    }

    DoctorResult access() const {
        const DoctorCheck c = DoctorCheck::DeviceAccess;
#ifdef Q_OS_WIN
        return skipped(c, QString("Windows opens COM %1 itself.").arg(s_.port));
#else
        if (device_.isEmpty())
            return after(c, DoctorCheck::PortMapping);
        struct stat st {};
        if (::stat(QFile::encodeName(device_).constData(), &st) != 0)
            return failure(c, QString("%1 cannot be read.").arg(device_), "Plug in the phone's cable again.");
        const uint mode = st.st_mode & 0777;
        const QString shown =
            QString("%1 %2:%3").arg(modeText(st.st_mode), userName(st.st_uid), groupName(st.st_gid));
        if (s_.identity.privileged)
            return pass(c,
                        QString("%1 (%2): you run with the right to open every device.").arg(device_, shown));
        if (Doctor::mayAccess(s_.identity, st.st_uid, st.st_gid, mode, 6))
            return pass(c, QString("you may read and write %1 (%2).").arg(device_, shown));
        const QString user = s_.identity.name.isEmpty() ? QString("$USER") : s_.identity.name;
        const QString group = groupName(st.st_gid);
        const bool groupMay = (mode >> 3 & 6) == 6;
        if (st.st_uid == s_.identity.uid)
            return failure(
                c, QString("%1 is %2: its owner, you, may not read and write it.").arg(device_, shown),
                QString("Give yourself the right back: chmod u+rw %1.").arg(device_));
        if (groupMay && !s_.identity.groups.contains(st.st_gid))
            return failure(c,
                           QString("%1 is %2 and you (uid %3) are not in its group %4.")
                               .arg(device_, shown)
                               .arg(s_.identity.uid)
                               .arg(group),
                           QString("sudo usermod -aG %1 %2, then log in again.").arg(group, user));
        return failure(c, QString("%1 is %2: you may not read and write it.").arg(device_, shown),
                       QString("Let the group %1 read and write it (sudo chmod g+rw %2, or a udev rule with "
                               "MODE=\"0660\" to keep it), and join that group: sudo usermod -aG %1 %3, then "
                               "log in again.")
                           .arg(group, device_, user));
#endif
    }

    DoctorResult holders() const {
        const DoctorCheck c = DoctorCheck::DeviceFree;
#ifdef Q_OS_WIN
        return skipped(c, QString("Windows opens COM %1 itself.").arg(s_.port));
#else
        if (device_.isEmpty())
            return after(c, DoctorCheck::PortMapping);
        const QString canonical = QFileInfo(device_).canonicalFilePath();
        const QString own = QString::number(QCoreApplication::applicationPid());
        QStringList holders, pids;
        const QDir proc(s_.procRoot);
        for (const QString& pid : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            bool numeric = false;
            pid.toUInt(&numeric);
            if (!numeric || pid == own)
                continue;
            // Other users' descriptors cannot be read; their links stay unknown.
            const QDir fds(proc.filePath(pid + "/fd"));
            for (const QString& fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
                const QString target = QFile::symLinkTarget(fds.filePath(fd));
                if (target.isEmpty() || (target != canonical && target != QDir::cleanPath(device_)))
                    continue;
                QFile comm(proc.filePath(pid + "/comm"));
                const QString name = comm.open(QIODevice::ReadOnly)
                                         ? QString::fromLocal8Bit(comm.read(64)).trimmed()
                                         : QString();
                holders << QString("%1 (pid %2)").arg(name.isEmpty() ? QString("a program") : name, pid);
                pids << pid;
                break;
            }
        }
        if (holders.isEmpty())
            return pass(c, QString("no other program holds %1.").arg(device_));
        const bool modemManager = std::any_of(holders.begin(), holders.end(),
                                              [](const QString& h) { return h.startsWith("ModemManager "); });
        return failure(
            c, QString("%1 is held by %2.").arg(device_, holders.join(", ")),
            modemManager ? QString("ModemManager takes serial devices for modems: sudo systemctl "
                                   "stop ModemManager (or disable it), then try again.")
                         : QString("Close %1, or end it: kill %2.").arg(holders.join(", "), pids.join(' ')));
#endif
    }

    // What the bridge needs of the checks before it; nothing when it can start.
    std::optional<DoctorResult> bridgeBlocked(DoctorCheck c) const {
        if (s_.library.isEmpty())
            return skipped(c, "no library is named.");
        if (hasFailed(DoctorCheck::Library))
            return after(c, DoctorCheck::Library);
#ifndef Q_OS_WIN
        for (DoctorCheck before : {DoctorCheck::Wine, DoctorCheck::Wine32, DoctorCheck::Prefix})
            if (hasFailed(before))
                return after(c, before);
#endif
        return std::nullopt;
    }

    DoctorResult bridge() {
        const DoctorCheck c = DoctorCheck::Bridge;
        if (const std::optional<DoctorResult> blocked = bridgeBlocked(c))
            return *blocked;
        const QString fix =
            "Check that the library is the vendor's GBP.DLL, with the DLLs it needs beside it; "
            "WINEDEBUG=err+all shows what Wine refuses.";
        if (s_.liveBridge) {
            switch (s_.liveBridge->state) {
            case BridgeLink::StartState::Ready:
                return pass(c, "the window's bridge is ready.");
            case BridgeLink::StartState::Pending:
                return skipped(c, "the window's bridge is still starting; look again in a moment.");
            case BridgeLink::StartState::Failed:
                return failure(c, QString("the window's bridge failed: %1.").arg(s_.liveBridge->lastError),
                               fix);
            case BridgeLink::StartState::Idle:
                break;
            }
            return skipped(c, "the window's bridge starts with the first Reload.");
        }
        BridgeSetup setup;
        setup.library = s_.library;
        setup.callConv = s_.callConv;
        setup.bridgeProgram = bridgeProgram(arch_);
        if (setup.bridgeProgram.isEmpty())
            return missingBridge(c, arch_);
        setup.launcher = launcher_;
        if (!setup.launcher.isEmpty())
            setup.winePrefix = s_.winePrefix;
        setup.deadlines.startMs = s_.wineTimeoutMs;
        link_ = std::make_unique<BridgeLink>(setup);
        if (!link_->start())
            return failure(c, QString("the bridge did not start: %1.").arg(link_->lastError()), fix);
        return pass(c, QString("%1 loaded %2 (%3).")
                           .arg(QFileInfo(setup.bridgeProgram).fileName(), QFileInfo(s_.library).fileName(),
                                BridgeProtocol::callConvName(s_.callConv)));
    }

    DoctorResult probe() {
        const DoctorCheck c = DoctorCheck::Probe;
        if (!link_)
            return hasFailed(DoctorCheck::Bridge) ||
                           results_.at(DoctorCheck::Bridge).verdict == DoctorVerdict::Skipped
                       ? after(c, DoctorCheck::Bridge)
                       : skipped(c, "the window's bridge is not probed.");
        const int32_t result = link_->InitGBPMode(s_.port);
        if (result != 0) {
            const QString why = link_->lastError();
            return failure(
                c,
                QString("GBP Error (COM %1)").arg(s_.port) + (why.isEmpty() ? QString() : ": " + why) +
                    QString(" (InitGBPMode returned %1).").arg(result),
                QString("Check that the phone is switched on and its cable plugged into the device "
                        "of COM %1; if it is, try another --gbp-callconv (stdcall, cdecl, register).")
                    .arg(s_.port));
        }
        link_->EndGBPMode();
        return pass(c, QString("the phone entered GBP mode on COM %1 and left it.").arg(s_.port));
    }

    const DoctorSetup& s_;
    std::map<DoctorCheck, DoctorResult> results_;
    PeArch arch_ = PeArch::None; // the library's, once it passed
    PeArch wineArch_ = PeArch::I686;
    QStringList launcher_;
    QString device_; // the port's device, once the mapping passed
    std::unique_ptr<BridgeLink> link_;
};

} // namespace

DoctorSetup Doctor::setupFor(const BackendChoice& choice, uint8_t port) {
    DoctorSetup setup;
    setup.library = choice.library;
    setup.callConv = choice.callConv;
    setup.port = port;
    setup.winePrefix = SerialPorts::winePrefix();
    setup.bridgeFolders = bridgeFolders();
    setup.identity = currentIdentity();
    return setup;
}

DoctorIdentity Doctor::currentIdentity() {
    DoctorIdentity identity;
#ifndef Q_OS_WIN
    identity.uid = ::getuid();
    identity.groups << ::getgid();
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(count, 0)));
    const int got = count > 0 ? ::getgroups(count, groups.data()) : 0;
    for (int i = 0; i < got; ++i)
        if (!identity.groups.contains(groups[static_cast<std::size_t>(i)]))
            identity.groups << groups[static_cast<std::size_t>(i)];
    identity.name = userName(identity.uid);
    identity.privileged = ::geteuid() == 0;
#endif
    if (identity.name.isEmpty())
        identity.name = qEnvironmentVariable("USER");
    return identity;
}

std::optional<DoctorIdentity> Doctor::parseIdentity(const QString& text) {
    const QStringList parts = text.split(':');
    if (parts.size() != 2)
        return std::nullopt;
    DoctorIdentity identity;
    bool ok = false;
    identity.uid = parts[0].toUInt(&ok);
    if (!ok)
        return std::nullopt;
    for (const QString& g : parts[1].split(',', Qt::SkipEmptyParts)) {
        identity.groups << g.toUInt(&ok);
        if (!ok)
            return std::nullopt;
    }
#ifndef Q_OS_WIN
    identity.name = userName(identity.uid);
#endif
    return identity;
}

std::vector<DoctorResult> Doctor::run(const DoctorSetup& setup) {
    return Checks(setup).run();
}

QString Doctor::title(DoctorCheck check, uint8_t port) {
    switch (check) {
    case DoctorCheck::Wine:
        return "Wine";
    case DoctorCheck::Wine32:
        return "32-bit Wine";
    case DoctorCheck::Library:
        return "Library";
    case DoctorCheck::Prefix:
        return "Wine prefix";
    case DoctorCheck::PortMapping:
        return QString("COM %1 mapping").arg(port);
    case DoctorCheck::DeviceAccess:
        return "Device access";
    case DoctorCheck::DeviceFree:
        return "Device free";
    case DoctorCheck::Bridge:
        return "Bridge";
    case DoctorCheck::Probe:
        return "Phone";
    }
    return {};
}

QString Doctor::reportText(const std::vector<DoctorResult>& results, uint8_t port) {
    QString text;
    int failures = 0, skips = 0;
    for (const DoctorResult& r : results) {
        const char* verdict = r.verdict == DoctorVerdict::Pass ? "PASS" : failed(r) ? "FAIL" : "SKIP";
        failures += failed(r) ? 1 : 0;
        skips += r.verdict == DoctorVerdict::Skipped ? 1 : 0;
        text += QString("%1  %2  %3").arg(verdict, title(r.check, port).leftJustified(13), r.detail);
        if (failed(r) && !r.fix.isEmpty())
            text += " Fix: " + r.fix;
        text += '\n';
    }
    const qsizetype total = static_cast<qsizetype>(results.size());
    if (failures == 0)
        text += skips == 0 ? QString("All %1 checks passed.\n").arg(total)
                           : QString("No check failed; %1 of %2 skipped.\n").arg(skips).arg(total);
    else
        text += QString("%1 of %2 checks failed%3.\n")
                    .arg(failures)
                    .arg(total)
                    .arg(skips ? QString(", %1 skipped").arg(skips) : QString());
    return text;
}

bool Doctor::passed(const std::vector<DoctorResult>& results) {
    return std::none_of(results.begin(), results.end(), failed);
}

bool Doctor::mayAccess(const DoctorIdentity& identity, uint owner, uint group, uint mode, uint wanted) {
    // The system takes the owner's bits for the owner, else the group's for a member, else the others'.
    const uint bits = identity.uid == owner             ? mode >> 6 & 7
                      : identity.groups.contains(group) ? mode >> 3 & 7
                                                        : mode & 7;
    return (bits & wanted) == wanted;
}
