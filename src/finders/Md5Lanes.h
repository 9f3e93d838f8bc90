#pragma once

#include <QtGlobal>

#include <functional>

// MD5 of several messages of one length at once, one per vector lane: a single digest
// cannot be spread over the lanes, as each block depends on the one before.
namespace Md5Lanes {

constexpr int kLanes = 16;
// Messages digested at once by the streamed form: two sets of lanes.
constexpr int kMessages = 2 * kLanes;
// What the streamed form reads of each message at a time.
constexpr qint64 kPiece = 16 * 1024;

// The 16-byte digests of `count` messages (1 to kLanes) of `length` bytes each, one after
// the other into `out`.
void digests(const char *const *messages, int count, qint64 length, char *out);

// The same for up to kMessages messages read a piece at a time, so only a few KiB of each
// is held: `read(lane, offset, length, into)` puts that lane's bytes at `offset` into
// `into`, or returns false. A lane whose read failed has false in `ok` and no digest.
// `buffer`, when given, holds kPiece bytes for each message.
using Reader = std::function<bool(int lane, qint64 offset, qint64 length, char *into)>;
void digests(int count, qint64 length, const Reader &read, char *out, bool *ok,
             char *buffer = nullptr);

} // namespace Md5Lanes
