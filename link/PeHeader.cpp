#include "PeHeader.h"

#include <QFile>
#include <QFileInfo>

namespace {

constexpr int kPeOffsetField = 0x3C; // where the DOS header keeps the PE header's offset
constexpr quint16 kMachineI386 = 0x014C;
constexpr quint16 kMachineAmd64 = 0x8664;
constexpr quint16 kCharacteristicDll = 0x2000;
constexpr qint64 kHeadBytes = 64 * 1024; // the PE header lies well within this

quint32 le(const QByteArray& bytes, qint64 at, int size) {
    quint32 v = 0;
    for (int i = size - 1; i >= 0; --i)
        v = v << 8 | static_cast<quint8>(bytes[at + i]);
    return v;
}

PeCheck refuse(const QString& text) {
    return {PeArch::None, text};
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
    // Only a regular file is opened: a pipe or a device could block the open or the read.
    const QFileInfo info(path);
    if (!info.exists())
        return refuse(QString("%1 does not exist.").arg(path));
    if (!info.isFile())
        return refuse(QString("%1 is not a Windows DLL.").arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(QString("%1 cannot be opened: %2.").arg(path, file.errorString()));
    return inspect(file.read(kHeadBytes), path);
}

QString PeHeader::archName(PeArch arch) {
    return arch == PeArch::X86_64 ? "x86_64" : arch == PeArch::I686 ? "i686" : "none";
}
