// The section operations of the main window: Upload, Extract and Clear.
#include "Unit1.h"

#include "FileIO.h"
#include "GBPSession.h"

#include <QListWidget>
#include <cstring>
#include <vector>

namespace {

MessageBoxRequest message(const QString& caption, const QString& text, MsgIcon icon,
                          MsgButtons buttons = MsgButtons::Ok, MsgResult defaultButton = MsgResult::Ok) {
    MessageBoxRequest request;
    request.caption = caption;
    request.text = text;
    request.icon = icon;
    request.buttons = buttons;
    request.defaultButton = defaultButton;
    return request;
}

QString sectionId(const SectionRecord& record) {
    return QString::fromStdString(sectionIdText(record.Group, record.Number));
}

QString connected(uint8_t port) {
    return QString("Connected to COM %1").arg(port);
}

// A whole-section read is trusted only when its count fits the buffer it was read into.
bool countFitsBuffer(int32_t count) {
    return count >= 0 && count <= kTransferBufferSize;
}

} // namespace

void TForm1::btn1Click() {
    if (scanning_)
        return;
    const std::optional<QString> fileName = dialogs_.openFileName(this, openf);
    if (!fileName)
        return;
    const int slot = selectedSlot();
    if (slot < 0 || ConnectedPort == 0)
        return;
    const SectionRecord& record = table_[slot];
    const uint8_t group = record.Group;
    const uint8_t number = record.Number;

    // The whole file is in the buffer before the phone is contacted; an oversized one is never read.
    std::vector<uint8_t> buffer(kTransferBufferSize);
    const int64_t fileLength = FileIO::readFileUpTo(*fileName, buffer.data(), record.Capacity);
    if (fileLength > record.Capacity) {
        dialogs_.messageBox(this, message("Error", "File is too large for this section!", MsgIcon::Error));
        return;
    }
    const auto length = static_cast<int32_t>(fileLength);

    const uint8_t port = ConnectedPort;
    GBPSession session(link_, port);
    if (!session.entered()) {
        setActivity(gbpErrorText(port));
        return;
    }
    setActivity(connected(port));

    bool stored = true;
    if (record.Size >= 0) {
        const QString question = QString("Section %1\r\n(%2 bytes)\r\nisn't empty.\r\nOverwrite data?")
                                     .arg(sectionId(record))
                                     .arg(record.Size);
        const MsgResult answer =
            dialogs_.messageBox(this, message("Change section", question, MsgIcon::Information,
                                              MsgButtons::YesNo, MsgResult::Yes));
        if (answer != MsgResult::Yes) {
            setActivity("Ready");
            session.end();
            return;
        }
        // A section that could not be emptied is not written over.
        stored = link_.ClearNVMFile(group, number) == 0;
    }
    if (stored) {
        setActivity("Writing section...");
        stored = link_.WriteNVMFile(group, number, buffer.data(), length) == 0;
    }
    if (stored) {
        // Only what the phone gives back proves the write: the same length and the same bytes.
        std::vector<uint8_t> readBack(kTransferBufferSize);
        const int32_t count = link_.ReadNVMFile(group, number, readBack.data(), 0);
        stored = count == length && countFitsBuffer(count) &&
                 std::memcmp(readBack.data(), buffer.data(), static_cast<std::size_t>(length)) == 0;
    }
    UpdateSection(static_cast<uint8_t>(slot));
    session.end();
    ListaClick();
    setActivity("Ready");
    const SectionRecord& now = table_[slot];
    if (stored)
        dialogs_.messageBox(
            this,
            message("Upload to section",
                    QString("File uploaded to section %1\r\n(%2 bytes)").arg(sectionId(now)).arg(now.Size),
                    MsgIcon::Information));
    else
        dialogs_.messageBox(this,
                            message("Error",
                                    QString("Upload to section %1 failed.\r\nThe section holds %2 bytes.")
                                        .arg(sectionId(now))
                                        .arg(now.Size),
                                    MsgIcon::Error));
}

void TForm1::btn3Click() {
    if (scanning_)
        return;
    const std::optional<QString> fileName = dialogs_.saveFileName(this, savef);
    if (!fileName)
        return;
    const int slot = selectedSlot();
    if (slot < 0 || ConnectedPort == 0)
        return;
    const SectionRecord& record = table_[slot];

    const uint8_t port = ConnectedPort;
    GBPSession session(link_, port);
    if (!session.entered()) {
        setActivity(gbpErrorText(port));
        return;
    }
    setActivity(connected(port));
    setActivity("Reading section...");
    std::vector<uint8_t> buffer(kTransferBufferSize);
    const int32_t count = link_.ReadNVMFile(record.Group, record.Number, buffer.data(), 0);
    if (!countFitsBuffer(count)) {
        session.end();
        setActivity("Ready");
        dialogs_.messageBox(this,
                            message("Error", QString("Section %1 could not be read.").arg(sectionId(record)),
                                    MsgIcon::Error));
        return;
    }
    setActivity("Saving to file...");
    // A file error ends the operation here; the session still leaves GBP mode on the way out.
    FileIO::replaceFile(*fileName, buffer.data(), static_cast<std::size_t>(count));
    session.end();
    setActivity("Ready");
    dialogs_.messageBox(
        this,
        message(
            "Extract section",
            QString("Section %1\r\n(%2 bytes)\r\nextracted to file.").arg(sectionId(record)).arg(record.Size),
            MsgIcon::Information));
}

void TForm1::btn4Click() {
    if (scanning_)
        return;
    const int slot = selectedSlot();
    if (slot < 0 || ConnectedPort == 0)
        return;
    SectionRecord& record = table_[slot];
    const QString question =
        QString("Clear section %1\r\n(%2 bytes)\r\nAre You sure?").arg(sectionId(record)).arg(record.Size);
    if (dialogs_.messageBox(this, message("Clear section", question, MsgIcon::Warning, MsgButtons::YesNo,
                                          MsgResult::No)) != MsgResult::Yes)
        return;

    const uint8_t port = ConnectedPort;
    GBPSession session(link_, port);
    if (!session.entered()) {
        setActivity(gbpErrorText(port));
        return;
    }
    setActivity(connected(port));
    setActivity("Clearing section...");
    const bool cleared = link_.ClearNVMFile(record.Group, record.Number) == 0;
    session.end();
    if (!cleared) {
        // The record still describes what the phone may hold.
        setActivity("Ready");
        dialogs_.messageBox(this, message("Error",
                                          QString("Section %1 could not be cleared.").arg(sectionId(record)),
                                          MsgIcon::Error));
        return;
    }
    record.Size = -1;
    record.Kind = ckNone;
    record.Name.clear();
    record.TargetFirmware.clear();
    showTotal(totalDataSize(table_));
    Lista->viewport()->repaint();
    setActivity("Ready");
    ListaClick();
    dialogs_.messageBox(this, message("Clear section", QString("Section %1 cleared.").arg(sectionId(record)),
                                      MsgIcon::Information));
}
