#include "Cli.h"

#include "BackupStore.h"
#include "Charset.h"
#include "DiagnosticLog.h"
#include "Doctor.h"
#include "EInOutError.h"
#include "FileIO.h"
#include "FullBackup.h"
#include "GBPSession.h"
#include "LinkOptions.h"
#include "LoggingLink.h"
#include "PictureFile.h"
#include "PortMapping.h"
#include "SectionOps.h"
#include "SectionTexts.h"
#include "SectionTitle.h"
#include "SerialPorts.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace Cli {

namespace {

// The largest budget fit takes: far above any section, yet a bound on the search's work.
constexpr int64_t kMaxFitBytes = int64_t{1} << 24;

const char* const kCommandsHelp = R"(
Commands:
  list                      the 31 sections: id, kind, size/capacity, title
  read SECTION FILE         extract a section into FILE (replaced atomically)
  write SECTION FILE        upload FILE into a section (backup, clear, write, verify); with --fit a
                            picture that is no GIF, or too large, is fitted into the section first
  clear SECTION             clear a section (after backing it up)
  backup DIR                back up all sections into DIR (made when missing; must be empty)
  restore DIR [SECTION...]  restore all sections, or the ones named, from a backup in DIR
  verify DIR                compare the phone with a backup in DIR
  history SECTION           list the automatic backups of a section
  undo SECTION              restore the newest automatic backup of a section
  ports                     the serial devices and the COM port each is mapped to in Wine (on
                            Windows, the system's COM ports)
  fit PICTURE FILE          fit a picture (PNG, JPEG, BMP, GIF, animated GIF) into a GIF of at most
                            --bytes N (or --section's capacity; default 21504), --size WxH at most,
                            --colors N at most; --no-dither, --allow-drop (drop frames if need be)
  doctor                    check each link from Tarvel to the phone, with a fix for each failure
                            (exit 0 when all pass); --probe also enters GBP mode on the port

SECTION is written as group and number, two digits each: 02-10 to 02-19, 18-09 to 18-29.
A command that would change a section holding data needs --yes, or "y" typed on a terminal.
Progress goes to stderr ("[12/31] 18-11"). Automatic backups are kept in the data folder
(backups/GG-NN/, the newest 50 of each section).

Exit codes:
  0  success
  1  the phone or the link failed
  2  usage error
  3  refused, or a change of a non-empty section without --yes
  4  file error
  5  verification mismatch, or a damaged backup
)";

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& err() {
    static QTextStream stream(stderr);
    return stream;
}

// Wine makes a prefix on its first start, which takes up to a minute: said once, so that the command is
// not taken for hung.
void announceNewPrefix(const Backend& backend) {
    static bool announced = false;
    const BridgeLink* bridge = backend.bridge();
    if (announced || !bridge || bridge->setup().launcher.isEmpty() ||
        QFileInfo::exists(SerialPorts::winePrefix() + "/system.reg"))
        return;
    announced = true;
    err() << "tarvel-cli: Wine is making its prefix " << QDir::toNativeSeparators(SerialPorts::winePrefix())
          << "; the first start takes up to a minute." << Qt::endl;
}

const char* kindWord(ContentKind kind) {
    switch (kind) {
    case ckApplication:
        return "application";
    case ckGifImage:
        return "gif";
    case ckUnknownData:
        return "unknown";
    default:
        return "empty";
    }
}

// Text from the phone or a backup, with control characters shown escaped (\x1b), so that it can neither
// steer the terminal nor add lines of its own.
QString printable(const QString& text) {
    QString shown;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0))
            shown += QString("\\x%1").arg(u, 2, 16, QChar('0'));
        else
            shown += c;
    }
    return shown;
}

// Whether path lies in folder (both made absolute; links resolved where they exist).
bool liesIn(const QString& path, const QString& folder) {
    if (folder.isEmpty())
        return false;
    auto resolved = [](const QString& p) {
        const QFileInfo info(p);
        return info.canonicalFilePath().isEmpty() ? QDir::cleanPath(info.absoluteFilePath())
                                                  : info.canonicalFilePath();
    };
    const QString parent = resolved(QFileInfo(path).absolutePath());
    const QString root = resolved(folder);
    return parent == root || parent.startsWith(root + "/");
}

bool stdinIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stdin)) != 0;
#else
    return ::isatty(STDIN_FILENO) != 0;
#endif
}

// A usage error: the message, then a pointer to --help.
struct UsageError {
    QString text;
};

