#pragma once

#include <QtGlobal>

// MD5 of several messages of one length at once, one per vector lane: a single digest
// cannot be spread over the lanes, as each block depends on the one before.
namespace Md5Lanes {

constexpr int kLanes = 16;

// The 16-byte digests of `count` messages (1 to kLanes) of `length` bytes each, one after
// the other into `out`.
void digests(const char *const *messages, int count, qint64 length, char *out);

} // namespace Md5Lanes
