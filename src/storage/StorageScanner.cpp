#include "storage/StorageScanner.h"

#include "platform/DirectoryReader.h"
#include "platform/Locations.h"

#include <algorithm>
#include <cerrno>
#include <vector>

// ---- StorageEntry ------------------------------------------------------------------

StorageEntry StorageEntry::fromPath(const QString &path, qint64 bytes, bool isDirectory,
                                    bool isPartial)
{
    return StorageEntry{StorageScanner::standardized(::nativePath(path)), bytes, isDirectory,
                        isPartial};
}

QString StorageEntry::path() const
{
    return decodeNativePath(nativePath.constData(), nativePath.size());
}

QUrl StorageEntry::url() const
{
    return QUrl::fromLocalFile(path());
}

QString StorageEntry::name() const
{
    if (nativePath == "/")
        return Locations::current().rootDisplayName;
    const qsizetype slash = nativePath.lastIndexOf('/');
    const char *start = nativePath.constData() + slash + 1;
    return decodeNativePath(start, nativePath.size() - slash - 1);
}

size_t qHash(const StorageEntry &entry, size_t seed)
{
    return qHashMulti(seed, entry.nativePath, entry.bytes, entry.isDirectory, entry.isPartial);
}

// ---- formatting --------------------------------------------------------------------

namespace {

// `value` in units of 10^-decimals, printed without trailing zeros.
QString decimalText(quint64 scaled, int decimals, const char *unit)
{
    quint64 divisor = 1;
    for (int i = 0; i < decimals; ++i)
        divisor *= 10;
    QString text = QString::number(scaled / divisor);
    quint64 fraction = scaled % divisor;
    int digits = decimals;
    while (digits > 0 && fraction % 10 == 0) {
        fraction /= 10;
        --digits;
    }
    if (digits > 0)
        text +=
            QLatin1Char('.') + QString::number(fraction).rightJustified(digits, QLatin1Char('0'));
    return text + QLatin1Char(' ') + QLatin1String(unit);
}

} // namespace

