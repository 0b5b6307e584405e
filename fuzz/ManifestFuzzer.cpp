// Arbitrary bytes as a full backup's tarvel-backup.json, checked by FullBackup::parseManifest. A manifest
// it accepts records, for every section, either nothing or a size within the section's capacity and a
// SHA-256 as 64 lower-case hex digits, since a restore trusts it before it reads a file; the same
// sections written out again are accepted again. Any crash, sanitizer report or broken invariant is a
// finding. Qt's JSON parser is not instrumented: run with fuzz/manifest.dict.
#include "FullBackup.h"
#include "SectionTable.h"
#include "SectionTexts.h"
#include "SectionTitle.h"

namespace {

// A folder name the messages must show as it is (no separators to convert).
const QString kFolder = QStringLiteral("fuzz-backup");

void check(bool condition) {
    if (!condition)
        __builtin_trap();
}

bool isLowerHex64(const QByteArray& text) {
    if (text.size() != 64)
        return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > std::size_t(FullBackup::kMaxManifestSize))
        return -1; // load never passes a larger one
    const QByteArray json(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const FullBackup::Loaded loaded = FullBackup::parseManifest(json, kFolder);

    const SectionStatus status = loaded.outcome.status;
    check(status == SectionStatus::Ok || status == SectionStatus::Foreign ||
          status == SectionStatus::Damaged);
    check(loaded.ok() == (status == SectionStatus::Ok));
    check(loaded.ok() == (loaded.defect == FullBackup::Defect::None));
    // A refusal is a sentence naming the backup; nothing was read.
    const QString error = SectionTexts::backupFolderError(loaded);
    check(loaded.ok() == error.isEmpty());
    if (!loaded.ok())
        check(error.contains(kFolder) && error.endsWith('.'));
    for (const std::vector<uint8_t>& bytes : loaded.data)
        check(bytes.empty());
    if (!loaded.ok())
        return 0;

    for (int slot = 0; slot < kSectionCount; ++slot) {
        const FullBackup::SectionState& s = loaded.manifest.sections[slot];
        if (s.empty) {
            check(s.size == 0 && s.sha256.isEmpty());
        } else {
            check(s.size >= 0 && s.size <= SectionCapacity(slot));
            check(isLowerHex64(s.sha256));
        }
    }
    const FullBackup::Loaded again =
        FullBackup::parseManifest(FullBackup::manifestJson(loaded.manifest), kFolder);
    check(again.ok() && again.manifest.sections == loaded.manifest.sections);
    return 0;
}
