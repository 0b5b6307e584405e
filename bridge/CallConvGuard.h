#pragma once
// Whether the library uses the calling convention the user chose, told by the bytes of arguments it
// removes from the stack on return from a call made through the bridge's all-conventions thunk (i686:
// the arguments on the stack and the first three also in EAX, EDX and ECX, so the call is right in
// every convention). Until the convention is known, each call is first checked: InitGBPMode goes
// through the thunk (stdcall removes 4 bytes, cdecl and register 0); a call with a group and number
// is preceded by a 20-byte ReadNVMFile of its section through the thunk, its stack laid out as cdecl
// (stdcall removes 16 bytes, register 4, having read a count of the group, cdecl 0).
// Once the library showed another convention, every call is refused. Plain C++.
#include "BridgeProtocol.h"

#include <cstdint>
#include <string>

class CallConvGuard {
  public:
    // What to do with the next call.
    enum class Step {
        Direct,     // through the chosen convention's typed pointer
        Thunk,      // through the thunk; then report() what the library removed
        ProbeFirst, // first the test read of the call's section through the thunk, report(), then next()
        Refuse,     // answer with refusal(), without calling the library
    };

    // active false (x86_64, one convention): every call is Direct.
    explicit CallConvGuard(BridgeProtocol::CallConv chosen, bool active = true);

    Step next(BridgeProtocol::Op op) const;
    // The bytes the library removed on return from op through the thunk (Read: the test read).
    // False when that fits no convention, or not the chosen one: from then on every call is refused.
    bool report(BridgeProtocol::Op op, uint32_t removed);
    // Why calls are refused; empty while they are not.
    const std::string& refusal() const { return refusal_; }

    // The count of the test read.
    static constexpr int32_t kProbeCount = 20;

  private:
    enum class Known { Nothing, CdeclOrRegister, Chosen };

    BridgeProtocol::CallConv chosen_;
    Known known_;
    std::string refusal_;
};
