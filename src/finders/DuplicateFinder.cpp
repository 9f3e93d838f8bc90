#include "finders/DuplicateFinder.h"

#include "finders/Md5Lanes.h"
#include "platform/FileProperties.h"
#include "platform/ReadOnlyFile.h"

#include <QCryptographicHash>
#include <QHash>

#include <sys/mman.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr qint64 kHalf = 524288;      // each of the fingerprint's two reads
constexpr qint64 kProbe = 4096;       // head and tail probe that splits a size bucket
constexpr qint64 kChunk = 512 * 1024; // comparison chunk per open file
constexpr int kMaxLockstep = 64;      // files compared side by side at most
constexpr qint64 kTwoThreadWork = 64LL << 20;
constexpr qsizetype kTwoThreadStats = 256; // paths

struct Candidate {
    QByteArray native;
    QString path; // for ordering and display
    FileIdentity identity;
};

bool pathLess(const Candidate &a, const Candidate &b)
{
    return a.path != b.path ? a.path < b.path : a.native < b.native;
}

struct Bucket {
    qint64 size = 0;
    QList<Candidate> files;
    qint64 work() const { return size * files.size(); }
};

// Memory in huge pages where the system gives them: a fault per 4 KiB page costs more
// than reading the bytes into it. `bytes` is a multiple of 2 MiB.
char *allocateHuge(size_t bytes)
{
    char *block = static_cast<char *>(std::aligned_alloc(2 * 1024 * 1024, bytes));
    if (!block)
        throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    ::madvise(block, bytes, MADV_HUGEPAGE);
#endif
    return block;
}

struct FreeBlock {
    void operator()(char *block) const { std::free(block); }
};

// Buffers for the bytes a fingerprint covers, carved from large blocks and reused: fresh
// memory costs a page fault per page, for every set.
class KeyPool {
public:
    KeyPool() = default;
    KeyPool(const KeyPool &) = delete;
    KeyPool &operator=(const KeyPool &) = delete;
    ~KeyPool()
    {
        for (char *block : m_blocks)
            std::free(block);
    }
    char *take()
    {
        if (m_free.empty()) {
            constexpr size_t kBlock = 16 * 2 * kHalf;
            char *block = allocateHuge(kBlock);
            m_blocks.push_back(block);
            for (size_t at = 0; at < kBlock; at += 2 * kHalf)
                m_free.push_back(block + at);
        }
        char *buffer = m_free.back();
        m_free.pop_back();
        return buffer;
    }
    void give(char *buffer) { m_free.push_back(buffer); }

private:
    std::vector<char *> m_blocks;
    std::vector<char *> m_free;
};

// One buffer of a pool, given back when it goes away.
class KeyBuffer {
public:
    KeyBuffer() = default;
    explicit KeyBuffer(KeyPool &pool) : m_bytes(pool.take()), m_pool(&pool) {}
    KeyBuffer(KeyBuffer &&other) noexcept
        : m_bytes(std::exchange(other.m_bytes, nullptr)), m_pool(other.m_pool)
    {
    }
    KeyBuffer &operator=(KeyBuffer &&other) noexcept
    {
        if (this != &other) {
            release();
            m_bytes = std::exchange(other.m_bytes, nullptr);
            m_pool = other.m_pool;
        }
        return *this;
    }
    ~KeyBuffer() { release(); }
    explicit operator bool() const { return m_bytes != nullptr; }
    char *data() const { return m_bytes; }
    void release()
    {
        if (m_bytes)
            m_pool->give(std::exchange(m_bytes, nullptr));
    }

private:
    char *m_bytes = nullptr;
    KeyPool *m_pool = nullptr;
};

// A confirmed set of identical files. Its fingerprint is digested later, together with
// others, from the bytes the comparison read.
struct Found {
    qint64 size = 0;
    QList<Candidate> files; // ascending by path
    KeyBuffer key;          // what the fingerprint covers, unless it was not kept
    QByteArray fingerprint;
};

