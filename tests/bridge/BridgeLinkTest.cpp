// The link through gbp-bridge.exe under Wine, against the stand-in library.
#include "BridgeLink.h"
#include "QtPrinters.h"
#include "TestPattern.h"
#include "WineTestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>

using namespace WineTest;

namespace {

QByteArray asBytes(const uint8_t* data, int size) {
    return QByteArray(reinterpret_cast<const char*>(data), size);
}

// Deadlines short enough that a hang costs a test little; starting Wine keeps its time.
BridgeDeadlines quick() {
    BridgeDeadlines d;
    d.initMs = d.callMs = 2500;
    return d;
}

// The calls that reached the stand-in while TARVEL_STANDIN_LOG named calls.log, one name a line.
QByteArray callsSeen(const StandInPhone& phone) {
    QFile log(QFileInfo(phone.path(0, 0)).absolutePath() + "/calls.log");
    return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
}

// One walk through the six operations: ports, sizes, a header read, a full write read back, a clear.
void walkTheSixOperations(BridgeLink& link, StandInPhone& phone) {
    phone.put(2, 10, "GIF89a tiny");
    EXPECT_NE(link.InitGBPMode(3), 0) << "only COM 1 answers";
    ASSERT_EQ(link.InitGBPMode(1), 0) << link.lastError().toStdString();
    EXPECT_LT(link.GetNVMFileSize(2, 11), 0) << "an empty section";
    EXPECT_EQ(link.GetNVMFileSize(2, 10), 11);
    uint8_t header[20] = {};
    link.ReadNVMFile(2, 10, header, 20);
    EXPECT_EQ(asBytes(header, 11), "GIF89a tiny");

    const QByteArray full = patternBytes(21504, 3);
    EXPECT_EQ(link.WriteNVMFile(18, 29, full.constData(), int32_t(full.size())), 0);
    std::vector<uint8_t> buffer(kTransferBufferSize);
    ASSERT_EQ(link.ReadNVMFile(18, 29, buffer.data(), 0), 21504);
    EXPECT_EQ(asBytes(buffer.data(), 21504), full);
    EXPECT_EQ(phone.get(18, 29), full);

    EXPECT_EQ(link.ClearNVMFile(2, 10), 0);
    EXPECT_LT(link.GetNVMFileSize(2, 10), 0);
    EXPECT_FALSE(phone.get(2, 10));
    EXPECT_EQ(link.EndGBPMode(), 0);
    EXPECT_LT(link.GetNVMFileSize(18, 29), 0) << "no file work outside GBP mode";
}

} // namespace

TEST(BridgeLink, ServesTheSixOperationsThroughThe64BitBridge) {
    SKIP_UNLESS_WINE_RUNS(PeArch::X86_64);
    StandInPhone phone;
    BridgeLink link(setupFor(standIn(PeArch::X86_64), PeArch::X86_64));
    walkTheSixOperations(link, phone);
}

TEST(BridgeLink, TheRightCallingConventionServesAndAWrongOneIsRefusedBeforeAnyWrite) {
    SKIP_UNLESS_WINE_RUNS(PeArch::I686);
    using BridgeProtocol::callConvName;
    const CallConv convs[] = {CallConv::Stdcall, CallConv::Cdecl, CallConv::Register};
    for (CallConv built : convs) {
        for (CallConv chosen : convs) {
            SCOPED_TRACE(std::string("built ") + callConvName(built) + ", chosen " + callConvName(chosen));
            StandInPhone phone;
            ScopedEnv log("TARVEL_STANDIN_LOG", "calls.log");
            BridgeLink link(setupFor(standIn(PeArch::I686, built), PeArch::I686, chosen));
            if (built == chosen) {
                walkTheSixOperations(link, phone);
                continue;
            }
            const QByteArray staged = patternBytes(300, 9);
            phone.put(18, 9, staged);
            static int refusalsLogged;
            refusalsLogged = 0;
            const QtMessageHandler previous =
                qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
                    refusalsLogged += text.contains("as chosen") ? 1 : 0;
                });
            // InitGBPMode tells stdcall from the others; cdecl from register only the test read.
            const bool byInit = built == CallConv::Stdcall || chosen == CallConv::Stdcall;
            const int32_t init = link.InitGBPMode(1);
            EXPECT_EQ(init != 0, byInit) << init << ": " << link.lastError().toStdString();
            const QByteArray other = patternBytes(700, 2);
            EXPECT_LT(link.WriteNVMFile(18, 9, other.constData(), int32_t(other.size())), 0);
            EXPECT_EQ(link.lastCall(), CallStatus::NoAnswer) << "never taken for an empty section";
            const QString shown = chosen == CallConv::Stdcall ? "cdecl or register" : callConvName(built);
            const QString named =
                QString("so it is %1, not %2 as chosen (--gbp-callconv %1)").arg(shown, callConvName(chosen));
            EXPECT_TRUE(link.lastError().contains(named)) << link.lastError().toStdString();
            EXPECT_LT(link.GetNVMFileSize(18, 9), 0);
            EXPECT_EQ(link.lastCall(), CallStatus::NoAnswer);
            EXPECT_TRUE(link.lastError().contains(named))
                << "still refused: " << link.lastError().toStdString();
            link.EndGBPMode();
            qInstallMessageHandler(previous);
            EXPECT_EQ(refusalsLogged, 1) << "every later call is refused in the same words, logged once";
            EXPECT_EQ(phone.get(18, 9), staged);
            // Only the checks and the end of GBP mode, and no new bridge trying again.
            EXPECT_EQ(callsSeen(phone),
                      byInit ? "InitGBPMode\nEndGBPMode\n" : "InitGBPMode\nReadNVMFile\nEndGBPMode\n");
        }
    }
}

