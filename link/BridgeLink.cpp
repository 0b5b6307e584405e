#include "BridgeLink.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <algorithm>
#include <cstring>
#include <span>

using namespace BridgeProtocol;

// Why calls failed, on standard error: the window shows only the operation's usual error.
Q_LOGGING_CATEGORY(lcBridge, "tarvel.bridge")

namespace {

constexpr int kStopWaitMs = 3000;     // for the bridge to end by itself once its input is closed
constexpr qsizetype kErrorTail = 600; // of the bridge's standard error, kept for the message

std::span<const uint8_t> bytesOf(const QByteArray& bytes) {
    return {reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())};
}

QByteArray toByteArray(const std::vector<uint8_t>& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

int remainingMs(const QDeadlineTimer& deadline) {
    return static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0));
}

QString seconds(int ms) {
    return QString::number(ms / 1000.0, 'g', 3) + " s";
}

} // namespace

BridgeLink::BridgeLink(BridgeSetup setup) : setup_(std::move(setup)) {}

BridgeLink::~BridgeLink() {
    if (!process_)
        return;
    // A closed input ends the bridge, which unloads the library in order; a stuck one is killed.
    process_->closeWriteChannel();
    if (!process_->waitForFinished(kStopWaitMs))
        stop();
}

QString BridgeLink::winePath(const QString& path) {
    return "Z:" + QDir::cleanPath(QFileInfo(path).absoluteFilePath()).replace('/', '\\');
}

void BridgeLink::launch() {
    if (process_)
        return;
    inbox_.clear();
    startState_ = StartState::Pending;
    startDeadline_ = QDeadlineTimer(setup_.deadlines.startMs);
    process_ = std::make_unique<QProcess>();
    QStringList arguments{"--callconv", callConvName(setup_.callConv)};
    if (setup_.launcher.isEmpty()) {
        process_->setProgram(setup_.bridgeProgram);
        arguments << QDir::toNativeSeparators(QFileInfo(setup_.library).absoluteFilePath());
    } else {
        process_->setProgram(setup_.launcher.front());
        arguments = setup_.launcher.mid(1) + QStringList{setup_.bridgeProgram} + arguments;
        arguments << winePath(setup_.library);
        // Quiet, and no offer to install Wine's .NET and HTML engines when Wine makes a new prefix.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (!environment.contains("WINEDEBUG"))
            environment.insert("WINEDEBUG", "-all");
        if (!environment.contains("WINEDLLOVERRIDES"))
            environment.insert("WINEDLLOVERRIDES", "mscoree,mshtml=");
        if (!setup_.winePrefix.isEmpty()) {
            // Wine makes the prefix on first use, but not the folders above it.
            QDir().mkpath(QFileInfo(setup_.winePrefix).absolutePath());
            environment.insert("WINEPREFIX", setup_.winePrefix);
        }
        process_->setProcessEnvironment(environment);
    }
    process_->setArguments(arguments);
    process_->start();
    // Kept until the bridge reads it.
    process_->write(toByteArray(encode(Hello{})));
}

bool BridgeLink::start() {
    if (process_ && ready_ && process_->state() == QProcess::Running)
        return true;
    if (!process_ || ready_)
        stop(); // a bridge that ended since its last call
    launch();
    while (!takeHello()) {
        if (!receive(startDeadline_, setup_.deadlines.startMs, "its start"))
            return false;
    }
    return ready_;
}

BridgeLink::StartState BridgeLink::pollStart() {
    if (startState_ == StartState::Ready && (!process_ || process_->state() == QProcess::NotRunning))
        return StartState::Idle; // ended since its start: the next call starts another
    if (startState_ != StartState::Pending || !process_)
        return startState_;
    process_->waitForReadyRead(0);
    inbox_ += process_->readAllStandardOutput();
    if (!takeHello() && (process_->state() == QProcess::NotRunning || startDeadline_.hasExpired()))
        fault(startDeadline_, setup_.deadlines.startMs, "its start");
    return startState_;
}

