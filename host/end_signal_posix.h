#pragma once

// How a run's event loop learns that the run should end from outside it:
// SIGTERM, SIGINT and SIGHUP, or another thread (the run limiter's, the
// render thread's). Both wake the loop through one pipe. POSIX builds only.

namespace kelvara {

// Makes the pipe and installs the signal handlers (SIGPIPE ignored). False
// when no pipe could be made: signals then end the process the default way.
bool installEndSignals();

// Asks the loop to end the run: async-signal-safe, nothing but write(2).
void wakeToEnd();

// The pipe's end the loop polls (readable once an end was asked for), or -1.
int endSignalFd();

} // namespace kelvara