TEST(BridgeLink, AHangOrACrashFailsTheCallAndTheNextCallStartsANewBridge) {
    SKIP_UNLESS_WINE_RUNS(PeArch::X86_64);
    StandInPhone phone;
    phone.put(18, 9, patternBytes(5000, 1));
    BridgeSetup setup = setupFor(standIn(PeArch::X86_64), PeArch::X86_64);
    setup.deadlines = quick();
    const struct {
        const char* variable;
        const char* call;
        const char* error;
    } faults[] = {
        {"TARVEL_STANDIN_HANG", "InitGBPMode", "did not answer InitGBPMode within 2.5 s"},
        {"TARVEL_STANDIN_HANG", "ReadNVMFile", "did not answer ReadNVMFile within 2.5 s"},
        {"TARVEL_STANDIN_CRASH", "WriteNVMFile", "crashed in WriteNVMFile (exception 0xc0000005)"},
    };
    for (const auto& f : faults) {
        SCOPED_TRACE(f.error);
        BridgeLink link(setup);
        std::vector<uint8_t> buffer(kTransferBufferSize, 0xCC);
        {
            ScopedEnv fault(f.variable, f.call); // read by the bridge as it starts
            const int32_t init = link.InitGBPMode(1);
            if (std::string(f.call) == "InitGBPMode")
                EXPECT_NE(init, 0);
            else if (std::string(f.call) == "ReadNVMFile")
                EXPECT_LT(link.ReadNVMFile(18, 9, buffer.data(), 0), 0);
            else
                EXPECT_LT(link.WriteNVMFile(18, 9, buffer.data(), 700), 0);
            EXPECT_TRUE(link.lastError().contains(f.error)) << link.lastError().toStdString();
        }
        EXPECT_EQ(buffer, std::vector<uint8_t>(kTransferBufferSize, 0xCC)) << "nothing copied";
        // The new bridge enters GBP mode again when the failure came inside the bracket.
        EXPECT_EQ(link.GetNVMFileSize(18, 9), std::string(f.call) == "InitGBPMode" ? -1 : 5000);
        link.EndGBPMode();
        ASSERT_EQ(link.InitGBPMode(1), 0) << "a new bridge: " << link.lastError().toStdString();
        EXPECT_EQ(link.GetNVMFileSize(18, 9), 5000);
        EXPECT_EQ(phone.get(18, 9), patternBytes(5000, 1));
    }
}

