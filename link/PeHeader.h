#pragma once
// What a file's PE header says: whether it is a Windows DLL, and for which processor, so that the
// bridge of the same architecture loads it; and which names its export table holds, read without
// running it, so that a library lacking one of the six operations is named before the bridge starts.
#include <QByteArray>
#include <QString>
#include <QStringList>

enum class PeArch { None, I686, X86_64 };

struct PeCheck {
    PeArch arch = PeArch::None; // None when the file is refused
    QString error;              // why it is refused: a sentence naming the file
};

struct PeExports {
    QStringList names; // in the table's order; empty when refused
    QString error;     // why the table cannot be read: a sentence naming the file
};

struct PeExportCheck {
    QStringList missing; // the six's plain names the bridge would not find, in the operations' order
    // Of those, the ones exported only in a decorated form (_InitGBPMode@4, InitGBPMode@4), which the
    // bridge does not look up: the names as the file exports them.
    QStringList decoratedOnly;
    QString error; // why the file cannot be checked; missing is then empty
};

class PeHeader {
  public:
    // head: the file's first bytes (at least up to the PE header's characteristics).
    static PeCheck inspect(const QByteArray& head, const QString& fileName);
    static PeCheck inspectFile(const QString& path);
    // The export table's names of an i686 or x86_64 DLL (PE32 or PE32+), every offset checked against
    // image, the whole file. A DLL without an export table has no names and no error.
    static PeExports exportNames(const QByteArray& image, const QString& fileName);
    static PeExports exportNamesOfFile(const QString& path);
    // Which of InitGBPMode, EndGBPMode, GetNVMFileSize, ReadNVMFile, WriteNVMFile and ClearNVMFile the
    // DLL lacks under the exact names the bridge asks the loader for.
    static PeExportCheck missingExports(const QByteArray& image, const QString& fileName);
    static PeExportCheck missingExportsOfFile(const QString& path);
    // "i686" or "x86_64".
    static QString archName(PeArch arch);
};