// Buffers of one worker, allocated once and reused for every bucket, and the sets whose
// fingerprints wait to be digested.
struct Scratch {
    const CancelToken *cancel = nullptr;
    bool stopped() const { return cancel && cancel->isCancelled(); }
    std::unique_ptr<char[]> half{new char[kHalf]};
    std::unique_ptr<char[], FreeBlock> chunks{allocateHuge(kChunk * kMaxLockstep)};
    char *chunk(int slot) { return chunks.get() + qint64(slot) * kChunk; }
    KeyPool keys;
    std::vector<Found *> pending; // each holds a buffer of `keys`
};

// The same file as in the size pass, still of the bucket's size.
bool openUnchanged(ReadOnlyFile &file, const Candidate &c, qint64 size)
{
    return file.openNative(c.native) && file.id() == c.identity.id() && file.size() == size;
}

QByteArray fingerprintOf(ReadOnlyFile &file, qint64 size, char *buffer)
{
    QCryptographicHash md5(QCryptographicHash::Md5);
    qint64 n = file.readAt(0, buffer, kHalf);
    if (n <= 0)
        return {};
    md5.addData(QByteArrayView(buffer, n));
    if (size > kHalf) {
        const qint64 tail = std::max(size, 2 * kHalf) - kHalf;
        n = file.readAt(tail, buffer, kHalf);
        if (n <= 0)
            return {};
        md5.addData(QByteArrayView(buffer, n));
    }
    return md5.result();
}

QByteArray wholeDigestOf(ReadOnlyFile &file, qint64 size, char *buffer)
{
    QCryptographicHash md5(QCryptographicHash::Md5);
    file.adviseSequential();
    qint64 offset = 0;
    while (offset < size) {
        const qint64 n = file.readAt(offset, buffer, std::min(kHalf, size - offset));
        if (n <= 0)
            return {};
        md5.addData(QByteArrayView(buffer, n));
        offset += n;
    }
    return md5.result();
}

// A cheap hash of the first and last few KiB: files it tells apart cannot be equal.
std::optional<size_t> probeOf(ReadOnlyFile &file, qint64 size, char *buffer)
{
    qint64 length = std::min(size, kProbe);
    if (file.readAt(0, buffer, length) != length)
        return std::nullopt;
    size_t h = qHashBits(buffer, size_t(length), 0);
    if (size > kProbe) {
        const qint64 offset = std::max(kProbe, size - kProbe);
        length = size - offset;
        if (file.readAt(offset, buffer, length) != length)
            return std::nullopt;
        h = qHashBits(buffer, size_t(length), h);
    }
    return h;
}

using Classes = std::vector<std::vector<int>>;

// Identical files found by one comparison, with the bytes the fingerprint covers when
// they came for free.
struct Same {
    std::vector<int> members;
    KeyBuffer key;
};

// The fingerprint covers the head and the tail, each up to 512 KiB, which meet in files
// up to 1 MiB.
qint64 keyLength(qint64 size)
{
    return std::min(size, 2 * kHalf);
}

// Where the fingerprint's tail starts; its head ends at min(size, 512 KiB).
qint64 keyTailFrom(qint64 size)
{
    return size > kHalf ? std::max(size, 2 * kHalf) - kHalf : size;
}

// Where the bytes at `offset` go among those the fingerprint covers, or null for a range
// that is not wholly among them.
char *keyPlace(char *key, qint64 size, qint64 offset, qint64 length)
{
    const qint64 head = std::min(size, kHalf);
    if (offset + length <= head)
        return key + offset;
    if (offset >= keyTailFrom(size))
        return key + head + (offset - keyTailFrom(size));
    return nullptr;
}