TEST(BridgeLink, ReadsCopyOnlyWithinTheCountAndTheBuffer) {
    SKIP_UNLESS_WINE_RUNS(PeArch::X86_64);
    StandInPhone phone;
    phone.put(18, 11, patternBytes(21504, 5));
    ScopedEnv wrong("TARVEL_STANDIN_WRONG_COUNT", "30000");
    BridgeLink link(setupFor(standIn(PeArch::X86_64), PeArch::X86_64));
    ASSERT_EQ(link.InitGBPMode(1), 0) << link.lastError().toStdString();
    std::vector<uint8_t> buffer(kTransferBufferSize + 64, 0xCC);
    EXPECT_EQ(link.ReadNVMFile(18, 11, buffer.data(), 0), 30000) << "the result is passed on unchanged";
    EXPECT_EQ(asBytes(buffer.data(), 21504), patternBytes(21504, 5));
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + kTransferBufferSize, buffer.end()),
              std::vector<uint8_t>(64, 0xCC))
        << "nothing past the 22000-byte buffer";
    std::fill(buffer.begin(), buffer.end(), 0xCC);
    link.ReadNVMFile(18, 11, buffer.data(), 20);
    EXPECT_EQ(asBytes(buffer.data(), 20), patternBytes(20, 5));
    EXPECT_EQ(buffer[20], 0xCC) << "nothing past the count";
    EXPECT_LT(link.ReadNVMFile(18, 11, buffer.data(), -1), 0);
    EXPECT_LT(link.WriteNVMFile(18, 11, buffer.data(), kTransferBufferSize + 1), 0);
    EXPECT_EQ(phone.get(18, 11), patternBytes(21504, 5));
}

TEST(BridgeLink, ALibraryThatCannotServeIsNamedInTheError) {
    SKIP_UNLESS_WINE_RUNS(PeArch::X86_64);
    BridgeLink noClear(setupFor(windowsFile("gbp-standin-noclear-x86_64.dll"), PeArch::X86_64));
    EXPECT_FALSE(noClear.start());
    EXPECT_TRUE(noClear.lastError().contains("has no export ClearNVMFile"))
        << noClear.lastError().toStdString();
    EXPECT_NE(noClear.InitGBPMode(1), 0);

    BridgeLink missing(setupFor(windowsFile("no-such.dll"), PeArch::X86_64));
    EXPECT_NE(missing.InitGBPMode(1), 0);
    EXPECT_TRUE(missing.lastError().contains("could not be loaded")) << missing.lastError().toStdString();
}

// Bridges that misbehave, played by the shell: no Wine needed.
TEST(BridgeLink, AMalformedOrMissingAnswerEndsTheBridgeAndTheNextCallStartsAnother) {
#ifdef _WIN32
    GTEST_SKIP() << "the misbehaving bridges are shell scripts; the Linux build runs this";
#endif
    // The hello answer: the version (as printf's octal escape), status 0, no text.
    const QByteArray version = "\\" + QByteArray::number(BridgeProtocol::kVersion, 8).rightJustified(3, '0');
    const QByteArray hello = "printf 'GBPB" + version + R"(\000\000\000\000\000\000\000\000\000\000\000'; )";
    const auto fake = [&](const QByteArray& script) {
        BridgeSetup setup;
        setup.library = "GBP.DLL";
        setup.bridgeProgram = "gbp-bridge.exe";
        setup.launcher = QStringList{"/bin/sh", "-c", QString::fromLatin1(script), "sh"};
        setup.deadlines = quick();
        return setup;
    };
    struct Case {
        const char* what;
        QByteArray script;
        const char* error;
    };
    const Case cases[] = {
        {"an answer longer than its request allows",
         hello +
             R"(head -c 20 >/dev/null; printf '\011\000\000\000\000\000\000\000\000\000\000\000\001'; exec cat >/dev/null)",
         "malformed answer"},
        {"a frame over 22000 bytes",
         hello + R"(head -c 20 >/dev/null; printf '\377\377\000\000'; exec cat >/dev/null)",
         "malformed answer"},
        {"no answer", hello + "exec cat >/dev/null", "did not answer InitGBPMode within 2.5 s"},
        {"an end", hello + "exit 7", "ended with exit code 7"},
        {"no hello", "exec cat >/dev/null", "did not answer its start"},
        {"another version",
         R"(printf 'GBPB\377\000\000\000\003\000\000\000\000\000\000\000'; exec cat >/dev/null)",
         "version 255"},
    };
    for (const Case& c : cases) {
        BridgeSetup setup = fake(c.script);
        setup.deadlines.startMs = 1500;
        BridgeLink link(setup);
        EXPECT_EQ(link.InitGBPMode(1), BridgeLink::kNoAnswer) << c.what;
        EXPECT_TRUE(link.lastError().contains(c.error)) << c.what << ": " << link.lastError().toStdString();
    }
    // A start launched ahead of the first call is pending until the hello is in, then decided.
    BridgeSetup silent = fake("exec cat >/dev/null");
    silent.deadlines.startMs = 1500;
    BridgeLink waiting(silent);
    EXPECT_EQ(waiting.pollStart(), BridgeLink::StartState::Idle);
    waiting.launch();
    EXPECT_EQ(waiting.pollStart(), BridgeLink::StartState::Pending);
    EXPECT_FALSE(waiting.start());
    EXPECT_EQ(waiting.pollStart(), BridgeLink::StartState::Failed);
    BridgeLink greeting(fake(hello + "exec cat >/dev/null"));
    greeting.launch();
    EXPECT_TRUE(greeting.start());
    EXPECT_EQ(greeting.pollStart(), BridgeLink::StartState::Ready);
    // One that ends after its hello is no longer ready: the next call starts another.
    BridgeLink ending(fake(hello + "exit 0"));
    EXPECT_TRUE(ending.start());
    for (QDeadlineTimer end(10000); ending.pollStart() == BridgeLink::StartState::Ready && !end.hasExpired();)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(ending.pollStart(), BridgeLink::StartState::Idle);

    // After a failure the next call starts a new bridge, which here answers well.
    // Answers: length 8, result 0 (then 9), refusal length 0.
    const QByteArray nine = R"(printf '\010\000\000\000\011\000\000\000\000\000\000\000'; )";
    BridgeLink link(fake(
        hello +
        R"(head -c 20 >/dev/null; printf '\010\000\000\000\000\000\000\000\000\000\000\000'; head -c 12 >/dev/null; )" +
        nine + "exec cat >/dev/null"));
    EXPECT_EQ(link.InitGBPMode(1), 0);
    EXPECT_EQ(link.GetNVMFileSize(2, 10), 9);
    EXPECT_EQ(link.GetNVMFileSize(2, 10), BridgeLink::kNoAnswer) << "that bridge answers twice only";

    // A refusal fails the call with the bridge's text but keeps the bridge, which answers the next.
    // (length 20, result -1, a refusal of 12 bytes)
    BridgeLink refused(fake(
        hello +
        R"(head -c 20 >/dev/null; printf '\024\000\000\000\377\377\377\377\014\000\000\000wrong way up'; head -c 12 >/dev/null; )" +
        nine + "exec cat >/dev/null"));
    EXPECT_EQ(refused.InitGBPMode(1), BridgeLink::kNoAnswer);
    EXPECT_EQ(refused.lastCall(), CallStatus::NoAnswer);
    EXPECT_EQ(refused.lastError(), "wrong way up");
    EXPECT_EQ(refused.GetNVMFileSize(2, 10), 9) << "the same bridge: " << refused.lastError().toStdString();
}

