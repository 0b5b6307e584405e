#pragma once
// tarvel-cli's exit codes, and the one mapping from core's outcomes to the command's message and code.
#include "FullBackup.h"
#include "Outcome.h"

#include <QString>

namespace Cli {

enum ExitCode {
    kSuccess = 0,
    kLinkFailed = 1, // the phone or the link failed
    kUsage = 2,
    kRefused = 3, // refused, or a change of a non-empty section without --yes
    kFileError = 4,
    kMismatch = 5, // verification mismatch or a damaged backup
};

// What the command was doing when the outcome came: the texts of a failure differ by it.
enum class Doing {
    Reading,   // one section or all of them (list, read, backup)
    Verifying, // the phone against a backup
    Writing,   // a change of one section, named in its failure as this
    Clearing,
    Restoring,
};

struct CliReport {
    int code = kSuccess;
    QString text; // the message after "tarvel-cli: "; empty on success, and for a section that differs
                  // from a backup (verify lists those)
};

// The exit code and message for a core outcome; defect for a full backup's.
CliReport report(const Outcome& outcome, Doing doing = Doing::Reading,
                 FullBackup::Defect defect = FullBackup::Defect::None);

} // namespace Cli
