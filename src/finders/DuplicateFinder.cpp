#include "finders/DuplicateFinder.h"

#include "finders/Md5Lanes.h"
#include "platform/FileProperties.h"
#include "platform/ReadOnlyFile.h"

#include <QCryptographicHash>
#include <QHash>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

namespace {

constexpr qint64 kHalf = 524288;                // each of the fingerprint's two reads
constexpr qint64 kProbe = 4096;                 // head and tail probe that splits a size bucket
constexpr qint64 kMaxChunk = 128 * 1024;        // comparison read per open file, at most
constexpr qint64 kMinChunk = 16 * 1024;         // and at least
constexpr qint64 kSideBySideBytes = 512 * 1024; // what all files compared at once read
constexpr qint64 kPiece = 64 * 1024;            // one read of a digest of a single file
constexpr int kMaxLockstep = 64;                // files compared side by side at most
constexpr qint64 kTwoThreadWork = 64LL << 20;

// Files of the list, by their index in it.
using Members = std::vector<quint32>;

// Ascending by the text shown, then by the bytes.
bool pathLess(const FileList &files, quint32 a, quint32 b)
{
    const QString ta = files.text(a), tb = files.text(b);
    return ta != tb ? ta < tb : files.path(a) < files.path(b);
}

void sortByPath(const FileList &files, Members &members)
{
    std::vector<std::pair<QString, quint32>> keyed;
    keyed.reserve(members.size());
    for (quint32 m : members)
        keyed.emplace_back(files.text(m), m);
    std::sort(keyed.begin(), keyed.end(), [&](const auto &a, const auto &b) {
        return a.first != b.first ? a.first < b.first : files.path(a.second) < files.path(b.second);
    });
    for (size_t i = 0; i < keyed.size(); ++i)
        members[i] = keyed[i].second;
}

struct Bucket {
    qint64 size = 0;
    Members files;
    qint64 work() const { return size * qint64(files.size()); }
};

// A confirmed set of identical files, ascending by path; its fingerprint is digested
// later, together with others.
struct Found {
    qint64 size = 0;
    Members files;
    QByteArray fingerprint;
};

// The sets whose fingerprints wait to be digested, from every worker: a full batch of
// lanes is digested by the worker that fills it, so only the last batch runs part empty.
struct Waiting {
    std::mutex mutex;
    std::vector<Found *> sets;
    int working = 0; // workers still comparing; the last one digests what is left
};

// What one worker holds: a buffer grown to what a comparison needs (never more than
// about a MiB), and the sets whose fingerprints it digests.
struct Scratch {
    const FileList *files = nullptr;
    const CancelToken *cancel = nullptr;
    Waiting *waiting = nullptr;
    std::unique_ptr<char[]> buffer;
    qint64 capacity = 0;
    std::vector<Found *> pending;

