#pragma once
// What a file's PE header says: whether it is a Windows DLL, and for which processor, so that the
// bridge of the same architecture loads it.
#include <QByteArray>
#include <QString>

enum class PeArch { None, I686, X86_64 };

struct PeCheck {
    PeArch arch = PeArch::None; // None when the file is refused
    QString error;              // why it is refused: a sentence naming the file
};

class PeHeader {
  public:
    // head: the file's first bytes (at least up to the PE header's characteristics).
    static PeCheck inspect(const QByteArray& head, const QString& fileName);
    static PeCheck inspectFile(const QString& path);
    // "i686" or "x86_64".
    static QString archName(PeArch arch);
};