// The commands, with what they share: the options, the link, the automatic backups.
class Runner {
  public:
    Runner(Options options, const QString& command, QStringList args, Backend backend)
        : options_(std::move(options)), command_(command), args_(std::move(args)),
          backend_(std::move(backend)) {
        if (!options_.logFile.isEmpty() && backend_.link)
            log_ = std::make_unique<DiagnosticLog>(
                DiagnosticLog::header(backend_, QCoreApplication::applicationVersion(),
                                      SerialPorts::winePrefix(), QDateTime::currentDateTime()));
        if ((options_.verbose || log_) && backend_.link)
            logging_ = std::make_unique<LoggingLink>(*backend_.link, [this](const QString& line) {
                if (options_.verbose)
                    err() << "link: " << line << Qt::endl;
                if (log_)
                    log_->add(line);
            });
        // Each phone has its own backups and notes.
        backups_.setPhone(backend_.phoneName(options_.port));
    }

    int run() {
        const std::map<QString, std::pair<int, int (Runner::*)()>> commands = {
            {"list", {0, &Runner::list}},     {"read", {2, &Runner::read}},
            {"write", {2, &Runner::write}},   {"clear", {1, &Runner::clear}},
            {"backup", {1, &Runner::backup}}, {"restore", {-1, &Runner::restore}},
            {"verify", {1, &Runner::verify}}, {"history", {1, &Runner::history}},
            {"undo", {1, &Runner::undo}},     {"ports", {0, &Runner::ports}},
            {"doctor", {0, &Runner::doctor}}, {"fit", {2, &Runner::fit}},
        };
        const auto it = commands.find(command_);
        if (it == commands.end())
            throw UsageError{QString("unknown command '%1'").arg(command_)};
        const int wanted = it->second.first;
        if (wanted >= 0 ? args_.size() != wanted : args_.isEmpty())
            throw UsageError{QString("wrong number of arguments for '%1'").arg(command_)};
        if (log_) {
            const QString error = log_->appendTo(options_.logFile);
            if (!error.isEmpty())
                return fail(kFileError, error + ".");
        }
        int code = kSuccess;
        try {
            code = (this->*it->second.second)();
        } catch (const EInOutError& e) {
            code = fail(kFileError, e.what());
        }
        if (log_ && !log_->fileError().isEmpty())
            err() << "tarvel-cli: the log stopped: " << log_->fileError() << Qt::endl;
        return code;
    }

    // Commands that never reach the phone, so that a library that cannot be used does not stop them.
    static bool needsLink(const QString& command) {
        return command != "ports" && command != "doctor" && command != "fit";
    }

  private:
    GBPCtrl& link() { return logging_ ? *logging_ : *backend_.link; }

    int fail(int code, const QString& text) {
        err() << "tarvel-cli: " << text << Qt::endl;
        return code;
    }
    int fail(const CliReport& report) { return fail(report.code, report.text); }

    static int slotOf(const QString& text) {
        const int slot = slotForId(text.toStdString());
        if (slot < 0)
            throw UsageError{QString("'%1' is not a section (02-10 to 02-19, 18-09 to 18-29)").arg(text)};
        return slot;
    }

    // Enters GBP mode and finishes any change an earlier run left cut short. False: the phone does not
    // answer (already reported).
    bool open(std::optional<GBPSession>& session) {
        announceNewPrefix(backend_);
        session.emplace(link(), options_.port);
        if (!session->entered()) {
            fail(kLinkFailed,
                 SectionTexts::gbpErrorText(options_.port) +
                     (link().lastCall() == CallStatus::Busy ? ": the phone is in use by another program."
                                                            : ": the phone does not answer."));
            return false;
        }
        bool answered = true;
        for (const Outcome& i : SectionOps::finishInterrupted(link(), backups_)) {
            const QString sentence = SectionTexts::interruptedSentence(i);
            if (!sentence.isEmpty())
                err() << "tarvel-cli: "
                      << QString("A change of section %1 was cut short. ").arg(sectionId(i.slot)) << sentence
                      << Qt::endl;
            answered = answered && i.status != SectionStatus::LinkFailed;
        }
        if (!answered)
            fail(kLinkFailed, "The phone did not answer; nothing was changed.");
        return answered;
    }

    // The section's size as the phone gives it; nothing (reported) when the phone did not answer.
    std::optional<int32_t> sizeOf(int slot) {
        const int32_t size = link().GetNVMFileSize(SectionGroup(slot), SectionNumber(slot));
        if (link().lastCall() == CallStatus::Answered)
            return size;
        fail(kLinkFailed,
             QString("The phone did not answer at section %1; nothing was changed.").arg(sectionId(slot)));
        return std::nullopt;
    }

