#include "host/module.h"

#include <atomic>

namespace cvx {
namespace {
std::atomic<bool> terminating{false};
}  // namespace

bool process_terminating() noexcept { return terminating.load(std::memory_order_acquire); }

void note_process_terminating() noexcept { terminating.store(true, std::memory_order_release); }

}  // namespace cvx
