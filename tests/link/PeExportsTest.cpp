#include "PeHeader.h"
#include "QtPrinters.h"

#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

// Where the DLL that peImage builds keeps things: one section at file offset 0x200, RVA 0x1000, holding
// the export directory, then the name pointers, then the names.
constexpr int kSection = 0x200;
constexpr int kNameCount = kSection + 24;
constexpr int kPointers = kSection + 40;

void put(QByteArray& bytes, int at, quint32 value, int size = 4) {
    for (int i = 0; i < size; ++i)
        bytes[at + i] = char(value >> (8 * i) & 0xFF);
}

// A DLL for machine exporting names in the order given, with a PE32+ optional header for x86_64.
QByteArray peImage(quint16 machine, const QList<QByteArray>& names) {
    const bool plus = machine == 0x8664;
    const int optionalSize = plus ? 240 : 224;
    QByteArray bytes(kSection, 0);
    bytes.replace(0, 2, "MZ");
    put(bytes, 0x3C, 0x40);
    bytes.replace(0x40, 4, QByteArray("PE\0\0", 4));
    put(bytes, 0x44, machine, 2);
    put(bytes, 0x46, 1, 2); // one section
    put(bytes, 0x54, optionalSize, 2);
    put(bytes, 0x56, 0x2102, 2);
    put(bytes, 0x58, plus ? 0x20B : 0x10B, 2);
    put(bytes, 0x58 + (plus ? 108 : 92), 16); // data directories
    put(bytes, 0x58 + (plus ? 112 : 96), 0x1000);
    put(bytes, 0x58 + (plus ? 116 : 100), 40);

    QByteArray data(40 + 4 * names.size(), 0);
    put(data, 24, names.size());
    put(data, 32, 0x1000 + 40);
    for (int i = 0; i < names.size(); ++i) {
        put(data, 40 + 4 * i, 0x1000 + data.size());
        data += names[i] + '\0';
    }
    const int header = 0x58 + optionalSize;
    bytes.replace(header, 5, ".data");
    put(bytes, header + 8, data.size());
    put(bytes, header + 12, 0x1000);
    put(bytes, header + 16, data.size());
    put(bytes, header + 20, kSection);
    return bytes + data;
}

const QList<QByteArray> kSix = {"ClearNVMFile", "EndGBPMode",  "GetNVMFileSize",
                                "InitGBPMode",  "ReadNVMFile", "WriteNVMFile"};

QByteArray patched(QByteArray bytes, int at, quint32 value) {
    put(bytes, at, value);
    return bytes;
}

} // namespace

TEST(PeExports, ReadsTheNamesAndNamesTheMissingOrDecoratedOperations) {
    const PeExports names = PeHeader::exportNames(peImage(0x8664, {"Alpha", "Beta"}), "a.dll");
    EXPECT_EQ(names.error, "");
    EXPECT_EQ(names.names, (QStringList{"Alpha", "Beta"}));
    EXPECT_EQ(PeHeader::exportNames(peImage(0x014C, kSix), "a.dll").names.size(), 6) << "PE32";

    EXPECT_EQ(PeHeader::missingExports(peImage(0x014C, kSix), "a.dll").missing, QStringList{});
    const PeExportCheck five = PeHeader::missingExports(peImage(0x8664, kSix.mid(1)), "a.dll");
    EXPECT_EQ(five.missing, QStringList{"ClearNVMFile"});
    EXPECT_EQ(five.decoratedOnly, QStringList{});

    // The bridge asks the loader for the plain names only, so a decorated one does not serve it.
    const PeExportCheck decorated =
        PeHeader::missingExports(peImage(0x014C, {"ClearNVMFile", "EndGBPMode@0", "GetNVMFileSize",
                                                  "ReadNVMFile", "WriteNVMFile", "_InitGBPMode@4"}),
                                 "a.dll");
    EXPECT_EQ(decorated.error, "");
    EXPECT_EQ(decorated.missing, (QStringList{"InitGBPMode", "EndGBPMode"}));
    EXPECT_EQ(decorated.decoratedOnly, (QStringList{"_InitGBPMode@4", "EndGBPMode@0"}));

    const QByteArray good = peImage(0x8664, {"Alpha", "Beta"});
    QByteArray manySections = good;
    put(manySections, 0x46, 97, 2);
    QByteArray otherMagic = good;
    put(otherMagic, 0x58, 0x107, 2);
    const struct {
        QByteArray image;
        QString error;
    } refused[] = {
        {good.left(0x100), "a.dll is a damaged DLL: its headers are cut off."},
        {manySections, "a.dll is a damaged DLL: it has 97 sections, more than 96."},
        {otherMagic, "a.dll is a damaged DLL: its optional header has the unknown magic 0x0107."},
        {good.left(kSection + 20), "a.dll is a damaged DLL: its export table is cut off."},
        {patched(good, kNameCount, 65537), "a.dll is a damaged DLL: its export table lists 65537 names, more "
                                           "than 65536."},
        {patched(good, kNameCount, 1000), "a.dll is a damaged DLL: its export name table is cut off."},
        {patched(good, kPointers + 4, 0x9000),
         "a.dll is a damaged DLL: export name 2 lies outside every section."},
        {good.chopped(1), "a.dll is a damaged DLL: export name 2 has no terminator."},
        {peImage(0x8664, {QByteArray(600, 'A')}), "a.dll is a damaged DLL: export name 1 is longer than 512 "
                                                  "bytes."},
        {peImage(0x8664, {"Beta", "Alpha"}),
         "a.dll is a damaged DLL: its export names are out of order at export name 2."},
        {peImage(0x8664, {}).left(0x50), "a.dll is not a Windows DLL."},
    };
    for (const auto& r : refused) {
        const PeExportCheck check = PeHeader::missingExports(r.image, "a.dll");
        EXPECT_EQ(check.error, r.error);
        EXPECT_EQ(check.missing, QStringList{}) << r.error.toStdString();
    }
    EXPECT_EQ(PeHeader::missingExportsOfFile("/no/such/GBP.DLL").error, "/no/such/GBP.DLL does not exist.");
}

TEST(PeExports, FindsEverythingInTheStandInLibrariesButClearInTheOneBuiltWithoutIt) {
    const QStringList archs = QString(TARVEL_WINDOWS_ARCHS).split(' ', Qt::SkipEmptyParts);
    if (archs.isEmpty())
        GTEST_SKIP() << "no stand-in library was built (mingw-w64 missing)";
    QStringList complete;
    if (archs.contains("i686"))
        complete << "gbp-standin-stdcall-i686.dll"
                 << "gbp-standin-cdecl-i686.dll"
                 << "gbp-standin-register-i686.dll";
    if (archs.contains("x86_64")) {
        complete << "gbp-standin-x86_64.dll";
        const PeExportCheck noClear =
            PeHeader::missingExportsOfFile(TARVEL_WINDOWS_DIR "/gbp-standin-noclear-x86_64.dll");
        EXPECT_EQ(noClear.error, "");
        EXPECT_EQ(noClear.missing, QStringList{"ClearNVMFile"});
    }
    for (const QString& name : complete) {
        const PeExportCheck check = PeHeader::missingExportsOfFile(QString(TARVEL_WINDOWS_DIR "/") + name);
        EXPECT_EQ(check.error, "") << name.toStdString();
        EXPECT_EQ(check.missing, QStringList{}) << name.toStdString();
    }
}