    // --yes, or "y" typed on a terminal.
    bool confirmed(const QString& question) {
        if (options_.yes)
            return true;
        if (!stdinIsTerminal())
            return false;
        err() << question << " [y/N] " << Qt::flush;
        std::string answer;
        if (!std::getline(std::cin, answer))
            return false;
        return answer == "y" || answer == "Y" || answer == "yes";
    }

    // what: "Section 18-09", or "Sections 02-11, 18-09".
    int refused(const QString& what, bool several = false) {
        return fail(kRefused, what + (several ? " hold" : " holds") +
                                  " data; nothing was changed (confirm with --yes).");
    }

    // "[12/31] 18-11" once for each section of an operation on several.
    SectionOps::Progress progress() {
        return [this](const SectionOps::ProgressEvent& e) {
            if (e.total == 0 || e.index == lastIndex_)
                return;
            lastIndex_ = e.index;
            err() << "[" << e.index << "/" << e.total << "] " << sectionId(e.slot) << Qt::endl;
        };
    }

    static QString savedNote(const Outcome& outcome) {
        return outcome.path.isEmpty()
                   ? QString()
                   : QString(" (previous content saved in %1)").arg(QDir::toNativeSeparators(outcome.path));
    }

    int list() {
        std::optional<GBPSession> session;
        if (!open(session))
            return kLinkFailed;
        SectionTable table = makeSectionTable();
        const Outcome scanned = SectionOps::scanAll(link(), table);
        session->end();
        if (!scanned.ok())
            return fail(report(scanned));
        QJsonArray sections;
        for (int slot = 0; slot < kSectionCount; ++slot) {
            const SectionRecord& r = table[slot];
            const bool empty = r.Size < 0;
            const QString title = empty ? QString() : sectionTitle(r);
            const QString name =
                r.Kind == ckApplication && !empty ? Charset::sectionText(r.Name).trimmed() : QString();
            const QString shownTitle = printable(title), shownName = printable(name);
            if (options_.json) {
                QJsonObject o;
                o["id"] = sectionId(slot);
                o["kind"] = empty ? "empty" : kindWord(r.Kind);
                o["size"] = empty ? QJsonValue() : QJsonValue(r.Size);
                o["capacity"] = r.Capacity;
                o["title"] = title;
                o["name"] = name;
                sections.append(o);
            } else {
                const QString size =
                    (empty ? QString("-") : QString::number(r.Size)) + "/" + QString::number(r.Capacity);
                out() << QString("%1  %2  %3  %4%5")
                             .arg(sectionId(slot),
                                  QString(empty ? "empty" : kindWord(r.Kind)).leftJustified(11),
                                  size.leftJustified(11), shownTitle,
                                  shownName.isEmpty() ? QString() : "  " + shownName)
                             .trimmed()
                      << Qt::endl;
            }
        }
        if (options_.json) {
            QJsonObject root;
            root["sections"] = sections;
            root["total"] = static_cast<qint64>(totalDataSize(table));
            out() << QJsonDocument(root).toJson();
        }
        return kSuccess;
    }

    int read() {
        const int slot = slotOf(args_[0]);
        // The phone's own files and the backups are changed only the safe way.
        for (const QString& own : {backend_.phoneFolder, backups_.root()})
            if (liesIn(args_[1], own))
                return fail(kFileError, QString("%1 lies in Tarvel's own folder %2; choose another place.")
                                            .arg(args_[1], QDir::toNativeSeparators(own)));
        std::optional<GBPSession> session;
        if (!open(session))
            return kLinkFailed;
        // The whole read must give exactly the size the phone reports.
        const SectionOps::SectionContent section = SectionOps::readContent(link(), slot);
        if (!section.ok())
            return fail(report(section.outcome));
        if (section.empty)
            return fail(kRefused, QString("Section %1 is empty; nothing was written.").arg(sectionId(slot)));
        FileIO::replaceFile(args_[1], section.bytes.data(), section.bytes.size());
        session->end();
        out() << QString("%1: %2 bytes read into %3")
                     .arg(sectionId(slot))
                     .arg(section.bytes.size())
                     .arg(args_[1])
              << Qt::endl;
        return kSuccess;
    }

