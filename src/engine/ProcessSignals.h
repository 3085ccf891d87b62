// How the programs meet the signals that end or limit a process.
//
// - A write past the file-size limit (`ulimit -f`) must fail like any other write, with the
//   file's name and "File too large", rather than kill the process with SIGXFSZ.
// - SIGINT, SIGTERM and SIGHUP (Ctrl-C, the session or the system ending) end a program the way
//   its user would: conversions stop and keep what they wrote, a player stops. Each program
//   watches for them in its own loop: the flag for loops that poll, the descriptor for an event
//   loop. A second signal of the same kind ends the process at once, as if nothing were caught.
// Call both on the main thread before other threads start.
#pragma once

namespace procsignals {

void IgnoreFileSizeLimit();

// Installs the handlers; returns a descriptor that becomes readable (a byte per signal caught),
// or -1 when it could not be made (the flag still works).
int CatchTermination();

// The signal caught, 0 while none was. Async-signal-safe.
int TerminationSignal();

}  // namespace procsignals
