#include "SectionController.h"
#include "ScriptedDialogs.h"
#include "ScriptedLink.h"
#include "SectionListModel.h"
#include "SectionTexts.h"

#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Records what the controller shows, one line per call.
struct RecordingWindow : SectionWindow {
    std::vector<std::string> log;
    void showActivity(const QString& text, bool) override { log.push_back("activity " + text.toStdString()); }
    void showTotal(int64_t total) override { log.push_back("total " + std::to_string(total)); }
    void showConnected(bool connected) override { log.push_back(connected ? "connected" : "disconnected"); }
    void showScanning(bool scanning) override { log.push_back(scanning ? "scanning" : "scanned"); }
    void showSelection() override { log.push_back("selection"); }
    void foldersChosen() override { log.push_back("folders"); }
    bool saw(const std::string& line) const { return std::find(log.begin(), log.end(), line) != log.end(); }
};

SectionRecord recordAt(SectionListModel& model, int row) {
    return model.index(row).data(SectionListModel::RecordRole).value<SectionRecord>();
}

// A controller on a scripted link and dialogs, showing through a recording window, its backups in a
// folder of its own.
class SectionActions : public testing::Test {
  protected:
    ScriptedLink link;
    ScriptedDialogs dialogs;
    RecordingWindow window;
    SectionController controller{link, dialogs, nullptr, window};
    QTemporaryDir dir;

    void SetUp() override { controller.backupStore().setRoot(dir.filePath("backups")); }
};

} // namespace

TEST_F(SectionActions, RunsTheActionsWithoutAWindowAndTellsTheModelWhichRowsChanged) {
    link.put(18, 9, {'G', 'I', 'F', '8', '9', 'a', 1, 2});

    controller.clear(10);
    EXPECT_TRUE(link.calls.empty() && dialogs.messages.empty())
        << "no action before a Reload reached the phone";

    SectionListModel& model = controller.model();
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    controller.reload(1);
    EXPECT_EQ(window.log.front(), "scanning");
    EXPECT_TRUE(window.saw("connected") && window.saw("scanned") && window.saw("total 8"))
        << window.log.size();
    EXPECT_EQ(controller.connectedPort(), 1);
    ASSERT_EQ(model.rowCount(), kSectionCount);
    EXPECT_EQ(model.index(10).data().toString(), "18-9");
    EXPECT_EQ(model.index(10).data(Qt::AccessibleTextRole).toString(), "18-09, GIF Image, 8 bytes");
    EXPECT_EQ(recordAt(model, 10).Kind, ckGifImage);
    EXPECT_EQ(changed.count(), 1);

    changed.clear();
    window.log.clear();
    dialogs.answers.push_back(MsgResult::Yes);
    controller.clear(10);
    ASSERT_EQ(dialogs.messages.size(), 2u) << "the question and the outcome";
    EXPECT_EQ(dialogs.messages.back().text, "Section 18-09 cleared.");
    EXPECT_EQ(recordAt(model, 10).Size, -1);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.first()[0].toModelIndex().row(), 10) << "only the cleared row";
    EXPECT_EQ(changed.first()[1].toModelIndex().row(), 10);
    EXPECT_TRUE(window.saw("selection") && window.saw("total 0"));
    EXPECT_EQ(window.log.back(), "activity Ready");

    // The View dialog's read: the section's bytes, or nothing with the port's error when GBP mode fails.
    std::vector<uint8_t> buffer(kTransferBufferSize);
    link.put(18, 9, {'G', 'I', 'F'});
    EXPECT_EQ(controller.readForView(10, buffer.data()), 3);
    EXPECT_EQ(buffer[2], 'F');
    link.initResults[1] = -1;
    EXPECT_EQ(controller.readForView(10, buffer.data()), std::nullopt);
    EXPECT_EQ(window.log.back(), "activity " + SectionTexts::gbpErrorText(1).toStdString());
}

TEST_F(SectionActions, OffersAPictureToTheFitterAndUploadsWhatItReturns) {
    controller.reload(1);
    constexpr int kSmallSlot = 0; // 02-10, 2048 bytes

    // Noise does not compress: the PNG is far larger than the section.
    QImage noise(64, 64, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x)
            noise.setPixel(x, y, random.generate() | 0xFF000000u);
    const QString png = dir.filePath("photo.png");
    ASSERT_TRUE(noise.save(png, "PNG"));
    ASSERT_GT(QFile(png).size(), 2048);
    auto write = [&](const char* name, const QByteArray& bytes) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        return file.fileName();
    };
    const QString application = write("app.bin", QByteArray(3000, 'x'));
    const QString smallGif = write("small.gif", QByteArray("GIF89a") + QByteArray(100, '\0'));

    std::vector<std::pair<QString, int32_t>> offered;
    std::optional<std::vector<uint8_t>> answer = std::vector<uint8_t>{'G', 'I', 'F', '8', '9', 'a', 1, 2, 3};
    controller.setPictureFitter([&](const QString& path, int32_t capacity) {
        offered.emplace_back(path, capacity);
        return answer;
    });
    FileDialogState state;
    auto upload = [&](const QString& path) {
        dialogs.messages.clear();
        dialogs.fileAnswers.push_back(path);
        controller.upload(kSmallSlot, state);
    };

    upload(png);
    ASSERT_EQ(offered.size(), 1u);
    EXPECT_EQ(offered[0], std::make_pair(png, int32_t{2048}));
    EXPECT_EQ((link.files[{2, 10}]), *answer) << "the section holds the fitted bytes";
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "File uploaded to section 02-10\r\n(9 bytes)");

    // Declined: the file meets the size check as it always did.
    answer.reset();
    upload(png);
    EXPECT_EQ(offered.size(), 2u);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "File is too large for this section!");
    EXPECT_EQ((link.files[{2, 10}]).size(), 9u) << "nothing was written";

    // An application is never a picture, and a GIF that fits goes up as it is.
    upload(application);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "File is too large for this section!");
    dialogs.answers.push_back(MsgResult::Yes); // overwrite
    upload(smallGif);
    EXPECT_EQ(offered.size(), 2u) << "the fitter was asked about " << offered.back().first.toStdString();
    EXPECT_EQ((link.files[{2, 10}]).size(), 106u);
}