    // The options of fit and write --fit, with budget when neither --bytes nor --section gives one.
    FitOptions fitOptions(int64_t budget) const {
        FitOptions chosen;
        auto number = [](const QString& option, const QString& text, int64_t low, int64_t high) {
            bool ok = false;
            const int64_t value = text.toLongLong(&ok);
            if (!ok || value < low || value > high)
                throw UsageError{
                    QString("--%1 takes %2 to %3, not '%4'").arg(option).arg(low).arg(high).arg(text)};
            return value;
        };
        if (!options_.fitBytes.isEmpty() && !options_.fitSection.isEmpty())
            throw UsageError{"--bytes and --section cannot go together"};
        if (!options_.fitBytes.isEmpty())
            budget = number("bytes", options_.fitBytes, 64, kMaxFitBytes);
        if (!options_.fitSection.isEmpty())
            budget = SectionCapacity(slotOf(options_.fitSection));
        chosen.byteBudget = static_cast<size_t>(budget);
        if (!options_.fitSize.isEmpty()) {
            const QStringList wh = options_.fitSize.toLower().split('x');
            if (wh.size() != 2)
                throw UsageError{QString("--size takes WxH, not '%1'").arg(options_.fitSize)};
            chosen.targetWidth = static_cast<int>(number("size", wh[0], 1, 4096));
            chosen.targetHeight = static_cast<int>(number("size", wh[1], 1, 4096));
        }
        if (!options_.fitColors.isEmpty())
            chosen.maxColors = static_cast<int>(number("colors", options_.fitColors, 2, 256));
        chosen.allowDither = !options_.noDither;
        chosen.allowFrameDrop = options_.allowDrop;
        return chosen;
    }

    // Fits the picture at path into result; else reports why (it cannot be read, or does not fit) and
    // returns the exit code.
    int fitPicture(const QString& path, const FitOptions& fit, FitResult& result) {
        const PictureLoad picture = PictureFile::load(path);
        if (!picture.source)
            return fail(kFileError, QString("%1 %2.").arg(path, picture.error));
        result = fitGif(*picture.source, fit);
        if (result.fits)
            return kSuccess;
        return fail(kRefused, QString("%1 does not fit in %2 bytes: the smallest result is %3 bytes (%4)%5.")
                                  .arg(path)
                                  .arg(fit.byteBudget)
                                  .arg(result.bytes.size())
                                  .arg(PictureFile::fitSummary(result))
                                  .arg(picture.source->frames.size() > 1 && !fit.allowFrameDrop
                                           ? "; --allow-drop lets frames go"
                                           : ""));
    }

    int fit() {
        const FitOptions wanted = fitOptions(SectionCapacity(slotForId("18-09")));
        FitResult result;
        if (const int code = fitPicture(args_[0], wanted, result); code != kSuccess)
            return code;
        FileIO::replaceFile(args_[1], result.bytes.data(), result.bytes.size());
        out() << QString("%1: %2 bytes of %3, %4")
                     .arg(args_[1])
                     .arg(result.bytes.size())
                     .arg(wanted.byteBudget)
                     .arg(PictureFile::fitSummary(result))
              << Qt::endl;
        return kSuccess;
    }

    int write() {
        const int slot = slotOf(args_[0]);
        std::vector<uint8_t> buffer(kTransferBufferSize);
        int64_t length = FileIO::readFileUpTo(args_[1], buffer.data(), SectionCapacity(slot));
        const bool isGif = PictureFile::isGif(
            QByteArray(reinterpret_cast<const char*>(buffer.data()), std::min<int64_t>(length, 6)));
        if (options_.fit && (!isGif || length > SectionCapacity(slot))) {
            FitResult fitted;
            if (const int code = fitPicture(args_[1], fitOptions(SectionCapacity(slot)), fitted);
                code != kSuccess)
                return code;
            if (fitted.bytes.size() > buffer.size())
                return fail(kRefused,
                            QString("The fitted picture is larger than section %1.").arg(sectionId(slot)));
            std::copy(fitted.bytes.begin(), fitted.bytes.end(), buffer.begin());
            length = static_cast<int64_t>(fitted.bytes.size());
            err() << "tarvel-cli: " << args_[1] << " fitted: " << PictureFile::fitSummary(fitted) << Qt::endl;
        }
        if (length > SectionCapacity(slot))
            return fail(kFileError, QString("%1 is too large for section %2 (%3 bytes; it holds at most %4).")
                                        .arg(args_[1], sectionId(slot))
                                        .arg(length)
                                        .arg(SectionCapacity(slot)));
        std::optional<GBPSession> session;
        if (!open(session))
            return kLinkFailed;
        const std::optional<int32_t> size = sizeOf(slot);
        if (!size)
            return kLinkFailed;
        if (*size >= 0 &&
            !confirmed(QString("Section %1 holds %2 bytes. Overwrite it?").arg(sectionId(slot)).arg(*size)))
            return refused("Section " + sectionId(slot));
        const Outcome outcome =
            SectionOps::replaceSection(link(), backups_, slot, buffer.data(), static_cast<int32_t>(length));
        if (!outcome.ok())
            return fail(report(outcome, Doing::Writing));
        out() << QString("%1: %2 bytes written").arg(sectionId(slot)).arg(length) << savedNote(outcome)
              << Qt::endl;
        return kSuccess;
    }