TEST(PeHeader, TellsTheBuiltLibrariesOfEachProcessorFromTheBridgeProgram) {
    EXPECT_EQ(PeHeader::inspectFile(standIn(PeArch::I686, CallConv::Register)).arch, PeArch::I686);
    EXPECT_EQ(PeHeader::inspectFile(standIn(PeArch::X86_64)).arch, PeArch::X86_64);
    const QString bridge = windowsFile("gbp-bridge-i686.exe");
    EXPECT_EQ(PeHeader::inspectFile(bridge).error, bridge + " is a Windows program, not a DLL.");
}

TEST(GbpBridge, EndsOnAMalformedFrameAnUnknownOperationOrAnotherVersion) {
    SKIP_UNLESS_WINE_RUNS(PeArch::X86_64);
    const BridgeSetup setup = setupFor(standIn(PeArch::X86_64), PeArch::X86_64);
    const auto le32 = [](uint32_t v) { return QByteArray(reinterpret_cast<const char*>(&v), 4); };
    const QByteArray hello = "GBPB" + le32(BridgeProtocol::kVersion);
    const struct {
        QByteArray input;
        int exitCode;
        const char* error;
    } cases[] = {
        {hello + le32(8 + 22001), 3, "protocol error: frame of 22001 data bytes is over 22000"},
        {hello + le32(8) + QByteArray("\x09\0\0\0\0\0\0\0", 8), 3, "protocol error: unknown operation 9"},
        {"GBPB" + le32(BridgeProtocol::kVersion + 1), 3, ""},
    };
    for (const auto& c : cases) {
        QProcess bridge;
#ifdef _WIN32
        bridge.start(setup.bridgeProgram, {QDir::toNativeSeparators(setup.library)});
#else
        bridge.start(setup.launcher.front(), {setup.bridgeProgram, BridgeLink::winePath(setup.library)});
#endif
        bridge.write(c.input);
        ASSERT_TRUE(bridge.waitForFinished(30000)) << c.error;
        EXPECT_EQ(bridge.exitCode(), c.exitCode) << c.error;
        EXPECT_TRUE(bridge.readAllStandardError().contains(c.error)) << c.error;
    }
}
