// Where a stop of the run comes from outside it, and how the process ends once the run has written
// everything: the console's control events, and the end of the user's session.
#pragma once

#include <cstdint>
#include <memory>

#include "fleet_schedule.h"

namespace quillmark::companion {

// Listens from now on for Ctrl+C and Ctrl+Break, for the console's closing, and for logoff and
// shutdown. A console program that loads the windowing libraries (as COM does) hears logoff and
// shutdown only at its top-level windows, so a hidden one, on a thread of its own, hears them.
// Returns where these stops are asked for; it lives until the process ends.
std::shared_ptr<EndedLookups> ListenForStops();

// Ends the process with the run's exit code, once everything is written, the last line to standard
// error included. A console close or a session end that waits for the run meanwhile ends the
// process with this same code.
[[noreturn]] void EndProcess(std::uint32_t exit_code) noexcept;

}  // namespace quillmark::companion
