#include "PeHeader.h"

#include "BridgeProtocol.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstring>
#include <vector>

namespace {

constexpr int kPeOffsetField = 0x3C; // where the DOS header keeps the PE header's offset
constexpr quint16 kMachineI386 = 0x014C;
constexpr quint16 kMachineAmd64 = 0x8664;
constexpr quint16 kCharacteristicDll = 0x2000;
constexpr qint64 kHeadBytes = 64 * 1024; // the PE header lies well within this
constexpr quint16 kMagicPe32 = 0x010B;
constexpr quint16 kMagicPe32Plus = 0x020B;
constexpr qint64 kSectionHeaderBytes = 40;
constexpr qint64 kExportDirectoryBytes = 40;
// Limits far above any real library, so that a hostile file costs little time and memory.
constexpr quint16 kMaxSections = 96; // the most the Windows loader accepts
constexpr quint32 kMaxExportNames = 65536;
constexpr qint64 kMaxNameBytes = 512;
constexpr qint64 kMaxImageBytes = 64 * 1024 * 1024;

quint32 le(const QByteArray& bytes, qint64 at, int size) {
    quint32 v = 0;
    for (int i = size - 1; i >= 0; --i)
        v = v << 8 | static_cast<quint8>(bytes[at + i]);
    return v;
}

PeCheck refuse(const QString& text) {
    return {PeArch::None, text};
}

struct Section {
    quint32 address = 0; // RVA
    quint32 extent = 0;  // bytes it spans in memory
    quint32 rawSize = 0;
    quint32 rawOffset = 0;
};

enum class Place { Found, Outside, CutOff };

// Where [rva, rva + length) lies in the file: only within one section's bytes the file holds.
// room: how many bytes from there on the section still holds in the file.
Place locate(const std::vector<Section>& sections, qint64 fileSize, quint32 rva, qint64 length,
             qint64& offset, qint64& room) {
    for (const Section& s : sections) {
        if (rva < s.address || rva - s.address >= s.extent)
            continue;
        const qint64 inFile =
            qMax<qint64>(0, qMin<qint64>(qMin(s.extent, s.rawSize), fileSize - qint64(s.rawOffset)));
        const qint64 at = rva - s.address;
        if (at + length > inFile)
            return Place::CutOff;
        offset = qint64(s.rawOffset) + at;
        room = inFile - at;
        return Place::Found;
    }
    return Place::Outside;
}

QString placeText(Place place) {
    return place == Place::Outside ? "lies outside every section" : "is cut off";
}

// Opens a regular file only: a pipe or a device could block the open or the read.
QString openRegular(const QString& path, QFile& file) {
    const QFileInfo info(path);
    if (!info.exists())
        return QString("%1 does not exist.").arg(path);
    if (!info.isFile())
        return QString("%1 is not a Windows DLL.").arg(path);
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString("%1 cannot be opened: %2.").arg(path, file.errorString());
    return {};
}

// The whole file, which must be small enough to hold in memory.
QString readImage(const QString& path, QByteArray& image) {
    QFile file;
    if (const QString error = openRegular(path, file); !error.isEmpty())
        return error;
    if (file.size() > kMaxImageBytes)
        return QString("%1 is larger than %2 MiB, too large for the phone's library.")
            .arg(path)
            .arg(kMaxImageBytes / (1024 * 1024));
    image = file.read(kMaxImageBytes);
    return {};
}

} // namespace

PeCheck PeHeader::inspect(const QByteArray& head, const QString& fileName) {
    const QString notDll = QString("%1 is not a Windows DLL.").arg(fileName);
    if (head.size() < kPeOffsetField + 4 || !head.startsWith("MZ"))
        return refuse(notDll);
    const qint64 pe = le(head, kPeOffsetField, 4);
    // "PE\0\0", then the file header: machine (2 bytes) ... characteristics at +22.
    if (pe + 24 > head.size() || head.mid(pe, 4) != QByteArray("PE\0\0", 4))
        return refuse(notDll);
    const quint16 machine = static_cast<quint16>(le(head, pe + 4, 2));
    const quint16 characteristics = static_cast<quint16>(le(head, pe + 22, 2));
    if (!(characteristics & kCharacteristicDll))
        return refuse(QString("%1 is a Windows program, not a DLL.").arg(fileName));
    if (machine == kMachineI386)
        return {PeArch::I686, {}};
    if (machine == kMachineAmd64)
        return {PeArch::X86_64, {}};
    return refuse(QString("%1 is a DLL for another processor (machine 0x%2); the bridge serves i686 and "
                          "x86_64 DLLs.")
                      .arg(fileName)
                      .arg(machine, 4, 16, QChar('0')));
}

PeCheck PeHeader::inspectFile(const QString& path) {
    QFile file;
    if (const QString error = openRegular(path, file); !error.isEmpty())
        return refuse(error);
    return inspect(file.read(kHeadBytes), path);
}