bool BridgeLink::takeHello() {
    HelloAnswer hello;
    const Decoded decoded = decode(bytesOf(inbox_), hello);
    if (decoded.status == DecodeStatus::Incomplete)
        return false;
    if (decoded.status == DecodeStatus::Malformed) {
        fail(QString("the bridge's hello is malformed: %1").arg(QString::fromStdString(decoded.error)));
        return true;
    }
    inbox_.remove(0, static_cast<qsizetype>(decoded.used));
    if (hello.version != kVersion || hello.status != HelloStatus::Ready || !inbox_.isEmpty()) {
        const QString why =
            hello.version != kVersion
                ? QString("the bridge speaks version %1, Tarvel %2").arg(hello.version).arg(kVersion)
                : QString::fromStdString(hello.text);
        // The bridge's own words suffice; its standard error holds only Wine's remarks, if anything.
        fail(QString("%1: %2").arg(setup_.library, why.isEmpty() ? "the bridge's hello is malformed" : why),
             false);
        return true;
    }
    ready_ = true;
    startState_ = StartState::Ready;
    return true;
}

bool BridgeLink::receive(const QDeadlineTimer& deadline, int limitMs, const char* what) {
    const bool more = process_->waitForReadyRead(remainingMs(deadline));
    inbox_ += process_->readAllStandardOutput();
    // Only the end of what a talkative library prints is kept.
    errorTail_ = (errorTail_ + process_->readAllStandardError()).right(kErrorTail);
    return more || fault(deadline, limitMs, what);
}

bool BridgeLink::send(const QByteArray& bytes, const QDeadlineTimer& deadline, int limitMs,
                      const char* what) {
    process_->write(bytes);
    while (process_->bytesToWrite() > 0) {
        if (!process_->waitForBytesWritten(remainingMs(deadline)))
            return fault(deadline, limitMs, what);
    }
    return true;
}

bool BridgeLink::fault(const QDeadlineTimer& deadline, int limitMs, const char* what) {
    if (process_->error() == QProcess::FailedToStart) {
        fail(QString("%1 could not be started: %2").arg(process_->program(), process_->errorString()));
        return false;
    }
    // A wait that ended early means the bridge is ending: let it finish to learn how.
    if (process_->state() != QProcess::NotRunning && !deadline.hasExpired())
        process_->waitForFinished(remainingMs(deadline));
    if (process_->state() != QProcess::NotRunning) {
        fail(QString("the bridge did not answer %1 within %2").arg(what, seconds(limitMs)));
        return false;
    }
    const QString how = process_->exitStatus() == QProcess::CrashExit
                            ? QString("ended abnormally")
                            : QString("ended with exit code %1").arg(process_->exitCode());
    fail(QString("the bridge %1 during %2").arg(how, what));
    return false;
}

void BridgeLink::fail(const QString& why, bool withBridgeErrors) {
    QString details;
    if (process_ && withBridgeErrors) {
        process_->waitForReadyRead(0);
        errorTail_ = (errorTail_ + process_->readAllStandardError()).right(kErrorTail);
        details = QString::fromLocal8Bit(errorTail_).trimmed();
    }
    lastError_ = details.isEmpty() ? why : why + " (" + details + ")";
    qCWarning(lcBridge).noquote() << lastError_;
    stop();
}

void BridgeLink::stop() {
    if (startState_ == StartState::Pending)
        startState_ = StartState::Failed;
    ready_ = false;
    inbox_.clear();
    errorTail_.clear();
    if (!process_)
        return;
    if (process_->state() != QProcess::NotRunning) {
        process_->kill();
        process_->waitForFinished(kStopWaitMs);
    }
    process_.reset();
}

std::optional<Answer> BridgeLink::exchange(const Request& request) {
    std::optional<Answer> answer = exchangeOnce(request);
    last_ = answer ? CallStatus::Answered : CallStatus::NoAnswer;
    return answer;
}

