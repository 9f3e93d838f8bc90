#pragma once

#include <QString>

#include <functional>

// The system log: syslog on Linux, the unified log on macOS. Thread-safe.
namespace SystemLog {

enum class Level { Info, Error };

inline constexpr const char subsystem[] = "com.ornk.quillmar.native";
inline constexpr const char category[] = "commands";

void write(Level level, const QString &message);

// For tests: every record goes to `capture` instead of the system log while set.
using Capture = std::function<void(Level, const QString &)>;
void setCapture(Capture capture);

} // namespace SystemLog