PeExports PeHeader::exportNames(const QByteArray& image, const QString& fileName) {
    if (const PeCheck check = inspect(image, fileName); check.arch == PeArch::None)
        return {{}, check.error};
    const auto damaged = [&](const QString& why) {
        return PeExports{{}, QString("%1 is a damaged DLL: %2.").arg(fileName, why)};
    };
    const qint64 size = image.size();
    const qint64 pe = le(image, kPeOffsetField, 4); // inspect checked the file header up to pe + 24
    const quint16 sectionCount = static_cast<quint16>(le(image, pe + 6, 2));
    const qint64 optional = pe + 24;
    const qint64 optionalSize = le(image, pe + 20, 2);
    const qint64 sectionTable = optional + optionalSize;
    if (sectionCount > kMaxSections)
        return damaged(QString("it has %1 sections, more than %2").arg(sectionCount).arg(kMaxSections));
    if (optionalSize < 2 || sectionTable + sectionCount * kSectionHeaderBytes > size)
        return damaged("its headers are cut off");
    const quint16 magic = static_cast<quint16>(le(image, optional, 2));
    if (magic != kMagicPe32 && magic != kMagicPe32Plus)
        return damaged(
            QString("its optional header has the unknown magic 0x%1").arg(magic, 4, 16, QChar('0')));
    // Data directory 0, the export table, follows the count of directories.
    const qint64 countField = optional + (magic == kMagicPe32 ? 92 : 108);
    const qint64 exportEntry = countField + 4;
    if (exportEntry + 8 > sectionTable || le(image, countField, 4) < 1)
        return {}; // no data directories: nothing exported
    const quint32 directoryRva = le(image, exportEntry, 4);
    if (directoryRva == 0)
        return {};

    std::vector<Section> sections(sectionCount);
    for (int i = 0; i < sectionCount; ++i) {
        const qint64 at = sectionTable + i * kSectionHeaderBytes;
        Section& s = sections[i];
        s.address = le(image, at + 12, 4);
        s.rawSize = le(image, at + 16, 4);
        s.rawOffset = le(image, at + 20, 4);
        const quint32 virtualSize = le(image, at + 8, 4);
        s.extent = virtualSize ? virtualSize : s.rawSize;
    }
    qint64 directory = 0, room = 0;
    if (Place p = locate(sections, size, directoryRva, kExportDirectoryBytes, directory, room);
        p != Place::Found)
        return damaged("its export table " + placeText(p));
    const quint32 count = le(image, directory + 24, 4);
    if (count > kMaxExportNames)
        return damaged(
            QString("its export table lists %1 names, more than %2").arg(count).arg(kMaxExportNames));
    if (count == 0)
        return {};
    qint64 pointers = 0;
    if (Place p = locate(sections, size, le(image, directory + 32, 4), qint64(count) * 4, pointers, room);
        p != Place::Found)
        return damaged("its export name table " + placeText(p));

    PeExports exports;
    QByteArray previous;
    for (quint32 i = 0; i < count; ++i) {
        const QString which = QString("export name %1").arg(i + 1);
        qint64 at = 0;
        if (Place p = locate(sections, size, le(image, pointers + 4 * i, 4), 1, at, room); p != Place::Found)
            return damaged(which + " " + placeText(p));
        // The terminator is looked for only as far as a name may run, never through the whole file.
        const qint64 span = qMin(room, kMaxNameBytes + 1);
        const char* start = image.constData() + at;
        const char* nul = static_cast<const char*>(std::memchr(start, 0, span));
        if (!nul)
            return damaged(which + (span > kMaxNameBytes
                                        ? QString(" is longer than %1 bytes").arg(kMaxNameBytes)
                                        : QString(" has no terminator")));
        const QByteArray name(start, nul - start);
        // The loader finds a name by binary search, so a table out of order may hide an export.
        if (name < previous)
            return damaged(QString("its export names are out of order at %1").arg(which));
        exports.names.append(QString::fromLatin1(name));
        previous = name;
    }
    return exports;
}

PeExports PeHeader::exportNamesOfFile(const QString& path) {
    QByteArray image;
    if (const QString error = readImage(path, image); !error.isEmpty())
        return {{}, error};
    return exportNames(image, path);
}

PeExportCheck PeHeader::missingExports(const QByteArray& image, const QString& fileName) {
    const PeExports exports = exportNames(image, fileName);
    if (!exports.error.isEmpty())
        return {{}, {}, exports.error};
    PeExportCheck check;
    for (int op = int(BridgeProtocol::Op::Init); op <= int(BridgeProtocol::Op::Clear); ++op) {
        // The bridge's loader asks for exactly this name.
        const QString name = BridgeProtocol::exportName(static_cast<BridgeProtocol::Op>(op));
        if (exports.names.contains(name))
            continue;
        check.missing.append(name);
        // stdcall's decoration, with or without the leading underscore (MSVC's and mingw's forms).
        const QRegularExpression decorated(QString("^_?%1@[0-9]+$").arg(name));
        check.decoratedOnly.append(exports.names.filter(decorated));
    }
    return check;
}

PeExportCheck PeHeader::missingExportsOfFile(const QString& path) {
    QByteArray image;
    if (const QString error = readImage(path, image); !error.isEmpty())
        return {{}, {}, error};
    return missingExports(image, path);
}

QString PeHeader::archName(PeArch arch) {
    return arch == PeArch::X86_64 ? "x86_64" : arch == PeArch::I686 ? "i686" : "none";
}