std::optional<Answer> BridgeLink::exchangeOnce(const Request& request) {
    const bool restart = !(process_ && ready_ && process_->state() == QProcess::Running);
    if (!start())
        return std::nullopt;
    // A new bridge inside a GBP bracket enters GBP mode again first, so that the caller's next steps
    // (such as writing back what a failed change removed) reach the phone.
    if (restart && gbpPort_ && request.op != Op::Init && request.op != Op::End) {
        const auto init = call({Op::Init, *gbpPort_, 0, 0, {}});
        if (!init)
            return std::nullopt;
        if (init->result != 0) {
            lastError_ = QString("the new bridge could not enter GBP mode on COM %1 again (result %2)")
                             .arg(*gbpPort_)
                             .arg(init->result);
            gbpPort_.reset();
            return std::nullopt;
        }
    }
    return call(request);
}

std::optional<Answer> BridgeLink::call(const Request& request) {
    const char* what = exportName(request.op);
    const int limitMs = request.op == Op::Init ? setup_.deadlines.initMs : setup_.deadlines.callMs;
    QDeadlineTimer deadline(limitMs);
    if (!send(toByteArray(encode(request)), deadline, limitMs, what))
        return std::nullopt;
    Answer answer;
    for (;;) {
        const Decoded decoded = decode(bytesOf(inbox_), answer);
        if (decoded.status == DecodeStatus::Complete) {
            // (A refusal has no data to check.)
            std::string wrong = answer.refusal.empty() ? checkAnswer(request, answer) : std::string();
            if (wrong.empty() && decoded.used != static_cast<std::size_t>(inbox_.size()))
                wrong = "more bytes than one answer";
            if (!wrong.empty()) {
                fail(QString("malformed answer: %1").arg(QString::fromStdString(wrong)));
                return std::nullopt;
            }
            inbox_.clear();
            if (!answer.refusal.empty()) {
                // The bridge is kept: it refuses every later call too, and a new one would only try
                // the library again.
                // Every later call is refused in the same words: they are logged once.
                const QString refusal = QString::fromStdString(answer.refusal);
                if (refusal != lastError_)
                    qCWarning(lcBridge).noquote() << refusal;
                lastError_ = refusal;
                return std::nullopt;
            }
            return answer;
        }
        if (decoded.status == DecodeStatus::Malformed) {
            fail(QString("malformed answer: %1").arg(QString::fromStdString(decoded.error)));
            return std::nullopt;
        }
        if (!receive(deadline, limitMs, what))
            return std::nullopt;
    }
}

int32_t BridgeLink::InitGBPMode(uint8_t port) {
    const auto answer = exchange({Op::Init, port, 0, 0, {}});
    if (answer && answer->result == 0)
        gbpPort_ = port;
    return answer ? answer->result : kNoAnswer;
}

int32_t BridgeLink::EndGBPMode() {
    gbpPort_.reset();
    const auto answer = exchange({Op::End, 0, 0, 0, {}});
    return answer ? answer->result : kNoAnswer;
}

int32_t BridgeLink::GetNVMFileSize(uint8_t group, uint8_t number) {
    const auto answer = exchange({Op::Size, group, number, 0, {}});
    return answer ? answer->result : kNoAnswer;
}

int32_t BridgeLink::ReadNVMFile(uint8_t group, uint8_t number, void* buffer, int32_t count) {
    if (count < 0 || count > kMaxData) {
        lastError_ = QString("a read of %1 bytes is refused").arg(count);
        last_ = CallStatus::NoAnswer;
        return kNoAnswer;
    }
    const auto answer = exchange({Op::Read, group, number, count, {}});
    if (!answer)
        return kNoAnswer;
    // checkAnswer has held the bytes to the count, or to the buffer's 22000 for a whole file.
    std::memcpy(buffer, answer->data.data(), answer->data.size());
    return answer->result;
}

int32_t BridgeLink::WriteNVMFile(uint8_t group, uint8_t number, const void* buffer, int32_t length) {
    if (length < 0 || length > kMaxData) {
        lastError_ = QString("a write of %1 bytes is refused").arg(length);
        last_ = CallStatus::NoAnswer;
        return kNoAnswer;
    }
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    const auto answer = exchange({Op::Write, group, number, length, {bytes, bytes + length}});
    return answer ? answer->result : kNoAnswer;
}

int32_t BridgeLink::ClearNVMFile(uint8_t group, uint8_t number) {
    const auto answer = exchange({Op::Clear, group, number, 0, {}});
    return answer ? answer->result : kNoAnswer;
}