    bool stopped() const { return cancel && cancel->isCancelled(); }
    char *bytes(qint64 n)
    {
        if (n > capacity) {
            buffer.reset(new char[size_t(n)]);
            capacity = n;
        }
        return buffer.get();
    }
};

// The same file as in the listing, still of the bucket's size.
bool openUnchanged(ReadOnlyFile &file, const FileList &files, quint32 m, qint64 size)
{
    return file.openNative(files.path(m)) && file.id() == files.at(m).identity.id() &&
           file.size() == size;
}

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

// Reads `length` bytes of the fingerprint's, from `offset` among them.
bool readKey(ReadOnlyFile &file, qint64 size, qint64 offset, qint64 length, char *into)
{
    const qint64 head = std::min(size, kHalf);
    while (length > 0) {
        const qint64 at = offset < head ? offset : keyTailFrom(size) + (offset - head);
        const qint64 n = offset < head ? std::min(length, head - offset) : length;
        if (file.readAt(at, into, n) != n)
            return false;
        offset += n;
        into += n;
        length -= n;
    }
    return true;
}

QByteArray fingerprintOf(ReadOnlyFile &file, qint64 size, char *buffer)
{
    QCryptographicHash md5(QCryptographicHash::Md5);
    const qint64 length = keyLength(size);
    for (qint64 offset = 0; offset < length; offset += kPiece) {
        const qint64 n = std::min(kPiece, length - offset);
        if (!readKey(file, size, offset, n, buffer))
            return {};
        md5.addData(QByteArrayView(buffer, n));
    }
    return md5.result();
}

QByteArray wholeDigestOf(ReadOnlyFile &file, qint64 size, char *buffer)
{
    QCryptographicHash md5(QCryptographicHash::Md5);
    file.adviseSequential();
    for (qint64 offset = 0; offset < size;) {
        const qint64 n = file.readAt(offset, buffer, std::min(kPiece, size - offset));
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

// Each file's share of the buffer when `count` are read side by side: all of them
// together about a MiB, never more than the file.
qint64 chunkFor(int count, qint64 size)
{
    const qint64 share = std::clamp(kSideBySideBytes / std::max(1, count), kMinChunk, kMaxChunk);
    return std::min(share / 4096 * 4096, (size + 4095) / 4096 * 4096);
}

// Reads the files side by side, chunk by chunk, splitting them wherever their bytes part.
// Returns the sets of two or more files whose whole contents agree.
std::vector<Members> splitSideBySide(const Members &members, qint64 size, Scratch &scratch)
{
    const FileList &list = *scratch.files;
    const qint64 chunk = chunkFor(int(members.size()), size);
    char *const buffer = scratch.bytes(chunk * qint64(members.size()));
    auto slotBytes = [&](int slot) { return buffer + chunk * slot; };
    std::vector<ReadOnlyFile> files(members.size());
    std::vector<int> open;
    for (int slot = 0; slot < int(members.size()); ++slot) {
        if (openUnchanged(files[slot], list, members[slot], size)) {
            files[slot].adviseSequential();
            open.push_back(slot);
        }
    }
    std::vector<std::vector<int>> sets;
    if (open.size() >= 2)
        sets.push_back(open);
    // A few KiB at each end first, as files that differ mostly do so there.
    std::vector<std::pair<qint64, qint64>> ranges;
    const qint64 head = std::min(size, kProbe);
    const qint64 tail = std::max(head, size - kProbe);
    ranges.emplace_back(0, head);
    if (tail < size)
        ranges.emplace_back(tail, size - tail);
    for (qint64 offset = head; offset < tail; offset += chunk)
        ranges.emplace_back(offset, std::min(chunk, tail - offset));
    for (const auto &[offset, length] : ranges) {
        if (sets.empty() || scratch.stopped())
            break;
        std::vector<std::vector<int>> next;
        for (const std::vector<int> &set : sets) {
            std::vector<std::vector<int>> parts;
            for (int slot : set) {
                char *mine = slotBytes(slot);
                if (files[slot].readAt(offset, mine, length) != length) {
                    files[slot].close();
                    continue;
                }
                auto same = std::find_if(parts.begin(), parts.end(), [&](const auto &p) {
                    return std::memcmp(slotBytes(p.front()), mine, size_t(length)) == 0;
                });
                if (same != parts.end())
                    same->push_back(slot);
                else
                    parts.push_back({slot});
            }
            for (std::vector<int> &p : parts) {
                if (p.size() < 2)
                    files[p.front()].close();
                else
                    next.push_back(std::move(p));
            }
        }
        sets = std::move(next);
    }
    std::vector<Members> result;
    if (scratch.stopped())
        return result;
    for (const std::vector<int> &set : sets) {
        Members same;
        for (int slot : set)
            same.push_back(members[slot]);
        result.push_back(std::move(same));
    }
    return result;
}

bool sameContents(ReadOnlyFile &a, ReadOnlyFile &b, qint64 size, Scratch &scratch)
{
    const qint64 chunk = chunkFor(2, size);
    char *bufA = scratch.bytes(2 * chunk);
    char *bufB = bufA + chunk;
    for (qint64 offset = 0; offset < size; offset += chunk) {
        const qint64 length = std::min(chunk, size - offset);
        if (a.readAt(offset, bufA, length) != length || b.readAt(offset, bufB, length) != length ||
            std::memcmp(bufA, bufB, size_t(length)) != 0)
            return false;
    }
    return true;
}

// For very many files that hash alike: each one against the first file of every set so
// far, two files open at a time.
std::vector<Members> splitPairwise(const Members &members, qint64 size, Scratch &scratch)
{
    const FileList &list = *scratch.files;
    std::vector<Members> sets;
    for (quint32 m : members) {
        ReadOnlyFile file;
        if (scratch.stopped() || !openUnchanged(file, list, m, size))
            continue;
        bool placed = false;
        for (Members &set : sets) {
            ReadOnlyFile first;
            if (openUnchanged(first, list, set.front(), size) &&
                sameContents(first, file, size, scratch)) {
                set.push_back(m);
                placed = true;
                break;
            }
        }
        if (!placed)
            sets.push_back({m});
    }
    std::erase_if(sets, [](const Members &set) { return set.size() < 2; });
    return sets;
}

// The members that share their hash with another, in sets, each in listed order.
std::vector<Members> sharingAHash(std::vector<std::pair<size_t, quint32>> hashed)
{
    std::stable_sort(hashed.begin(), hashed.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    std::vector<Members> sets;
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
std::vector<Members> splitByWholeHash(const Members &members, qint64 size, Scratch &scratch)
{
    std::vector<std::pair<size_t, quint32>> hashed;
    const qint64 chunk = chunkFor(1, size);
    char *buffer = scratch.bytes(chunk);
    for (quint32 m : members) {
        ReadOnlyFile file;
        if (scratch.stopped() || !openUnchanged(file, *scratch.files, m, size))
            continue;
        file.adviseSequential();
        size_t h = 0;
        qint64 offset = 0;
        for (; offset < size; offset += chunk) {
            const qint64 length = std::min(chunk, size - offset);
            if (file.readAt(offset, buffer, length) != length)
                break;
            h = qHashBits(buffer, size_t(length), h);
        }
        if (offset >= size)
            hashed.emplace_back(h, m);
    }
    return sharingAHash(std::move(hashed));
}

// The first member that still opens as it was listed.
bool openAny(ReadOnlyFile &file, const FileList &files, const Members &members, qint64 size)
{
    for (quint32 m : members) {
        if (openUnchanged(file, files, m, size))
            return true;
    }
    return false;
}

// A digest of the first member that can still be read in full.
template <typename Digest>
QByteArray digestOfAny(const FileList &files, const Members &members, qint64 size, Digest digest)
{
    for (quint32 m : members) {
        ReadOnlyFile file;
        if (!openUnchanged(file, files, m, size))
            continue;
        QByteArray d = digest(file);
        if (!d.isEmpty())
            return d;
    }
    return {};
}

// Digests the fingerprints waiting, several of one length in one pass over vector lanes.
// The bytes are read again, a few KiB at a time: holding them from the comparison cost a
// MiB a set.
void digestPending(Scratch &scratch)
{
    std::vector<Found *> &pending = scratch.pending;
    std::stable_sort(pending.begin(), pending.end(), [](const Found *a, const Found *b) {
        return keyLength(a->size) < keyLength(b->size);
    });
    for (size_t from = 0; from < pending.size();) {
        const qint64 length = keyLength(pending[from]->size);
        size_t to = from + 1;
        while (to < pending.size() && to - from < size_t(Md5Lanes::kMessages) &&
               keyLength(pending[to]->size) == length)
            ++to;
        const int count = int(to - from);
        // Below three messages the lanes cost more than digesting each alone.
        if (count >= 3) {
            ReadOnlyFile files[Md5Lanes::kMessages];
            bool opened[Md5Lanes::kMessages];
            for (int k = 0; k < count; ++k) {
                const Found &f = *pending[from + size_t(k)];
                opened[k] = openAny(files[k], *scratch.files, f.files, f.size);
            }
            char digests[16 * Md5Lanes::kMessages];
            bool ok[Md5Lanes::kMessages];
            Md5Lanes::digests(
                count, length,
                [&](int lane, qint64 offset, qint64 n, char *into) {
                    return opened[lane] && readKey(files[lane], pending[from + size_t(lane)]->size,
                                                   offset, n, into);
                },
                digests, ok, scratch.bytes(Md5Lanes::kPiece * Md5Lanes::kMessages));
            for (int k = 0; k < count; ++k) {
                if (ok[k])
                    pending[from + size_t(k)]->fingerprint = QByteArray(digests + 16 * k, 16);
            }
        } else {
            char *buffer = scratch.bytes(kPiece);
            for (size_t k = from; k < to; ++k) {
                Found &f = *pending[k];
                f.fingerprint =
                    digestOfAny(*scratch.files, f.files, f.size, [&](ReadOnlyFile &file) {
                        return fingerprintOf(file, f.size, buffer);
                    });
            }
        }
        from = to;
    }
    pending.clear();
}

// The sets of identical files of one size, each queued for its fingerprint as it is
// found.
void processBucket(const Bucket &bucket, Scratch &scratch, std::deque<Found> &found)
{
    const qint64 size = bucket.size;
    const Members &cands = bucket.files;

    // Few files are compared side by side at once, their ends first. Many are first told
    // apart by their ends, so that no more are held open than can be.
    std::vector<Members> groups;
    if (cands.size() <= size_t(kMaxLockstep)) {
        groups.push_back(cands);
    } else {
        std::vector<std::pair<size_t, quint32>> probes;
        char *buffer = scratch.bytes(kProbe);
        for (quint32 m : cands) {
            ReadOnlyFile file;
            if (scratch.stopped() || !openUnchanged(file, *scratch.files, m, size))
                continue;
            if (const auto h = probeOf(file, size, buffer))
                probes.emplace_back(*h, m);
        }
        groups = sharingAHash(std::move(probes));
    }

    for (const Members &members : groups) {
        std::vector<Members> sets;
        if (members.size() <= size_t(kMaxLockstep)) {
            sets = splitSideBySide(members, size, scratch);
        } else {
            for (const Members &part : splitByWholeHash(members, size, scratch)) {
                std::vector<Members> split = part.size() <= size_t(kMaxLockstep)
                                                 ? splitSideBySide(part, size, scratch)
                                                 : splitPairwise(part, size, scratch);
                std::move(split.begin(), split.end(), std::back_inserter(sets));
            }
        }
        for (Members &same : sets) {
            Found &f = found.emplace_back();
            f.size = size;
            f.files = std::move(same);
            sortByPath(*scratch.files, f.files);
            {
                std::lock_guard lock(scratch.waiting->mutex);
                scratch.waiting->sets.push_back(&f);
                if (int(scratch.waiting->sets.size()) == Md5Lanes::kMessages)
                    scratch.pending.swap(scratch.waiting->sets);
            }
            if (!scratch.pending.empty())
                digestPending(scratch);
        }
    }
}

// Buckets of files of one size with two or more distinct files; several names of one
// file count once, under the first in ascending order.
std::vector<Bucket> bucketsOf(const FileList &files)
{
    Members bySize;
    bySize.reserve(size_t(files.size()));
    for (qsizetype i = 0; i < files.size(); ++i) {
        if (files.at(i).identity.size > 0)
            bySize.push_back(quint32(i));
    }
    std::stable_sort(bySize.begin(), bySize.end(), [&](quint32 a, quint32 b) {
        return files.at(a).identity.size < files.at(b).identity.size;
    });
    std::vector<Bucket> buckets;
    for (size_t from = 0; from < bySize.size();) {
        const qint64 size = files.at(bySize[from]).identity.size;
        size_t to = from + 1;
        while (to < bySize.size() && files.at(bySize[to]).identity.size == size)
            ++to;
        if (to - from >= 2) {
            Members members(bySize.begin() + qsizetype(from), bySize.begin() + qsizetype(to));
            std::stable_sort(members.begin(), members.end(), [&](quint32 a, quint32 b) {
                const FileId x = files.at(a).identity.id(), y = files.at(b).identity.id();
                return std::tie(x.device, x.inode) < std::tie(y.device, y.inode);
            });
            Members kept;
            for (size_t i = 0; i < members.size();) {
                size_t j = i + 1;
                quint32 first = members[i];
                while (j < members.size() &&
                       files.at(members[j]).identity.id() == files.at(members[i]).identity.id()) {
                    if (pathLess(files, members[j], first))
                        first = members[j];
                    ++j;
                }
                kept.push_back(first);
                i = j;
            }
            if (kept.size() >= 2) {
                std::sort(kept.begin(), kept.end());
                buckets.push_back({size, std::move(kept)});
            }
        }
        from = to;
    }
    return buckets;
}

} // namespace

QString DuplicateFinder::fingerprint(const QString &path, qint64 size)
{
    ReadOnlyFile file;
    if (!file.open(path) || file.size() != size)
        return {};
    std::unique_ptr<char[]> buffer(new char[kPiece]);
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
    FileList files;
    for (const QByteArray &native : paths) {
        if (cancel.isCancelled())
            return {};
        struct stat st;
        if (native.isEmpty() || native.contains('\0') || ::lstat(native.constData(), &st) != 0 ||
            !S_ISREG(st.st_mode))
            continue;
        files.addPath(native, FileIdentity::fromStat(st));
    }
    return groupsOf(files, threads, cancel, progress);
}

QList<DuplicateGroupRecord> DuplicateFinder::groupsOf(const FileList &files, int threads,
                                                      const CancelToken &cancel,
                                                      const Progress &progress)
{
    if (cancel.isCancelled())
        return {};
    std::vector<Bucket> buckets = bucketsOf(files);
    qint64 work = 0; // the bytes to compare
    for (const Bucket &b : buckets)
        work += b.work();
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
    Waiting waiting;
    auto worker = [&] {
        Scratch scratch;
        scratch.files = &files;
        scratch.cancel = &cancel;
        scratch.waiting = &waiting;
        for (size_t k; !cancel.isCancelled() && (k = next.fetch_add(1)) < queue.size();) {
            const Bucket &bucket = buckets[queue[k]];
            processBucket(bucket, scratch, results[queue[k]]);
            if (progress) {
                std::lock_guard lock(progressMutex);
                compared += bucket.work();
                progress(compared, work);
            }
        }
        {
            std::lock_guard lock(waiting.mutex);
            if (--waiting.working == 0)
                scratch.pending.swap(waiting.sets);
        }
        digestPending(scratch);
    };
    if (threads <= 0)
        threads = work >= kTwoThreadWork && buckets.size() >= 2 ? 2 : 1;
    waiting.working = threads >= 2 && buckets.size() >= 2 ? 2 : 1;
    if (waiting.working == 2) {
        std::thread helper(worker);
        worker();
        helper.join();
    } else {
        worker();
    }

    std::unique_ptr<char[]> buffer(new char[kPiece]);
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
                digest = digestOfAny(files, f.files, f.size, [&](ReadOnlyFile &file) {
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
            for (quint32 m : f.files) {
                record.paths.append(files.text(m));
                record.nativePaths.append(files.path(m));
                record.identities.append(files.at(m).identity);
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
