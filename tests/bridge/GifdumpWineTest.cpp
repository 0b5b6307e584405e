// gifdump built for Windows prints under Wine what the native build prints, for every test GIF.
#include "QtPrinters.h"
#include "WineTestSupport.h"

#include <QDir>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

struct ToolRun {
    QString out;
    QString err;
    int exitCode = -1;
};

ToolRun run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    ToolRun r;
    if (!process.waitForFinished(60000))
        return r;
    // The Windows build writes its lines as text, ending them with CR LF.
    r.out = QString::fromUtf8(process.readAllStandardOutput()).replace("\r\n", "\n");
    r.err = QString::fromUtf8(process.readAllStandardError()).replace("\r\n", "\n");
    r.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return r;
}

} // namespace

TEST(GifdumpUnderWine, PrintsWhatTheNativeBuildPrintsForEveryTestGif) {
    SKIP_UNLESS_WINE_RUNS(PeArch::X86_64);
    const QStringList launcher = windowsLauncher(PeArch::X86_64);
    const QDir data(TARVEL_GIF_TEST_DATA);
    const QStringList gifs = data.entryList({"*.gif"}, QDir::Files, QDir::Name);
    ASSERT_FALSE(gifs.isEmpty());
    for (const QString& gif : gifs) {
        SCOPED_TRACE(gif.toStdString());
        const ToolRun native = run(TARVEL_GIFDUMP, {data.filePath(gif)});
        const ToolRun windows =
            run(launcher.front(), launcher.mid(1) + QStringList{WineTest::windowsFile("gifdump.exe"),
                                                                BridgeLink::winePath(data.filePath(gif))});
        EXPECT_EQ(windows.out, native.out);
        EXPECT_EQ(windows.err, native.err);
        EXPECT_EQ(windows.exitCode, native.exitCode);
        EXPECT_FALSE(native.out.isEmpty());
    }
}