    int clear() {
        const int slot = slotOf(args_[0]);
        std::optional<GBPSession> session;
        if (!open(session))
            return kLinkFailed;
        const std::optional<int32_t> size = sizeOf(slot);
        if (!size)
            return kLinkFailed;
        if (*size >= 0 &&
            !confirmed(QString("Section %1 holds %2 bytes. Clear it?").arg(sectionId(slot)).arg(*size)))
            return refused("Section " + sectionId(slot));
        const Outcome outcome = SectionOps::clearSection(link(), backups_, slot);
        if (!outcome.ok())
            return fail(report(outcome, Doing::Clearing));
        out() << QString("%1: cleared").arg(sectionId(slot)) << savedNote(outcome) << Qt::endl;
        return kSuccess;
    }

    int backup() {
        std::optional<GBPSession> session;
        if (!open(session))
            return kLinkFailed;
        const FullBackup::WriteOutcome outcome =
            FullBackup::write(link(), args_[0], QDateTime::currentDateTimeUtc(), progress());
        if (!outcome.ok())
            return fail(report(outcome.outcome, Doing::Reading, outcome.defect));
        out() << QString("%1 sections backed up to %2 (%3 hold data)")
                     .arg(kSectionCount)
                     .arg(QDir::toNativeSeparators(args_[0]))
                     .arg(outcome.sectionsWithData)
              << Qt::endl;
        return kSuccess;
    }

    // A backup folder, checked; the exit code when it cannot be used.
    std::optional<FullBackup::Loaded> loadBackup(const QString& folder, int* code) {
        FullBackup::Loaded loaded = FullBackup::load(folder);
        if (loaded.ok())
            return loaded;
        *code = fail(report(loaded.outcome, Doing::Reading, loaded.defect));
        return std::nullopt;
    }

    int restore() {
        std::vector<int> chosen;
        for (qsizetype i = 1; i < args_.size(); ++i)
            if (const int slot = slotOf(args_[i]);
                std::find(chosen.begin(), chosen.end(), slot) == chosen.end())
                chosen.push_back(slot);
        int code = kSuccess;
        const std::optional<FullBackup::Loaded> loaded = loadBackup(args_[0], &code);
        if (!loaded)
            return code;
        std::optional<GBPSession> session;
        if (!open(session))
            return kLinkFailed;
        QStringList holding;
        for (int slot = 0; slot < kSectionCount; ++slot) {
            if (!chosen.empty() && std::find(chosen.begin(), chosen.end(), slot) == chosen.end())
                continue;
            const std::optional<int32_t> size = sizeOf(slot);
            if (!size)
                return kLinkFailed;
            if (*size >= 0)
                holding.append(sectionId(slot));
        }
        const QString what = (holding.size() == 1 ? "Section " : "Sections ") + holding.join(", ");
        if (!holding.isEmpty() && !confirmed(QString("%1 %2 data. Overwrite %3?")
                                                 .arg(what, holding.size() == 1 ? "holds" : "hold",
                                                      holding.size() == 1 ? "it" : "them")))
            return refused(what, holding.size() > 1);
        const std::vector<Outcome> results =
            FullBackup::restore(link(), backups_, *loaded, chosen, progress());
        if (!results.empty() && !results.back().ok())
            return fail(report(results.back(), Doing::Restoring));
        out() << QString("%1 section%2 restored from %3")
                     .arg(results.size())
                     .arg(results.size() == 1 ? "" : "s")
                     .arg(QDir::toNativeSeparators(args_[0]))
              << Qt::endl;
        return kSuccess;
    }

    static QJsonValue stateJson(const FullBackup::SectionState& s) {
        QJsonObject o;
        o["empty"] = s.empty;
        if (!s.empty) {
            o["size"] = static_cast<qint64>(s.size);
            o["sha256"] = QString::fromLatin1(s.sha256);
        }
        return o;
    }

    static QString stateText(const FullBackup::SectionState& s) {
        return s.empty ? QString("empty") : QString("%1 bytes").arg(s.size);
    }