// Reads the files side by side, chunk by chunk, splitting them wherever their bytes part,
// and keeps the bytes the fingerprint covers on the way so no file is read again for it.
// Returns the sets of two or more files whose whole contents agree.
std::vector<Same> splitSideBySide(const QList<Candidate> &cands, const std::vector<int> &members,
                                  qint64 size, Scratch &scratch)
{
    struct Set {
        std::vector<int> held;
        KeyBuffer key;
    };
    std::vector<ReadOnlyFile> files(members.size());
    std::vector<int> open;
    for (int slot = 0; slot < int(members.size()); ++slot) {
        if (openUnchanged(files[slot], cands[members[slot]], size)) {
            files[slot].adviseSequential();
            open.push_back(slot);
        }
    }
    std::vector<Set> sets;
    if (open.size() >= 2)
        sets.push_back({open, KeyBuffer(scratch.keys)});
    // A few KiB at each end first, as files that differ mostly do so there.
    std::vector<std::pair<qint64, qint64>> ranges;
    const qint64 head = std::min(size, kProbe);
    const qint64 tail = std::max(head, size - kProbe);
    ranges.emplace_back(0, head);
    if (tail < size)
        ranges.emplace_back(tail, size - tail);
    // Reads end at the fingerprint's edges, so that each lies wholly inside or outside.
    for (qint64 offset = head; offset < tail;) {
        qint64 end = std::min(tail, offset + kChunk);
        for (const qint64 edge : {kHalf, keyTailFrom(size)})
            end = offset < edge && edge < end ? edge : end;
        ranges.emplace_back(offset, end - offset);
        offset = end;
    }
    std::vector<const char *> bytes(members.size());
    for (const auto &[offset, length] : ranges) {
        if (sets.empty() || scratch.stopped())
            break;
        std::vector<Set> next;
        for (Set &set : sets) {
            std::vector<Set> parts;
            // The first file's bytes go straight to where the fingerprint keeps them.
            char *const kept = keyPlace(set.key.data(), size, offset, length);
            for (int slot : set.held) {
                char *mine = kept && slot == set.held.front() ? kept : scratch.chunk(slot);
                bytes[size_t(slot)] = mine;
                if (files[slot].readAt(offset, mine, length) != length) {
                    files[slot].close();
                    continue;
                }
                auto same = std::find_if(parts.begin(), parts.end(), [&](const Set &p) {
                    return std::memcmp(bytes[size_t(p.held.front())], mine, size_t(length)) == 0;
                });
                if (same != parts.end())
                    same->held.push_back(slot);
                else
                    parts.push_back({{slot}, {}});
            }
            for (Set &p : parts) {
                if (p.held.size() < 2) {
                    files[p.held.front()].close();
                    continue;
                }
                // The first part that goes on takes the bytes kept so far, others a copy.
                if (set.key) {
                    p.key = std::move(set.key);
                } else {
                    p.key = KeyBuffer(scratch.keys);
                    std::memcpy(p.key.data(), next.back().key.data(), size_t(keyLength(size)));
                }
                char *place = keyPlace(p.key.data(), size, offset, length);
                if (place && place != bytes[size_t(p.held.front())])
                    std::memcpy(place, bytes[size_t(p.held.front())], size_t(length));
                next.push_back(std::move(p));
            }
        }
        sets = std::move(next);
    }
    std::vector<Same> result;
    if (scratch.stopped())
        return result;
    for (Set &set : sets) {
        Same same;
        for (int slot : set.held)
            same.members.push_back(members[slot]);
        same.key = std::move(set.key);
        result.push_back(std::move(same));
    }
    return result;
}

bool sameContents(ReadOnlyFile &a, ReadOnlyFile &b, qint64 size, Scratch &scratch)
{
    char *bufA = scratch.chunk(0);
    char *bufB = scratch.chunk(1);
    for (qint64 offset = 0; offset < size; offset += kChunk) {
        const qint64 length = std::min(kChunk, size - offset);
        if (a.readAt(offset, bufA, length) != length || b.readAt(offset, bufB, length) != length ||
            std::memcmp(bufA, bufB, size_t(length)) != 0)
            return false;
    }
    return true;
}

// For very many files that hash alike: each one against the first file of every set so
// far, two files open at a time.
std::vector<Same> splitPairwise(const QList<Candidate> &cands, const std::vector<int> &members,
                                qint64 size, Scratch &scratch)
{
    Classes sets;
    for (int m : members) {
        ReadOnlyFile file;
        if (!openUnchanged(file, cands[m], size))
            continue;
        bool placed = false;
        for (std::vector<int> &set : sets) {
            ReadOnlyFile first;
            if (openUnchanged(first, cands[set.front()], size) &&
                sameContents(first, file, size, scratch)) {
                set.push_back(m);
                placed = true;
                break;
            }
        }
        if (!placed)
            sets.push_back({m});
    }
    std::vector<Same> result;
    for (std::vector<int> &set : sets) {
        if (set.size() >= 2)
            result.push_back({std::move(set), {}});
    }
    return result;
}

