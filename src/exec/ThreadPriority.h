#pragma once

class QThreadPool;

// Background threads that yield to the one drawing the window. On a busy machine a
// thread among many runnable ones waits its turn; the window's thread waits least when
// the measuring threads beside it ask for less.
namespace ThreadPriority {

// The niceness a background thread runs at on Linux: the lowest. Where the system groups
// each session or application (autogroup, a desktop's per-application cgroups) it is
// weighed only against the rest of this program. At 10, two dozen measuring threads
// together outweighed the window's thread.
constexpr int kBackgroundNice = 19;

// Lowers the calling thread's priority for the rest of its life (a thread cannot take
// it back); calling it again does nothing.
void lowerCurrent();

// The window's thread: a short turn on a core, which the kernel then gives it as soon as
// it wakes, ahead of longer-turn work already running (on Linux from 6.12; elsewhere
// nothing). Its share of the cores stays what its niceness says.
void favourCurrent();

// In a tool's process, between fork and exec (async-signal-safe): a process group of its
// own, so that stopping it reaches its children too, and the background niceness. Not a
// session of its own: the scheduler weighs each session like the user's whole desktop,
// whatever the niceness inside it, and lets an unprivileged user lower a session's weight
// only once per 100 ms. Reading our terminal, should we have one, fails at once instead
// of stopping the tool.
void detachTool();

// Lowers the priority of every thread the pool will ever run work on: it makes all of
// them at once, lowers each, and keeps them for good. Blocks until they all have (at
// most a second, should work hold some). Main thread only; once per pool.
void lowerPool(QThreadPool &pool);

} // namespace ThreadPriority
