#pragma once
// A phone kept in a folder: each NVM file is GG-NN.bin (group and number, two digits each). It answers
// on COM 1 only, serves one client in GBP mode at a time (a lock on the folder, so a second running
// program is refused as a serial port would refuse it) and refuses file operations outside GBP mode.
// First use fills the folder with demonstration sections. Only a plain file is a section: a link, a pipe,
// a device or a folder at a section's name is damage, shown as an empty section and never followed.
#include "GBPCtrl.h"

#include <QString>
#include <memory>
#include <optional>

class QLockFile;

class VirtualPhone : public GBPCtrl {
  public:
    // folder: where the files live; empty means the default under the application-data location.
    explicit VirtualPhone(QString folder = {});
    ~VirtualPhone() override;

    static QString defaultFolder();
    const QString& folder() const { return folder_; }
    QString sectionPath(uint8_t group, uint8_t number) const;

    int32_t InitGBPMode(uint8_t port) override;
    int32_t EndGBPMode() override;
    int32_t GetNVMFileSize(uint8_t group, uint8_t number) override;
    int32_t ReadNVMFile(uint8_t group, uint8_t number, void* buffer, int32_t count) override;
    int32_t WriteNVMFile(uint8_t group, uint8_t number, const void* buffer, int32_t length) override;
    int32_t ClearNVMFile(uint8_t group, uint8_t number) override;
    CallStatus lastCall() const override { return last_; }

    // Results of failed calls.
    static constexpr int32_t kNoAnswer = -1;   // wrong port, or not in GBP mode
    static constexpr int32_t kBusy = -2;       // another client holds the phone
    static constexpr int32_t kNoFile = -1;     // size of a missing file
    static constexpr int32_t kFileFailed = -3; // the file could not be read, written or removed

  private:
    bool ensureFolder();
    // Removes what an earlier run left half written; called with the lock held.
    void removeStaleTemporaries();

    QString folder_;
    std::unique_ptr<QLockFile> lock_;
    CallStatus last_ = CallStatus::Answered;
};