// The members that share their hash with another, in sets, each in listed order.
std::vector<std::vector<int>> sharingAHash(std::vector<std::pair<size_t, int>> hashed)
{
    std::stable_sort(hashed.begin(), hashed.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    std::vector<std::vector<int>> sets;
    for (size_t from = 0; from < hashed.size();) {
        size_t to = from + 1;
        while (to < hashed.size() && hashed[to].first == hashed[from].first)
            ++to;
        if (to - from >= 2) {
            sets.emplace_back();
            for (size_t k = from; k < to; ++k)
                sets.back().push_back(hashed[k].second);
        }
        from = to;
    }
    return sets;
}

// Splits many same-looking files by a hash of their whole contents, reading one file at a
// time, so that what is left to compare side by side is small. Files that cannot be read
// in full drop out.
std::vector<std::vector<int>> splitByWholeHash(const QList<Candidate> &cands,
                                               const std::vector<int> &members, qint64 size,
                                               Scratch &scratch)
{
    std::vector<std::pair<size_t, int>> hashed;
    char *buffer = scratch.chunk(0);
    for (int m : members) {
        ReadOnlyFile file;
        if (scratch.stopped() || !openUnchanged(file, cands[m], size))
            continue;
        file.adviseSequential();
        size_t h = 0;
        qint64 offset = 0;
        for (; offset < size; offset += kChunk) {
            const qint64 length = std::min(kChunk, size - offset);
            if (file.readAt(offset, buffer, length) != length)
                break;
            h = qHashBits(buffer, size_t(length), h);
        }
        if (offset >= size)
            hashed.emplace_back(h, m);
    }
    return sharingAHash(std::move(hashed));
}

// A digest of the first member that can still be read in full.
template <typename Digest>
QByteArray digestOfAny(const QList<Candidate> &files, qint64 size, Digest digest)
{
    for (const Candidate &c : files) {
        ReadOnlyFile file;
        if (!openUnchanged(file, c, size))
            continue;
        QByteArray d = digest(file);
        if (!d.isEmpty())
            return d;
    }
    return {};
}

// Digests the fingerprints waiting: several in one pass when there are enough of one
// length. A set whose bytes were not kept is read again.
void digestPending(Scratch &scratch)
{
    std::vector<Found *> &pending = scratch.pending;
    std::erase_if(pending, [&](Found *f) {
        if (f->key)
            return false;
        f->fingerprint = digestOfAny(f->files, f->size, [&](ReadOnlyFile &file) {
            return fingerprintOf(file, f->size, scratch.half.get());
        });
        return true;
    });
    const int count = int(pending.size());
    const char *messages[Md5Lanes::kLanes];
    for (int k = 0; k < count; ++k)
        messages[k] = pending[size_t(k)]->key.data();
    // Below a few messages the lanes cost more than digesting each alone.
    const qint64 length = count > 0 ? keyLength(pending[0]->size) : 0;
    if (count >= Md5Lanes::kLanes / 3 &&
        std::all_of(pending.begin(), pending.end(),
                    [&](const Found *f) { return keyLength(f->size) == length; })) {
        char digests[16 * Md5Lanes::kLanes];
        Md5Lanes::digests(messages, count, length, digests);
        for (int k = 0; k < count; ++k)
            pending[size_t(k)]->fingerprint = QByteArray(digests + 16 * k, 16);
    } else {
        for (Found *f : pending)
            f->fingerprint = QCryptographicHash::hash(
                QByteArrayView(f->key.data(), keyLength(f->size)), QCryptographicHash::Md5);
    }
    for (Found *f : pending)
        f->key.release();
    pending.clear();
}

// Queues a set's fingerprint; under 1 MiB a set is the only one of its length here, so it
// is digested at once.
void queueFingerprint(Found &f, Scratch &scratch)
{
    if (f.size < 2 * kHalf) {
        std::vector<Found *> others = std::exchange(scratch.pending, {&f});
        digestPending(scratch);
        scratch.pending = std::move(others);
        return;
    }
    scratch.pending.push_back(&f);
    if (int(scratch.pending.size()) == Md5Lanes::kLanes)
        digestPending(scratch);
}

// The sets of identical files of one size, each queued for its fingerprint as it is
// found, so the bytes kept for fingerprints stay few.
void processBucket(const Bucket &bucket, Scratch &scratch, std::deque<Found> &found)
{
    const qint64 size = bucket.size;
    const QList<Candidate> &cands = bucket.files;

    // Few files are compared side by side at once, their ends first. Many are first told
    // apart by their ends, so that no more are held open than can be.
    std::vector<std::vector<int>> groups;
    if (cands.size() <= kMaxLockstep) {
        groups.emplace_back(size_t(cands.size()));
        for (int i = 0; i < cands.size(); ++i)
            groups.back()[size_t(i)] = i;
    } else {
        std::vector<std::pair<size_t, int>> probes;
        for (int i = 0; i < cands.size(); ++i) {
            ReadOnlyFile file;
            if (!openUnchanged(file, cands[i], size))
                continue;
            if (const auto h = probeOf(file, size, scratch.half.get()))
                probes.emplace_back(*h, i);
        }
        groups = sharingAHash(std::move(probes));
    }

    for (const std::vector<int> &members : groups) {
        std::vector<Same> sets;
        if (members.size() <= size_t(kMaxLockstep)) {
            sets = splitSideBySide(cands, members, size, scratch);
        } else {
            for (const std::vector<int> &part : splitByWholeHash(cands, members, size, scratch)) {
                std::vector<Same> split = part.size() <= size_t(kMaxLockstep)
                                              ? splitSideBySide(cands, part, size, scratch)
                                              : splitPairwise(cands, part, size, scratch);
                std::move(split.begin(), split.end(), std::back_inserter(sets));
            }
        }
        for (Same &same : sets) {
            Found &f = found.emplace_back();
            f.size = size;
            for (int i : same.members)
                f.files.append(cands[i]);
            std::sort(f.files.begin(), f.files.end(), pathLess);
            f.key = std::move(same.key);
            queueFingerprint(f, scratch);
        }
    }
}

// A listed path's regular file, or a size of 0 for anything else.
struct Listed {
    qint64 size = 0;
    FileIdentity identity;
};

// The lstat of every path. A second thread takes half of a long list: it is most of the
// time before the first comparison.
std::vector<Listed> statAll(const QList<QByteArray> &paths, int threads, const CancelToken &cancel)
{
    std::vector<Listed> listed(size_t(paths.size()));
    auto stat = [&](qsizetype from, qsizetype to) {
        for (qsizetype i = from; i < to && !cancel.isCancelled(); ++i) {
            const QByteArray &native = paths[i];
            struct stat st;
            if (native.isEmpty() || native.contains('\0') || ::lstat(native.constData(), &st) != 0)
                continue;
            const FileProperties p = FileProperties::fromStat(st);
            if (p.isRegularFile)
                listed[size_t(i)] = {p.fileSize, p.identity};
        }
    };
    const qsizetype half = paths.size() / 2;
    if (threads != 1 && paths.size() >= kTwoThreadStats) {
        std::thread helper(stat, half, paths.size());
        stat(0, half);
        helper.join();
    } else {
        stat(0, paths.size());
    }
    return listed;
}

} // namespace

