#include "SectionController.h"
#include "ScriptedDialogs.h"
#include "ScriptedLink.h"
#include "SectionListModel.h"
#include "SectionTexts.h"

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

} // namespace

TEST(SectionController, RunsTheActionsWithoutAWindowAndTellsTheModelWhichRowsChanged) {
    ScriptedLink link;
    ScriptedDialogs dialogs;
    RecordingWindow window;
    SectionController controller(link, dialogs, nullptr, window);
    QTemporaryDir dir;
    controller.backupStore().setRoot(dir.filePath("backups"));
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