    int verify() {
        int code = kSuccess;
        const std::optional<FullBackup::Loaded> loaded = loadBackup(args_[0], &code);
        if (!loaded)
            return code;
        std::optional<GBPSession> session;
        if (!open(session))
            return kLinkFailed;
        const std::vector<FullBackup::Comparison> results =
            FullBackup::verify(link(), loaded->manifest, progress());
        session->end();
        if (!results.empty() && results.back().outcome.status == SectionStatus::LinkFailed)
            return fail(report(results.back().outcome, Doing::Verifying));
        int differing = 0;
        QJsonArray sections;
        for (const FullBackup::Comparison& c : results) {
            differing += c.matches() ? 0 : 1;
            // A section the phone did not give outweighs one that differs.
            const int sectionCode = report(c.outcome, Doing::Verifying).code;
            if (code != kLinkFailed && sectionCode != kSuccess)
                code = sectionCode;
            if (options_.json) {
                QJsonObject o;
                o["id"] = sectionId(c.outcome.slot);
                o["match"] = c.matches();
                o["backup"] = stateJson(c.expected);
                o["phone"] = c.readable() ? stateJson(c.actual) : QJsonValue();
                sections.append(o);
            } else if (!c.matches()) {
                out() << QString("%1: differs (phone: %2, backup: %3)")
                             .arg(sectionId(c.outcome.slot),
                                  c.readable() ? stateText(c.actual) : QString("could not be read"),
                                  stateText(c.expected))
                      << Qt::endl;
            }
        }
        if (options_.json) {
            QJsonObject root;
            root["backup"] = QDir::toNativeSeparators(args_[0]);
            root["time"] = loaded->manifest.time.toString(Qt::ISODateWithMs);
            root["matches"] = differing == 0;
            root["sections"] = sections;
            out() << QJsonDocument(root).toJson();
        } else {
            out() << (differing == 0 ? QString("all %1 sections match the backup").arg(kSectionCount)
                                     : QString("%1 of %2 sections differ from the backup")
                                           .arg(differing)
                                           .arg(kSectionCount))
                  << Qt::endl;
        }
        return code;
    }

    int history() {
        const int slot = slotOf(args_[0]);
        const std::vector<BackupEntry> entries = backups_.list(slot);
        QJsonArray list;
        for (const BackupEntry& e : entries) {
            const QString name = Charset::sectionText(e.name).trimmed();
            const QString shownName = printable(name);
            if (options_.json) {
                QJsonObject o;
                o["time"] = e.time.toString(Qt::ISODateWithMs);
                o["size"] = static_cast<qint64>(e.size);
                o["kind"] = kindWord(e.kind);
                o["name"] = name;
                o["path"] = QDir::toNativeSeparators(e.path);
                list.append(o);
            } else {
                out() << QString("%1  %2  %3  %4")
                             .arg(e.time.toString(Qt::ISODateWithMs),
                                  QString("%1 bytes").arg(e.size).leftJustified(11),
                                  QString(kindWord(e.kind) +
                                          (shownName.isEmpty() ? QString() : " " + shownName))
                                      .leftJustified(28),
                                  QDir::toNativeSeparators(e.path))
                      << Qt::endl;
            }
        }
        if (options_.json) {
            QJsonObject root;
            root["section"] = sectionId(slot);
            root["backups"] = list;
            out() << QJsonDocument(root).toJson();
        } else if (entries.empty()) {
            err() << "tarvel-cli: section " << sectionId(slot) << " has no automatic backups." << Qt::endl;
        }
        return kSuccess;
    }

    int undo() {
        const int slot = slotOf(args_[0]);
        const std::vector<BackupEntry> entries = backups_.list(slot);
        if (entries.empty())
            return fail(
                kRefused,
                QString("Section %1 has no automatic backups; nothing was changed.").arg(sectionId(slot)));
        // In memory first: the backup made of the current content may rotate the oldest files out.
        const BackupContent loaded = BackupStore::load(entries[0].path, kTransferBufferSize);
        if (!loaded.ok())
            return fail(report(loaded.outcome));
        const std::vector<uint8_t>& bytes = loaded.bytes;
        if (static_cast<int64_t>(bytes.size()) > SectionCapacity(slot))
            return fail(kMismatch,
                        QString("The backup of section %1 holds %2 bytes, more than the section's %3; "
                                "nothing was changed.")
                            .arg(sectionId(slot))
                            .arg(bytes.size())
                            .arg(SectionCapacity(slot)));
        std::optional<GBPSession> session;
        if (!open(session))
            return kLinkFailed;
        const std::optional<int32_t> size = sizeOf(slot);
        if (!size)
            return kLinkFailed;
        if (*size >= 0 && !confirmed(QString("Section %1 holds %2 bytes. Replace it with the backup of %3?")
                                         .arg(sectionId(slot))
                                         .arg(*size)
                                         .arg(entries[0].time.toString(Qt::ISODateWithMs))))
            return refused("Section " + sectionId(slot));
        const Outcome outcome = SectionOps::replaceSection(link(), backups_, slot, bytes.data(),
                                                           static_cast<int32_t>(bytes.size()));
        if (!outcome.ok())
            return fail(report(outcome, Doing::Restoring));
        out() << QString("%1: restored the backup of %2 (%3 bytes)")
                     .arg(sectionId(slot), entries[0].time.toString(Qt::ISODateWithMs))
                     .arg(bytes.size())
              << savedNote(outcome) << Qt::endl;
        return kSuccess;
    }

