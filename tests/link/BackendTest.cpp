#include "Backend.h"
#include "BridgeLink.h"
#include "QtPrinters.h"
#include "TestFiles.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// A PE file's first bytes: the DOS header pointing at a PE header for machine with characteristics.
QByteArray peHead(quint16 machine, quint16 characteristics) {
    QByteArray head(0x80 + 24, 0);
    head[0] = 'M';
    head[1] = 'Z';
    head[0x3C] = char(0x80);
    head.replace(0x80, 4, QByteArray("PE\0\0", 4));
    head[0x84] = char(machine & 0xFF);
    head[0x85] = char(machine >> 8);
    head[0x80 + 22] = char(characteristics & 0xFF);
    head[0x80 + 23] = char(characteristics >> 8);
    return head;
}

} // namespace

TEST(BackendChoice, TakesTheCommandLineThenTheEnvironmentThenTheDataFolderThenTheVirtualPhone) {
    BackendOptions options{"/opt/cli.dll", "", "/opt/env.dll", "/data/GBP.DLL"};
    BackendChoice choice = chooseBackend(options);
    EXPECT_EQ(choice.source, BackendSource::CommandLine);
    EXPECT_EQ(choice.library, "/opt/cli.dll");
    EXPECT_EQ(choice.callConv, CallConv::Stdcall);

    options.dllOption.clear();
    options.callConvOption = "register";
    choice = chooseBackend(options);
    EXPECT_EQ(choice.source, BackendSource::Environment);
    EXPECT_EQ(choice.library, "/opt/env.dll");
    EXPECT_EQ(choice.callConv, CallConv::Register) << "the convention applies to any library";

    options.dllEnvironment.clear();
    choice = chooseBackend(options);
    EXPECT_EQ(choice.source, BackendSource::DataFolder);
    EXPECT_EQ(choice.library, "/data/GBP.DLL");

    options.dataFolderDll.clear();
    choice = chooseBackend(options);
    EXPECT_EQ(choice.source, BackendSource::VirtualPhone);
    EXPECT_TRUE(choice.library.isEmpty());
    EXPECT_TRUE(choice.error.isEmpty());

    options.callConvOption = "fastcall";
    EXPECT_EQ(chooseBackend(options).error,
              "Unknown calling convention \"fastcall\": use stdcall, cdecl or register.");
}

TEST(PeHeader, TellsDllsOfEachProcessorFromProgramsAndOtherFiles) {
    EXPECT_EQ(PeHeader::inspect(peHead(0x014C, 0x2102), "a.dll").arch, PeArch::I686);
    EXPECT_EQ(PeHeader::inspect(peHead(0x8664, 0x2022), "a.dll").arch, PeArch::X86_64);
    const struct {
        QByteArray head;
        QString error;
    } refused[] = {
        {peHead(0x014C, 0x0102), "a.dll is a Windows program, not a DLL."},
        {peHead(0x01C4, 0x2102),
         "a.dll is a DLL for another processor (machine 0x01c4); the bridge serves i686 "
         "and x86_64 DLLs."},
        {"#!/bin/sh\necho hello, this is no library at all, just a script\n", "a.dll is not a Windows DLL."},
        {peHead(0x014C, 0x2102).left(0x90), "a.dll is not a Windows DLL."},
        {QByteArray("MZ") + QByteArray(0x3A, 0) + QByteArray("\xff\xff\xff\x7f", 4),
         "a.dll is not a Windows DLL."},
        {{}, "a.dll is not a Windows DLL."},
    };
    for (const auto& r : refused) {
        const PeCheck check = PeHeader::inspect(r.head, "a.dll");
        EXPECT_EQ(check.arch, PeArch::None) << r.error.toStdString();
        EXPECT_EQ(check.error, r.error);
    }
    EXPECT_EQ(PeHeader::inspectFile("/no/such/GBP.DLL").error, "/no/such/GBP.DLL does not exist.");
#ifndef _WIN32
    EXPECT_EQ(PeHeader::inspectFile("/dev/null").error, "/dev/null is not a Windows DLL.")
        << "a device is not opened";
#endif
}

TEST(Backend, BindsTheVirtualPhoneOrRefusesALibraryItCannotUse) {
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir dir;
    qunsetenv("TARVEL_GBP_DLL");
    QFile::remove(dataFolderLibrary());

    const Backend phone = makeBackend({}, {});
    ASSERT_NE(phone.link, nullptr);
    EXPECT_TRUE(phone.isVirtualPhone());
    EXPECT_EQ(phone.describe(), (QStringList{"Device link: virtual phone", "Folder: " + phone.phoneFolder}));
    EXPECT_EQ(phone.windowTitle("Tarvel v8.0 b1"), "Tarvel v8.0 b1 (virtual phone)");
    // Each phone's backups have a folder of their own.
    EXPECT_TRUE(phone.phoneName(1).startsWith("virtual-phone-"));
    EXPECT_NE(phone.phoneName(1), virtualPhoneBackend(dir.filePath("other")).phoneName(1));

    const QString text = writeFile(dir.filePath("GBP.DLL"), "not a library");
    Backend refused = makeBackend(text, {});
    EXPECT_EQ(refused.link, nullptr);
    EXPECT_EQ(refused.error, text + " is not a Windows DLL.");
#ifndef _WIN32
    // A path Wine cannot pass on is named, with why (Windows allows no such names at all).
    for (const char* folder : {"a\"b", "a\\b"}) {
        QDir().mkpath(dir.filePath(folder));
        const QString odd = writeFile(dir.filePath(folder) + "/GBP.DLL", peHead(0x14c, 0x2102));
        refused = makeBackend(odd, {});
        EXPECT_EQ(refused.link, nullptr);
        EXPECT_TRUE(refused.error.startsWith(odd + ": Wine cannot open")) << refused.error.toStdString();
    }
#endif
    refused = makeBackend({}, "pascal");
    EXPECT_EQ(refused.link, nullptr);
    EXPECT_TRUE(refused.error.startsWith("Unknown calling convention")) << refused.error.toStdString();

    // A library in the data folder is taken when nothing else names one.
    const QString dll = writeFile(dir.filePath("x.dll"), peHead(0x8664, 0x2022));
    QDir().mkpath(QFileInfo(dataFolderLibrary()).path());
    ASSERT_TRUE(QFile::copy(dll, dataFolderLibrary()));
    const Backend library = makeBackend({}, {});
    EXPECT_EQ(library.choice.source, BackendSource::DataFolder);
    EXPECT_FALSE(library.isVirtualPhone());
    EXPECT_EQ(library.arch, PeArch::X86_64);
    EXPECT_EQ(library.name(), "GBP.DLL through the bridge (x86_64, stdcall)");
    EXPECT_EQ(library.windowTitle("Tarvel v8.0 b1"), "Tarvel v8.0 b1");
    QFile::remove(dataFolderLibrary());
}

TEST(BridgeLink, ShowsLinuxPathsOnWinesDriveZ) {
#ifdef _WIN32
    GTEST_SKIP() << "a Windows program passes its own paths to the bridge; the Linux build runs this";
#endif
    EXPECT_EQ(BridgeLink::winePath("/home/user/GBP.DLL"), "Z:\\home\\user\\GBP.DLL");
    EXPECT_EQ(BridgeLink::winePath("/a b/c/../d.dll"), "Z:\\a b\\d.dll");
}
