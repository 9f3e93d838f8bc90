#pragma once

#include <functional>

// Whether the OS lets this program read every protected folder. Systems without
// such a grant always answer yes.
namespace FullDiskAccess {

bool read();
// For tests: replaces the probe while set.
void setProbe(std::function<bool()> probe);

} // namespace FullDiskAccess