QString formatBytes(qint64 bytes)
{
    if (bytes == 0)
        return QStringLiteral("Zero KB");
    const QString sign = bytes < 0 ? QStringLiteral("-") : QString();
    // The magnitude of the most negative value still fits unsigned.
    const quint64 b = bytes < 0 ? quint64(0) - quint64(bytes) : quint64(bytes);
    if (b == 1)
        return sign + QStringLiteral("1 byte");
    if (b < 1000)
        return sign + QString::number(b) + QStringLiteral(" bytes");

    // Each unit rounds half up; a value that rounds to 1000 of a unit is shown in
    // the next one ("1 MB", never "1000 KB").
    struct Unit {
        const char *name;
        quint64 size;
        int decimals;
    };
    static constexpr Unit units[] = {
        {"KB", 1'000ULL, 0},
        {"MB", 1'000'000ULL, 1},
        {"GB", 1'000'000'000ULL, 2},
        {"TB", 1'000'000'000'000ULL, 2},
        {"PB", 1'000'000'000'000'000ULL, 2},
        {"EB", 1'000'000'000'000'000'000ULL, 2},
    };
    for (size_t i = 0; i < std::size(units); ++i) {
        const Unit &u = units[i];
        quint64 step = u.size;
        for (int d = 0; d < u.decimals; ++d)
            step /= 10;
        // Round half up without overflowing near the top of the range.
        const quint64 scaled = b / step + ((b % step) * 2 >= step ? 1 : 0);
        quint64 limit = 1000;
        for (int d = 0; d < u.decimals; ++d)
            limit *= 10;
        if (scaled < limit || i + 1 == std::size(units))
            return sign + decimalText(scaled, u.decimals, u.name);
    }
    return {};
}

QString sizeText(const StorageEntry &entry)
{
    return formatBytes(entry.bytes) + (entry.isPartial ? QStringLiteral("+") : QString());
}

// ---- StorageScanner ----------------------------------------------------------------

// The state of one measurement: the path of the folder being read (grown and shrunk
// in place), the caller's token and the skipped mount points.
struct StorageScanner::Walk {
    std::string path;
    std::atomic_bool *cancel = nullptr;
    std::vector<std::string> skipped;
    std::vector<std::string> skippedParents; // folders that hold a skipped mount point
    bool interrupted = false;

    bool isCancelled()
    {
        if (cancel && cancel->load(std::memory_order_relaxed))
            interrupted = true;
        return interrupted;
    }

    explicit Walk(const CancelToken &token) : cancel(token.get())
    {
        path.reserve(4096);
        for (const QString &mount : Locations::current().skippedMounts) {
            const QByteArray s = StorageScanner::standardized(nativePath(mount));
            if (s.isEmpty() || s == "/")
                continue;
            skipped.emplace_back(s.constData(), size_t(s.size()));
            const qsizetype slash = s.lastIndexOf('/');
            skippedParents.emplace_back(slash <= 0 ? std::string("/")
                                                   : std::string(s.constData(), size_t(slash)));
        }
    }

    bool holdsSkipped(std::string_view folder) const
    {
        return std::find(skippedParents.begin(), skippedParents.end(), folder) !=
               skippedParents.end();
    }
    bool isSkipped(std::string_view item) const
    {
        return std::find(skipped.begin(), skipped.end(), item) != skipped.end();
    }
};

StorageScanner::StorageScanner() = default;
StorageScanner::~StorageScanner() = default;

QByteArray StorageScanner::standardized(const QByteArray &path)
{
    if (path.isEmpty())
        return path;
    const bool absolute = path.startsWith('/');
    QList<QByteArray> parts;
    for (const QByteArray &part : path.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.isEmpty() && parts.last() != "..")
                parts.removeLast();
            else if (!absolute)
                parts.append(part);
            continue;
        }
        parts.append(part);
    }
    QByteArray out;
    out.reserve(path.size());
    for (const QByteArray &part : parts) {
        if (absolute || !out.isEmpty())
            out += '/';
        out += part;
    }
    if (out.isEmpty())
        out = absolute ? QByteArray("/") : QByteArray(".");
    return out;
}

bool StorageScanner::isSkipped(const QString &path)
{
    QString p = path;
    while (p.size() > 1 && p.endsWith(QLatin1Char('/')))
        p.chop(1);
    return Locations::current().skippedMounts.contains(p);
}

QList<QByteArray> StorageScanner::listing(const QByteArray &folder)
{
    QMutexLocker lock(&m_mutex);
    return listingLocked(folder);
}

QList<QByteArray> StorageScanner::listingLocked(const QByteArray &folder)
{
    QList<QByteArray> result;
    const QByteArray base = standardized(folder);
    DirectoryReader dir;
    m_folderReads.fetch_add(1, std::memory_order_relaxed);
    if (m_readHook)
        m_readHook(base);
    if (!dir.open(base.constData()))
        return result;
    const QByteArray prefix = base == "/" ? base : base + '/';
    DirectoryReader::Kind hint;
    while (const char *name = dir.next(hint))
        result.append(prefix + name);
    return result;
}

std::optional<StorageEntry> StorageScanner::entry(const QByteArray &item, const CancelToken &cancel)
{
    QMutexLocker lock(&m_mutex);
    Walk walk(cancel);
    return entryLocked(item, walk);
}

std::optional<StorageEntry> StorageScanner::entryLocked(const QByteArray &item, Walk &walk)
{
    if (walk.isCancelled())
        return std::nullopt;
    const QByteArray path = standardized(item);
    DirectoryReader::Node node;
    if (path.isEmpty() || !DirectoryReader::statPath(path.constData(), node))
        return std::nullopt;
    if (node.kind == DirectoryReader::Kind::SymLink ||
        walk.isSkipped(std::string_view(path.constData(), size_t(path.size()))))
        return StorageEntry{path, 0, false, false};
    if (node.kind == DirectoryReader::Kind::Directory) {
        walk.path.assign(path.constData(), size_t(path.size()));
        const Measure m = sizeOfFolder(walk, nullptr, nullptr);
        // An interrupted measurement is a lower bound nobody asked for.
        if (walk.interrupted)
            return std::nullopt;
        return StorageEntry{path, m.bytes, true, m.isPartial};
    }
    return StorageEntry{path, node.allocatedBytes, false, false};
}

QList<StorageEntry> StorageScanner::children(const QByteArray &folder, const CancelToken &cancel)
{
    QMutexLocker lock(&m_mutex);
    const QList<QByteArray> items = listingLocked(folder);
    Walk walk(cancel);
    QList<StorageEntry> result;
    result.reserve(items.size());
    for (const QByteArray &item : items) {
        if (std::optional<StorageEntry> e = entryLocked(item, walk))
            result.append(std::move(*e));
    }
    std::stable_sort(
        result.begin(), result.end(),
        [](const StorageEntry &a, const StorageEntry &b) { return a.bytes > b.bytes; });
    return result;
}

StorageScanner::Measure StorageScanner::sizeOfFolder(Walk &walk, const DirectoryReader *parent,
                                                     const char *nameInParent)
{
    std::string &path = walk.path;
    if (!m_sizes.empty()) {
        const auto hit = m_sizes.find(std::string_view(path));
        if (hit != m_sizes.end())
            return hit->second;
    }

    m_folderReads.fetch_add(1, std::memory_order_relaxed);
    if (m_readHook)
        m_readHook(QByteArray(path.data(), qsizetype(path.size())));
    DirectoryReader dir;
    const bool opened = parent ? dir.openChild(*parent, nameInParent) : dir.open(path.c_str());
    if (!opened) {
        // Became a link or vanished between the listing and now: nothing to count.
        if (dir.error() == ELOOP || dir.error() == ENOTDIR)
            return {};
        return {0, true};
    }

    const bool checkSkips = walk.holdsSkipped(path);
    const size_t baseLength = path.size();
    const bool atRoot = baseLength == 1 && path[0] == '/';
    qint64 total = 0;
    bool partial = false;
    DirectoryReader::Kind hint;
    while (const char *name = dir.next(hint)) {
        if (walk.isCancelled())
            return {total, partial};
        if (checkSkips) {
            std::string child = atRoot ? path + name : path + '/' + name;
            if (walk.isSkipped(child))
                continue;
        }
        if (hint == DirectoryReader::Kind::SymLink)
            continue;
        bool isDirectory = hint == DirectoryReader::Kind::Directory;
        if (!isDirectory) {
            DirectoryReader::Node node;
            if (!dir.statChild(name, node))
                continue;
            if (node.kind == DirectoryReader::Kind::SymLink)
                continue;
            if (node.kind != DirectoryReader::Kind::Directory) {
                total += uniqueBytes(node.allocatedBytes, node.linkCount, node.id);
                continue;
            }
            isDirectory = true;
        }
        if (!atRoot)
            path += '/';
        path += name;
        const Measure m = sizeOfFolder(walk, &dir, name);
        path.resize(baseLength);
        total += m.bytes;
        partial = partial || m.isPartial;
    }
    // A child that saw the cancellation came back short: the total must not be cached.
    if (walk.interrupted)
        return {total, partial};
    if (total >= cacheThreshold)
        m_sizes.emplace(path, Measure{total, partial});
    return {total, partial};
}

qint64 StorageScanner::uniqueBytes(qint64 allocatedBytes, quint64 linkCount, const FileId &id)
{
    if (linkCount >= 2) {
        const qsizetype before = m_counted.size();
        m_counted.insert(id);
        if (m_counted.size() == before)
            return 0;
    }
    return allocatedBytes;
}

void StorageScanner::forget(const QByteArray &item, qint64 bytes)
{
    QMutexLocker lock(&m_mutex);
    const QByteArray path = standardized(item);
    if (path.isEmpty())
        return;
    const std::string key(path.constData(), size_t(path.size()));
    const std::string below = key == "/" ? key : key + '/';
    for (auto it = m_sizes.begin(); it != m_sizes.end();) {
        if (it->first == key || it->first.compare(0, below.size(), below) == 0)
            it = m_sizes.erase(it);
        else
            ++it;
    }
    std::string ancestor = key;
    while (ancestor != "/") {
        const size_t slash = ancestor.rfind('/');
        if (slash == std::string::npos)
            break;
        ancestor.resize(slash == 0 ? 1 : slash);
        const auto hit = m_sizes.find(std::string_view(ancestor));
        if (hit != m_sizes.end())
            hit->second.bytes = std::max<qint64>(0, hit->second.bytes - bytes);
    }
}

void StorageScanner::reset()
{
    QMutexLocker lock(&m_mutex);
    m_sizes.clear();
    m_counted.clear();
}

quint64 StorageScanner::folderReads() const
{
    return m_folderReads.load();
}

std::optional<StorageScanner::Measure> StorageScanner::cachedMeasure(const QByteArray &folder) const
{
    QMutexLocker lock(&m_mutex);
    const QByteArray path = standardized(folder);
    const auto hit = m_sizes.find(std::string_view(path.constData(), size_t(path.size())));
    if (hit == m_sizes.end())
        return std::nullopt;
    return hit->second;
}

int StorageScanner::cachedFolderCount() const
{
    QMutexLocker lock(&m_mutex);
    return int(m_sizes.size());
}

void StorageScanner::setReadHook(std::function<void(const QByteArray &)> hook)
{
    QMutexLocker lock(&m_mutex);
    m_readHook = std::move(hook);
}
