#pragma once

// A log-out, `kill` or Ctrl-C ends the program the way quitting does: the event loop
// returns, scans and tools are stopped, and nothing is left running in the background.
// Without this the system's default action ends the program on the spot and leaves the
// tools it started (each leads its own process group) running on.
namespace TerminationSignals {

// Call once, on the main thread, after the application object exists.
void quitOnTermination();

} // namespace TerminationSignals
