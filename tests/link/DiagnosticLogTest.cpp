#include "DiagnosticLog.h"

#include "Backend.h"
#include "FakeSysfs.h"
#include "QtPrinters.h"
#include "TestFiles.h"
#include "VirtualPhone.h"

#include <QRegularExpression>
#include <QSysInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(DiagnosticLog, HeaderNamesTheVersionSystemBackendLibraryPrefixPortsAndDate) {
    QTemporaryDir dir;
    Backend backend;
    backend.choice.source = BackendSource::CommandLine;
    backend.choice.library = writeFile(dir.filePath("GBP.DLL"), "abc");
    backend.choice.callConv = CallConv::Cdecl;
    backend.arch = PeArch::I686;
    const QString prefix = dir.filePath("prefix");
#ifndef _WIN32
    QDir().mkpath(prefix + "/dosdevices");
    FakeSysfs::link("/dev/ttyUSB7", prefix + "/dosdevices/com3");
    const QStringList wine{"Wine prefix: " + prefix, "COM1: not mapped", "COM3: /dev/ttyUSB7"};
#else
    const QStringList wine{"Wine prefix: not used on Windows"};
#endif
    const QDateTime date(QDate(2024, 5, 6), QTime(7, 8, 9), Qt::UTC);

    const QStringList header = DiagnosticLog::header(backend, "8.0", prefix, date);
    for (const QString& line :
         QStringList{QString("Version: Tarvel 8.0"),
                     QString("Backend: GBP.DLL through the bridge (i686, cdecl)"),
                     "Library: " + QDir::toNativeSeparators(dir.filePath("GBP.DLL")),
                     // SHA-256 of "abc"
                     QString("SHA-256: ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"),
                     QString("Calling convention: cdecl"), QString("Date: 2024-05-06T07:08:09.000Z")} +
             wine)
        EXPECT_TRUE(header.contains(line)) << line.toStdString() << " not in\n"
                                           << header.join('\n').toStdString();
    const QString os = header.filter(QRegularExpression("^OS: ")).join("");
    EXPECT_TRUE(os.contains(QSysInfo::kernelType())) << os.toStdString();

    const QStringList virtualHeader =
        DiagnosticLog::header(virtualPhoneBackend(dir.filePath("phone")), "8.0", prefix, date);
    EXPECT_TRUE(virtualHeader.contains("Library: none (the virtual phone in " +
                                       QDir::toNativeSeparators(dir.filePath("phone")) + ")"))
        << virtualHeader.join('\n').toStdString();
}

TEST(DiagnosticLog, LogsEveryCallWithItsDurationAndStatusButNeverTheSectionsBytes) {
    QTemporaryDir dir;
    VirtualPhone phone(dir.filePath("phone"));
    DiagnosticLog log({"Tarvel diagnostic log", "Backend: virtual phone"}, 11);
    const QString file = dir.filePath("tarvel.log");
    ASSERT_EQ(log.appendTo(file), "");
    int64_t now = 0;
    LoggingLink link(phone, log.sink(), [&now] { return now += 2'500'000; }); // each call takes 2.5 ms

    const QByteArray secret = QByteArray("\xde\xad\xbe\xef", 4) + "SECRET-CONTENT-4711";
    char buffer[kTransferBufferSize];
    ASSERT_EQ(link.InitGBPMode(1), 0);
    link.WriteNVMFile(18, 20, secret.constData(), static_cast<int32_t>(secret.size()));
    link.ReadNVMFile(18, 20, buffer, 0);
    link.ReadNVMFile(18, 20, buffer, 20);
    link.GetNVMFileSize(18, 20);
    VirtualPhone second(dir.filePath("phone"));
    LoggingLink(second, log.sink(), [&now] { return now += 2'500'000; }).InitGBPMode(1);
    link.ClearNVMFile(18, 20);
    link.EndGBPMode();
    link.GetNVMFileSize(18, 20);

    const QByteArray written = fileBytes(file);
    for (const char* line :
         {"Backend: virtual phone", "InitGBPMode(1) = 0 (2.5 ms)",
          "WriteNVMFile(18, 20, buffer, 23) = 0 (2.5 ms)", "ReadNVMFile(18, 20, buffer, 0) = 23 (2.5 ms)",
          "ReadNVMFile(18, 20, buffer, 20) = 20 (2.5 ms)", "GetNVMFileSize(18, 20) = 23 (2.5 ms)",
          "InitGBPMode(1) = -2, busy (2.5 ms)", "ClearNVMFile(18, 20) = 0 (2.5 ms)",
          "EndGBPMode() = 0 (2.5 ms)", "GetNVMFileSize(18, 20) = -1, no answer (2.5 ms)"})
        EXPECT_TRUE(written.contains(line)) << line << " not in\n" << written.toStdString();
    for (const QByteArray& leak : {secret, QByteArray("SECRET"), secret.toHex(), secret.toHex(' '),
                                   secret.toHex().toUpper(), QByteArray("\xde\xad", 2)})
        EXPECT_FALSE(written.contains(leak)) << "the section's bytes reached the log: " << leak.toStdString();

    // Memory keeps the last lines; the file and a saved report keep what they were given.
    EXPECT_EQ(log.lines().size(), 9);
    log.add("one");
    log.add("two");
    log.add("three");
    EXPECT_EQ(log.lines().size(), 11);
    EXPECT_TRUE(log.text().contains("(1 earlier lines left out)")) << log.text().toStdString();
    EXPECT_TRUE(log.lines().last().endsWith(" three"));
    log.save(dir.filePath("report.txt"));
    EXPECT_EQ(fileBytes(dir.filePath("report.txt")), log.text().toUtf8());
    EXPECT_TRUE(fileBytes(file).endsWith(" three\n")) << "every line reaches the file as it comes";
}
