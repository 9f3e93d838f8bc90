#pragma once

#include <QtGlobal>

// MD5 of several messages of one length at once, one per vector lane: a single digest
// cannot be spread over the lanes, as each block depends on the one before.
namespace Md5Lanes {

constexpr int kLanes = 16;

// A message as two byte ranges read one after the other. The first range's length is a
// multiple of 64 unless the second range is empty.
struct Message {
    const char *first = nullptr;
    qint64 firstLength = 0;
    const char *second = nullptr;
    qint64 secondLength = 0;
    qint64 length() const { return firstLength + secondLength; }
};

// The 16-byte digests of `count` messages (1 to kLanes) that all have the same length,
// one after the other into `out`. Allocates nothing, so a failed read may cut it short.
void digests(const Message *messages, int count, char *out);

} // namespace Md5Lanes