    // Reads sysfs and the Wine prefix only: the link stays closed.
    int ports() {
#ifdef _WIN32
        const std::vector<SerialPorts::Device> devices = SerialPorts::listWindows();
#else
        const std::vector<SerialPorts::Device> devices =
            SerialPorts::withComPorts(SerialPorts::listMachine(), SerialPorts::winePrefix());
#endif
        qsizetype width = 0;
        for (const SerialPorts::Device& d : devices)
            width = std::max(width, d.path.size());
        QJsonArray list;
        for (const SerialPorts::Device& d : devices) {
            const QString com = d.com > 0 ? QString("COM%1").arg(d.com) : QString();
            if (options_.json) {
                QJsonObject o;
                o["device"] = d.path;
                o["com"] = com.isEmpty() ? QJsonValue() : QJsonValue(com);
                o["description"] = d.description;
                list.append(o);
            } else {
                out() << QString("%1  %2  %3")
                             .arg(d.path.leftJustified(width),
                                  (com.isEmpty() ? QString("-") : com).leftJustified(5),
                                  printable(d.description))
                             .trimmed()
                      << Qt::endl;
            }
        }
        if (options_.json) {
            QJsonObject root;
            root["ports"] = list;
            out() << QJsonDocument(root).toJson();
        } else if (devices.empty()) {
            err() << "tarvel-cli: no serial devices found" << Qt::endl;
        }
        return kSuccess;
    }

    // Checks the chain to the phone without the command's link; with --probe it touches the phone.
    int doctor() {
        DoctorSetup setup = Doctor::setupFor(backend_.choice, options_.port);
        setup.probe = options_.probe;
        // For tests only: fake sysfs, /dev and /proc trees, and the user as "uid:gid,gid..." (the first
        // group the primary one).
        setup.sysfsRoot = SerialPorts::sysfsRoot();
        setup.devRoot = SerialPorts::devRoot();
        setup.procRoot = qEnvironmentVariable("TARVEL_PROC_ROOT", "/proc");
        if (const auto identity = Doctor::parseIdentity(qEnvironmentVariable("TARVEL_TEST_IDENTITY")))
            setup.identity = *identity;
        const std::vector<DoctorResult> results = Doctor::run(setup);
        out() << Doctor::reportText(results, options_.port) << Qt::flush;
        return Doctor::passed(results) ? kSuccess : kLinkFailed;
    }

    Options options_;
    QString command_;
    QStringList args_;
    Backend backend_;
    std::unique_ptr<DiagnosticLog> log_; // before logging_, which writes to it
    std::unique_ptr<LoggingLink> logging_;
    BackupStore backups_;
    int lastIndex_ = 0;
};

} // namespace

Backend makeLink(const Options& options) {
    if (!options.phoneDir.isEmpty())
        return virtualPhoneBackend(options.phoneDir);
    return makeBackend(options.gbpDll, options.gbpCallConv);
}

QString linkDescription(const Backend& backend) {
    if (!backend.error.isEmpty())
        return backend.error;
    return backend.name() + (backend.isVirtualPhone() ? " in " : ", ") +
           QDir::toNativeSeparators(backend.location());
}

