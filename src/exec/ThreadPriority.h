#pragma once

class QThreadPool;

// Background threads that yield to the one drawing the window. On a busy machine a
// thread among many runnable ones waits its turn; the window's thread waits least when
// the measuring threads beside it ask for less.
namespace ThreadPriority {

// The niceness a background thread runs at on Linux.
constexpr int kBackgroundNice = 10;

// Lowers the calling thread's priority for the rest of its life (a thread cannot take
// it back); calling it again does nothing.
void lowerCurrent();

// In a child just made a session leader, before exec: a new session is a scheduling
// group of its own that would weigh as much as the user's whole desktop, whatever the
// niceness of its process, so the group is lowered too. `sessionGroup` is the group's
// control file (empty: none). Async-signal-safe.
void lowerNewSession(const char *sessionGroup);

// Lowers the priority of every thread the pool will ever run work on: it makes all of
// them at once, lowers each, and keeps them for good. Blocks until they all have (at
// most a second, should work hold some). Main thread only; once per pool.
void lowerPool(QThreadPool &pool);

} // namespace ThreadPriority
