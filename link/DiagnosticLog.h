#pragma once
// A log a user can attach to a bug report: a header that says what Tarvel talked to (its version, the
// system, the backend, the library with its SHA-256, the calling convention, the Wine prefix and its COM
// ports), then one line for every device-link call (LoggingLink's lines, each with the time of day).
// The last lines are kept in memory for save(); with a file (--log FILE) every line is also appended to
// it as it happens, flushed, so that the file keeps what led up to a crash. Used from one thread.
#include "LoggingLink.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <deque>
#include <memory>

struct Backend;
class QFile;

class DiagnosticLog {
  public:
    static constexpr int kKeptLines = 20000;

    explicit DiagnosticLog(QStringList header, int keptLines = kKeptLines);
    ~DiagnosticLog();
    DiagnosticLog(const DiagnosticLog&) = delete;
    DiagnosticLog& operator=(const DiagnosticLog&) = delete;

    // The header for backend as bound, with Tarvel's version, its Wine prefix and the date.
    static QStringList header(const Backend& backend, const QString& version, const QString& winePrefix,
                              const QDateTime& now);

    // Appends the header, and from then on every line, to path. Empty on success, else why not.
    QString appendTo(const QString& path);
    // Why the file stopped taking lines (a failed write); empty while it takes them.
    const QString& fileError() const { return fileError_; }

    void add(const QString& line);
    // add() as LoggingLink's log.
    LoggingLink::Log sink();

    const QStringList& headerLines() const { return header_; }
    // The kept lines, oldest first.
    QStringList lines() const;
    // The header, then the kept lines (with a note of how many older ones were left out).
    QString text() const;
    // Writes text() to path, replacing it atomically; throws EInOutError.
    void save(const QString& path) const;

  private:
    void write(const QByteArray& bytes);

    QStringList header_;
    int kept_;
    std::deque<QString> lines_;
    qint64 dropped_ = 0;
    std::unique_ptr<QFile> file_;
    QString fileError_;
};
