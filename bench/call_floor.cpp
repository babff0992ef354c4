// The least an export comparing two script strings can cost: a function of a
// library of its own that hands the two texts straight to strcmp, with no
// check and no scaling of the result. The benchmarks call it through a
// pointer, the way the engine calls an export, beside strcmp called
// directly; strcmpc can only come close to it, never under it.
#include <cstring>

#include "host/script_value.h"

extern "C" __attribute__((visibility("default"))) cvx::Word forward_strcmp(cvx::Word first, cvx::Word second);

cvx::Word forward_strcmp(cvx::Word first, cvx::Word second) {
    return std::strcmp(reinterpret_cast<const cvx::ScriptString*>(first)->chars,
                       reinterpret_cast<const cvx::ScriptString*>(second)->chars);
}