QString DuplicateFinder::fingerprint(const QString &path, qint64 size)
{
    ReadOnlyFile file;
    if (!file.open(path) || file.size() != size)
        return {};
    std::unique_ptr<char[]> buffer(new char[kHalf]);
    return QString::fromLatin1(fingerprintOf(file, size, buffer.get()).toHex());
}

QList<DuplicateGroupRecord> DuplicateFinder::groups(const QStringList &paths, int threads)
{
    QList<QByteArray> native;
    native.reserve(paths.size());
    for (const QString &path : paths)
        native.append(nativePath(path));
    return nativeGroups(native, threads);
}

QList<DuplicateGroupRecord> DuplicateFinder::nativeGroups(const QList<QByteArray> &paths,
                                                          int threads, const CancelToken &cancel,
                                                          const Progress &progress)
{
    // Size pass; several names of one file are one candidate, under the smallest name.
    const std::vector<Listed> listed = statAll(paths, threads, cancel);
    if (cancel.isCancelled())
        return {};
    QList<Candidate> kept;
    QList<qint64> sizes;
    QHash<FileId, int> byId;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const Listed &l = listed[size_t(i)];
        if (l.size < 1)
            continue;
        const QByteArray &native = paths[i];
        const Candidate c{native, decodeNativePath(native.constData(), native.size()), l.identity};
        const auto seen = byId.constFind(l.identity.id());
        if (seen != byId.constEnd()) {
            if (pathLess(c, kept[*seen]))
                kept[*seen] = c;
            continue;
        }
        byId.insert(l.identity.id(), int(kept.size()));
        kept.append(c);
        sizes.append(l.size);
    }
    std::map<qint64, QList<Candidate>> bySize;
    for (int i = 0; i < kept.size(); ++i)
        bySize[sizes[i]].append(kept[i]);

    std::vector<Bucket> buckets;
    qint64 work = 0; // the bytes to compare
    for (auto &[size, files] : bySize) {
        if (files.size() < 2)
            continue;
        buckets.push_back({size, std::move(files)});
        work += buckets.back().work();
    }
    // Told in order, whichever thread finishes a size first.
    std::mutex progressMutex;
    qint64 compared = 0;
    if (progress)
        progress(0, work);

    // Biggest buckets first so that two workers finish together; each result has its slot.
    std::vector<size_t> queue(buckets.size());
    for (size_t i = 0; i < queue.size(); ++i)
        queue[i] = i;
    std::stable_sort(queue.begin(), queue.end(),
                     [&](size_t a, size_t b) { return buckets[a].work() > buckets[b].work(); });
    std::vector<std::deque<Found>> results(buckets.size());
    std::atomic<size_t> next{0};
    auto worker = [&] {
        Scratch scratch;
        scratch.cancel = &cancel;
        for (size_t k; !cancel.isCancelled() && (k = next.fetch_add(1)) < queue.size();) {
            const Bucket &bucket = buckets[queue[k]];
            processBucket(bucket, scratch, results[queue[k]]);
            if (progress) {
                std::lock_guard lock(progressMutex);
                compared += bucket.work();
                progress(compared, work);
            }
        }
        digestPending(scratch);
    };
    if (threads <= 0)
        threads = work >= kTwoThreadWork && buckets.size() >= 2 ? 2 : 1;
    if (threads >= 2 && buckets.size() >= 2) {
        std::thread helper(worker);
        worker();
        helper.join();
    } else {
        worker();
    }

    std::unique_ptr<char[]> buffer(new char[kHalf]);
    QList<DuplicateGroupRecord> records;
    for (const std::deque<Found> &found : results) {
        QHash<QByteArray, int> sharing;
        for (const Found &f : found)
            ++sharing[f.fingerprint];
        for (const Found &f : found) {
            if (f.fingerprint.isEmpty())
                continue;
            QByteArray digest = f.fingerprint;
            // Groups that share size and fingerprint would share a key: name them by their
            // whole contents instead.
            if (sharing.value(f.fingerprint) > 1) {
                digest = digestOfAny(f.files, f.size, [&](ReadOnlyFile &file) {
                    return wholeDigestOf(file, f.size, buffer.get());
                });
                if (digest.isEmpty())
                    continue;
            }
            DuplicateGroupRecord record{QString::number(f.size) + QLatin1Char('-') +
                                            QString::fromLatin1(digest.toHex().left(12)),
                                        f.size,
                                        {},
                                        {},
                                        {}};
            for (const Candidate &c : f.files) {
                record.paths.append(c.path);
                record.nativePaths.append(c.native);
                record.identities.append(c.identity);
            }
            records.append(std::move(record));
        }
    }
    // Plain text order of the keys: "10485760-…" sorts before "2097152-…".
    std::stable_sort(
        records.begin(), records.end(),
        [](const DuplicateGroupRecord &a, const DuplicateGroupRecord &b) { return a.key < b.key; });
    return records;
}
