// What the module entry knows about the process the library lives in.
#pragma once

namespace cvx {

// Set by the module entry when the loader detaches the library as part of
// the process's exit (never on Linux, where nothing needs it).
inline bool process_exiting = false;

// True once the process has begun to terminate with the library still
// loaded. Other modules may already be detached then, so nothing may call
// into them: the operating system reclaims what they held.
inline bool process_terminating() noexcept { return process_exiting; }

}  // namespace cvx
