#include "finders/DuplicateFinder.h"

#include "platform/FileProperties.h"
#include "platform/ReadOnlyFile.h"

#include <QCryptographicHash>
#include <QHash>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace {

constexpr qint64 kHalf = 524288;      // each of the fingerprint's two reads
constexpr qint64 kProbe = 4096;       // head and tail probe that splits a size bucket
constexpr qint64 kChunk = 128 * 1024; // comparison chunk per open file
constexpr int kMaxLockstep = 64;      // files compared side by side at most
constexpr qint64 kTwoThreadWork = 64LL << 20;

struct Candidate {
    QByteArray native;
    QString path; // for ordering and display
    FileId id;
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

// Buffers of one worker, allocated once and reused for every bucket.
struct Scratch {
    const CancelToken *cancel = nullptr;
    bool stopped() const { return cancel && cancel->isCancelled(); }
    std::unique_ptr<char[]> half{new char[kHalf]};
    std::unique_ptr<char[]> chunks{new char[kChunk * kMaxLockstep]};
    char *chunk(int slot) { return chunks.get() + qint64(slot) * kChunk; }
};

// The same file as in the size pass, still of the bucket's size.
bool openUnchanged(ReadOnlyFile &file, const Candidate &c, qint64 size)
{
    return file.openNative(c.native) && file.id() == c.id && file.size() == size;
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

// Identical files found by one comparison, with the fingerprint when it came for free.
struct Same {
    std::vector<int> members;
    QByteArray fingerprint;
};

// Feeds the part of [offset, offset + length) that the fingerprint covers.
void feedFingerprint(QCryptographicHash &md5, qint64 size, qint64 offset, const char *bytes,
                     qint64 length)
{
    const qint64 tail = std::max(size, 2 * kHalf) - kHalf;
    const std::pair<qint64, qint64> ranges[] = {{0, std::min(size, kHalf)},
                                                {size > kHalf ? tail : size, size}};
    for (const auto &[from, to] : ranges) {
        const qint64 a = std::max(from, offset);
        const qint64 b = std::min(to, offset + length);
        if (a < b)
            md5.addData(QByteArrayView(bytes + (a - offset), b - a));
    }
}

// Reads the files side by side, chunk by chunk, splitting them wherever their bytes part,
// and digests the fingerprint on the way so no file is read again for it. Returns the sets
// of two or more files whose whole contents agree.
std::vector<Same> splitSideBySide(const QList<Candidate> &cands, const std::vector<int> &members,
                                  qint64 size, Scratch &scratch)
{
    struct Set {
        std::vector<int> held;
        // Digest of the bytes read so far; dropped when a set splits off, as the bytes
        // already read are not kept.
        std::unique_ptr<QCryptographicHash> md5;
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
        sets.push_back({open, std::make_unique<QCryptographicHash>(QCryptographicHash::Md5)});
    for (qint64 offset = 0; offset < size && !sets.empty() && !scratch.stopped();
         offset += kChunk) {
        const qint64 length = std::min(kChunk, size - offset);
        std::vector<Set> next;
        for (Set &set : sets) {
            std::vector<Set> parts;
            for (int slot : set.held) {
                char *mine = scratch.chunk(slot);
                if (files[slot].readAt(offset, mine, length) != length) {
                    files[slot].close();
                    continue;
                }
                auto same = std::find_if(parts.begin(), parts.end(), [&](const Set &p) {
                    return std::memcmp(scratch.chunk(p.held.front()), mine, size_t(length)) == 0;
                });
                if (same != parts.end())
                    same->held.push_back(slot);
                else
                    parts.push_back({{slot}, nullptr});
            }
            if (!parts.empty())
                parts.front().md5 = std::move(set.md5);
            for (Set &p : parts) {
                if (p.held.size() < 2) {
                    files[p.held.front()].close();
                    continue;
                }
                if (p.md5)
                    feedFingerprint(*p.md5, size, offset, scratch.chunk(p.held.front()), length);
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
        if (set.md5)
            same.fingerprint = set.md5->result();
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
            result.push_back({std::move(set), QByteArray()});
    }
    return result;
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
    std::stable_sort(hashed.begin(), hashed.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    std::vector<std::vector<int>> parts;
    for (size_t from = 0; from < hashed.size();) {
        size_t to = from + 1;
        while (to < hashed.size() && hashed[to].first == hashed[from].first)
            ++to;
        if (to - from >= 2) {
            parts.emplace_back();
            for (size_t k = from; k < to; ++k)
                parts.back().push_back(hashed[k].second);
        }
        from = to;
    }
    return parts;
}

struct Found {
    QStringList paths;
    QList<QByteArray> nativePaths;
    QList<Candidate> files; // ascending by path
    QByteArray fingerprint;
};

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

QList<DuplicateGroupRecord> processBucket(const Bucket &bucket, Scratch &scratch)
{
    const qint64 size = bucket.size;
    const QList<Candidate> &cands = bucket.files;

    std::vector<std::pair<size_t, int>> probes;
    for (int i = 0; i < cands.size(); ++i) {
        ReadOnlyFile file;
        if (!openUnchanged(file, cands[i], size))
            continue;
        if (const auto h = probeOf(file, size, scratch.half.get()))
            probes.emplace_back(*h, i);
    }
    std::stable_sort(probes.begin(), probes.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });

    std::vector<Found> found;
    for (size_t from = 0; from < probes.size();) {
        size_t to = from + 1;
        while (to < probes.size() && probes[to].first == probes[from].first)
            ++to;
        if (to - from >= 2) {
            std::vector<int> members;
            for (size_t k = from; k < to; ++k)
                members.push_back(probes[k].second);
            std::vector<Same> sets;
            if (members.size() <= size_t(kMaxLockstep)) {
                sets = splitSideBySide(cands, members, size, scratch);
            } else {
                // Too many to hold open at once.
                for (const std::vector<int> &part :
                     splitByWholeHash(cands, members, size, scratch)) {
                    std::vector<Same> found = part.size() <= size_t(kMaxLockstep)
                                                  ? splitSideBySide(cands, part, size, scratch)
                                                  : splitPairwise(cands, part, size, scratch);
                    std::move(found.begin(), found.end(), std::back_inserter(sets));
                }
            }
            for (const Same &same : sets) {
                Found f;
                for (int i : same.members)
                    f.files.append(cands[i]);
                std::sort(f.files.begin(), f.files.end(), pathLess);
                for (const Candidate &c : f.files) {
                    f.paths.append(c.path);
                    f.nativePaths.append(c.native);
                }
                f.fingerprint = same.fingerprint;
                if (f.fingerprint.isEmpty())
                    f.fingerprint = digestOfAny(f.files, size, [&](ReadOnlyFile &file) {
                        return fingerprintOf(file, size, scratch.half.get());
                    });
                if (!f.fingerprint.isEmpty())
                    found.push_back(std::move(f));
            }
        }
        from = to;
    }

    QHash<QByteArray, int> sharing;
    for (const Found &f : found)
        ++sharing[f.fingerprint];
    QList<DuplicateGroupRecord> records;
    for (const Found &f : found) {
        QByteArray digest = f.fingerprint;
        // Groups that share size and fingerprint would share a key: name them by their
        // whole contents instead.
        if (sharing.value(f.fingerprint) > 1) {
            digest = digestOfAny(f.files, size, [&](ReadOnlyFile &file) {
                return wholeDigestOf(file, size, scratch.half.get());
            });
            if (digest.isEmpty())
                continue;
        }
        records.append({QString::number(size) + QLatin1Char('-') +
                            QString::fromLatin1(digest.toHex().left(12)),
                        size, f.paths, f.nativePaths});
    }
    return records;
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
                                                          int threads, const CancelToken &cancel)
{
    // Size pass; several names of one file are one candidate, under the smallest name.
    QList<Candidate> kept;
    QList<qint64> sizes;
    QHash<FileId, int> byId;
    for (const QByteArray &native : paths) {
        struct stat st;
        if (native.isEmpty() || native.contains('\0') || ::lstat(native.constData(), &st) != 0)
            continue;
        const FileProperties p = FileProperties::fromStat(st);
        if (!p.isRegularFile || p.fileSize < 1)
            continue;
        const Candidate c{native, decodeNativePath(native.constData(), native.size()), p.id};
        const auto seen = byId.constFind(p.id);
        if (seen != byId.constEnd()) {
            if (pathLess(c, kept[*seen]))
                kept[*seen] = c;
            continue;
        }
        byId.insert(p.id, int(kept.size()));
        kept.append(c);
        sizes.append(p.fileSize);
    }
    std::map<qint64, QList<Candidate>> bySize;
    for (int i = 0; i < kept.size(); ++i)
        bySize[sizes[i]].append(kept[i]);

    std::vector<Bucket> buckets;
    qint64 work = 0;
    for (auto &[size, files] : bySize) {
        if (files.size() < 2)
            continue;
        buckets.push_back({size, std::move(files)});
        work += buckets.back().work();
    }

    // Biggest buckets first so that two workers finish together; each result has its slot.
    std::vector<size_t> queue(buckets.size());
    for (size_t i = 0; i < queue.size(); ++i)
        queue[i] = i;
    std::stable_sort(queue.begin(), queue.end(),
                     [&](size_t a, size_t b) { return buckets[a].work() > buckets[b].work(); });
    std::vector<QList<DuplicateGroupRecord>> results(buckets.size());
    std::atomic<size_t> next{0};
    auto worker = [&] {
        Scratch scratch;
        scratch.cancel = &cancel;
        for (size_t k; !cancel.isCancelled() && (k = next.fetch_add(1)) < queue.size();)
            results[queue[k]] = processBucket(buckets[queue[k]], scratch);
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

    QList<DuplicateGroupRecord> records;
    for (QList<DuplicateGroupRecord> &r : results)
        records.append(std::move(r));
    // Plain text order of the keys: "10485760-…" sorts before "2097152-…".
    std::stable_sort(
        records.begin(), records.end(),
        [](const DuplicateGroupRecord &a, const DuplicateGroupRecord &b) { return a.key < b.key; });
    return records;
}
