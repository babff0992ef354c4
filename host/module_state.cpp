#include "host/module.h"

namespace cvx {
namespace {
bool exiting = false;
}  // namespace

bool process_terminating() noexcept { return exiting; }

void note_process_terminating() noexcept { exiting = true; }

}  // namespace cvx
