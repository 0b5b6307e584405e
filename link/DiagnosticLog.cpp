#include "DiagnosticLog.h"

#include "Backend.h"
#include "FileIO.h"
#include "SerialPorts.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSysInfo>
#include <QTime>

namespace {

// The file's SHA-256 in hex, or why it cannot be read.
QString sha256Of(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "cannot be read: " + file.errorString();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return "cannot be read: " + file.errorString();
    return QString::fromLatin1(hash.result().toHex());
}

} // namespace

DiagnosticLog::DiagnosticLog(QStringList header, int keptLines)
    : header_(std::move(header)), kept_(std::max(keptLines, 1)) {}

DiagnosticLog::~DiagnosticLog() = default;

QStringList DiagnosticLog::header(const Backend& backend, const QString& version, const QString& winePrefix,
                                  const QDateTime& now) {
    QStringList lines{"Tarvel diagnostic log", "Version: Tarvel " + version,
                      QString("OS: %1 (%2 %3, %4)")
                          .arg(QSysInfo::prettyProductName(), QSysInfo::kernelType(),
                               QSysInfo::kernelVersion(), QSysInfo::currentCpuArchitecture()),
                      "Backend: " + backend.name()};
    if (backend.isVirtualPhone()) {
        lines << "Library: none (the virtual phone in " + QDir::toNativeSeparators(backend.location()) + ")"
              << "SHA-256: -"
              << "Calling convention: -";
    } else {
        lines << "Library: " + QDir::toNativeSeparators(backend.location())
              << "SHA-256: " + sha256Of(backend.choice.library)
              << QString("Calling convention: %1").arg(BridgeProtocol::callConvName(backend.choice.callConv));
    }
#ifdef Q_OS_WIN
    Q_UNUSED(winePrefix);
    lines << "Wine prefix: not used on Windows";
#else
    lines << "Wine prefix: " + winePrefix;
    for (int com = 1; com <= 8; ++com) {
        const QString device = SerialPorts::mappedDevice(winePrefix, com);
        lines << QString("COM%1: %2").arg(com).arg(device.isEmpty() ? QString("not mapped") : device);
    }
#endif
    lines << "Date: " + now.toString(Qt::ISODateWithMs);
    return lines;
}

QString DiagnosticLog::appendTo(const QString& path) {
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append))
        return QString("%1 cannot be opened: %2").arg(QDir::toNativeSeparators(path), file->errorString());
    file_ = std::move(file);
    fileError_.clear();
    // A blank line parts this run from an earlier one's.
    write(((file_->size() > 0 ? "\n" : "") + header_.join('\n') + "\n").toUtf8());
    return fileError_;
}

void DiagnosticLog::write(const QByteArray& bytes) {
    if (!file_)
        return;
    if (file_->write(bytes) != bytes.size() || !file_->flush()) {
        fileError_ = QString("%1 could not be written: %2")
                         .arg(QDir::toNativeSeparators(file_->fileName()), file_->errorString());
        file_.reset();
    }
}

void DiagnosticLog::add(const QString& line) {
    const QString stamped = QTime::currentTime().toString("HH:mm:ss.zzz") + " " + line;
    lines_.push_back(stamped);
    while (static_cast<qsizetype>(lines_.size()) > kept_) {
        lines_.pop_front();
        ++dropped_;
    }
    write((stamped + "\n").toUtf8());
}

LoggingLink::Log DiagnosticLog::sink() {
    return [this](const QString& line) { add(line); };
}

QStringList DiagnosticLog::lines() const {
    return QStringList(lines_.begin(), lines_.end());
}

QString DiagnosticLog::text() const {
    QStringList all = header_;
    if (dropped_ > 0)
        all << QString("(%1 earlier lines left out)").arg(dropped_);
    all << lines();
    return all.join('\n') + "\n";
}

void DiagnosticLog::save(const QString& path) const {
    const QByteArray bytes = text().toUtf8();
    FileIO::replaceFile(path, bytes.constData(), static_cast<std::size_t>(bytes.size()));
}
