#include "CallConvGuard.h"

#include <vector>

using BridgeProtocol::CallConv;
using BridgeProtocol::Op;

namespace {

uint32_t argumentCount(Op op) {
    switch (op) {
    case Op::End:
        return 0;
    case Op::Init:
        return 1;
    case Op::Read:
    case Op::Write:
        return 4;
    default:
        return 2;
    }
}

// What a call of count 32-bit arguments made through the thunk leaves the callee to remove.
uint32_t removedBy(CallConv conv, uint32_t count) {
    switch (conv) {
    case CallConv::Stdcall:
        return 4 * count;
    case CallConv::Register: // the first three came in registers
        return count > 3 ? 4 * (count - 3) : 0;
    default:
        return 0;
    }
}

std::string joined(const std::vector<CallConv>& convs, const char* separator) {
    std::string text;
    for (CallConv conv : convs)
        text += (text.empty() ? "" : separator) + std::string(BridgeProtocol::callConvName(conv));
    return text;
}

} // namespace

CallConvGuard::CallConvGuard(CallConv chosen, bool active)
    : chosen_(chosen), known_(active ? Known::Nothing : Known::Chosen) {}

CallConvGuard::Step CallConvGuard::next(Op op) const {
    if (!refusal_.empty())
        return Step::Refuse;
    if (known_ == Known::Chosen || op == Op::End) // no arguments: the same call in every convention
        return Step::Direct;
    // InitGBPMode has a single argument, which the thunk passes right in every convention; any call
    // with more waits for the test read, which tells cdecl from register as Init cannot.
    return op == Op::Init ? Step::Thunk : Step::ProbeFirst;
}

bool CallConvGuard::report(Op op, uint32_t removed) {
    std::vector<CallConv> shown;
    for (CallConv conv : {CallConv::Stdcall, CallConv::Cdecl, CallConv::Register})
        if (removedBy(conv, argumentCount(op)) == removed)
            shown.push_back(conv);
    bool fits = false;
    for (CallConv conv : shown)
        fits = fits || conv == chosen_;
    if (fits) {
        known_ = shown.size() == 1 ? Known::Chosen : Known::CdeclOrRegister;
        return true;
    }
    refusal_ = "the library removed " + std::to_string(removed) + " bytes of arguments on return from " +
               (op == Op::Read ? "a test ReadNVMFile" : BridgeProtocol::exportName(op));
    if (shown.empty())
        refusal_ += ", which fits none of stdcall, cdecl and register";
    else
        refusal_ += ", so it is " + joined(shown, " or ") + ", not " + BridgeProtocol::callConvName(chosen_) +
                    " as chosen (--gbp-callconv " + joined(shown, " or ") + ")";
    return false;
}