int run(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Reads, writes, backs up and restores the sections of a Sony CMD-J5/J6/J7/J70 "
        "phone, as Tarvel does.");
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption port("port", "COM port of the phone, 1 to 8 (default 1).", "N", "1");
    const QCommandLineOption phoneDir("phone-dir", "Folder of the virtual phone.", "DIR");
    const QCommandLineOption yes("yes", "Change sections that hold data without asking.");
    const QCommandLineOption json("json", "Machine-readable output for list, verify, history and ports.");
    const QCommandLineOption verbose("verbose", "Log every link call with its arguments and result.");
    const LinkOptions linkOptions;
    const auto& [gbpDll, gbpCallConv, serial, logFile] = linkOptions;
    parser.addOptions({port, phoneDir, yes, json, verbose, gbpDll, gbpCallConv, serial});
    const QCommandLineOption probe("probe", "doctor: also enter GBP mode on the port and leave it (touches "
                                            "the phone).");
    parser.addOptions({probe, logFile});
    const QCommandLineOption fit("fit", "write: fit a picture into the section first.");
    const QCommandLineOption fitBytes("bytes", "fit: the largest GIF to make, in bytes.", "N");
    const QCommandLineOption fitSection("section", "fit: a section whose capacity is the budget.", "GG-NN");
    const QCommandLineOption fitSize("size", "fit, write --fit: the largest width and height.", "WxH");
    const QCommandLineOption fitColors("colors", "fit, write --fit: the most colours, 2 to 256.", "N");
    const QCommandLineOption noDither("no-dither", "fit, write --fit: no error diffusion.");
    const QCommandLineOption allowDrop("allow-drop", "fit, write --fit: frames may be dropped to fit.");
    parser.addOptions({fit, fitBytes, fitSection, fitSize, fitColors, noDither, allowDrop});
    parser.addPositionalArgument("COMMAND", "One of the commands below, with its arguments.",
                                 "COMMAND [ARGS...]");

    auto usage = [](const QString& text) {
        err() << "tarvel-cli: " << text << "\nTry 'tarvel-cli --help'." << Qt::endl;
        return kUsage;
    };
    if (!parser.parse(arguments))
        return usage(parser.errorText());
    if (parser.isSet(help)) {
        out() << parser.helpText() << kCommandsHelp << Qt::flush;
        return kSuccess;
    }
    Options options;
    options.phoneDir = parser.value(phoneDir);
    options.gbpDll = parser.value(gbpDll);
    options.gbpCallConv = parser.value(gbpCallConv);
    if (!options.phoneDir.isEmpty() && !options.gbpDll.isEmpty())
        return usage("--phone-dir is for the virtual phone and cannot go with --gbp-dll");
    std::map<int, QString> mappings;
    if (const QString error = PortMapping::parseOptions(parser.values(serial), mappings); !error.isEmpty())
        return usage(error);
    Backend backend = makeLink(options);
    if (!backend.choice.error.isEmpty())
        return usage(backend.choice.error);
    PortMapping::Applied applied = PortMapping::startUp(backend, mappings);
    if (!applied.registry.isEmpty()) {
        announceNewPrefix(backend);
        const QString error =
            PortMapping::updateRegistry(PortMapping::wine(), SerialPorts::winePrefix(), applied.registry);
        if (!error.isEmpty())
            applied.errors << error;
    }
    for (const QString& line : applied.notes + applied.errors)
        err() << "tarvel-cli: " << line << Qt::endl;
    if (parser.isSet(version)) {
        out() << "tarvel-cli " << QCoreApplication::applicationVersion()
              << "\nlink: " << linkDescription(backend) << Qt::endl;
        return backend.error.isEmpty() ? kSuccess : kLinkFailed;
    }
    QStringList positional = parser.positionalArguments();
    if (!backend.error.isEmpty() && (positional.isEmpty() || Runner::needsLink(positional.first()))) {
        err() << "tarvel-cli: " << backend.error << Qt::endl;
        return kLinkFailed;
    }
    bool portOk = false;
    const int portNumber = parser.value(port).toInt(&portOk);
    if (!portOk || portNumber < 1 || portNumber > 8)
        return usage(QString("--port takes 1 to 8, not '%1'").arg(parser.value(port)));
    options.port = static_cast<uint8_t>(portNumber);
    options.yes = parser.isSet(yes);
    options.json = parser.isSet(json);
    options.verbose = parser.isSet(verbose);
    options.probe = parser.isSet(probe);
    options.logFile = parser.value(logFile);
    options.fit = parser.isSet(fit);
    options.fitBytes = parser.value(fitBytes);
    options.fitSection = parser.value(fitSection);
    options.fitSize = parser.value(fitSize);
    options.fitColors = parser.value(fitColors);
    options.noDither = parser.isSet(noDither);
    options.allowDrop = parser.isSet(allowDrop);
    if (positional.isEmpty())
        return usage("no command given");
    const QString command = positional.takeFirst();
    try {
        return Runner(options, command, positional, std::move(backend)).run();
    } catch (const UsageError& e) {
        return usage(e.text);
    }
}

} // namespace Cli
