#pragma once
// What the bridge tests share: the Windows programs the build made, the Wine prefix under the build
// folder, a check that this machine runs Windows programs of an architecture, a phone folder for the
// stand-in library, and environment changes undone at the end of a test.
#include "Backend.h"
#include "BridgeLink.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <optional>
#include <utility>
#include <vector>

namespace WineTest {

// Sets WINEPREFIX to the build folder's prefix unless it is set; once per program.
void usePrefix();
// A file the Windows build made (gbp-bridge-i686.exe, gbp-standin-x86_64.dll, ...).
QString windowsFile(const QString& name);
// Why Windows programs of arch cannot run here, or nothing when they can.
std::optional<QString> cannotRun(PeArch arch);
// The stand-in library for arch, built with conv (x86_64 has one build).
QString standIn(PeArch arch, CallConv conv = CallConv::Stdcall);
BridgeSetup setupFor(const QString& library, PeArch arch, CallConv conv = CallConv::Stdcall);

// Sets environment variables for its lifetime.
class ScopedEnv {
  public:
    ScopedEnv() = default;
    ScopedEnv(const char* name, const QByteArray& value) { set(name, value); }
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    void set(const char* name, const QByteArray& value);
    void unset(const char* name);

  private:
    std::vector<std::pair<QByteArray, std::optional<QByteArray>>> saved_;
};

// The stand-in's phone: a temporary folder named in TARVEL_STANDIN_DIR.
class StandInPhone {
  public:
    StandInPhone();
    void put(uint8_t group, uint8_t number, const QByteArray& bytes);
    // The file's bytes, or nothing when the section is empty.
    std::optional<QByteArray> get(uint8_t group, uint8_t number) const;
    QString path(uint8_t group, uint8_t number) const;
    // Stages a fault (TARVEL_STANDIN_CRASH and the like) from the next call on; an empty value ends it.
    void setFault(const char* variable, const QByteArray& value);

  private:
    QTemporaryDir dir_;
    ScopedEnv env_;
};

} // namespace WineTest

// Skips the test, saying why, where Windows programs of arch cannot run.
#define SKIP_UNLESS_WINE_RUNS(arch)                                                                          \
    if (const std::optional<QString> why = WineTest::cannotRun(arch))                                        \
    GTEST_SKIP() << why->toStdString()
