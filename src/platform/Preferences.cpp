#include "platform/Preferences.h"

#include <QMutex>
#include <QSettings>
#include <QThreadPool>

#include <memory>
#include <optional>

namespace {

// The store is read once into memory; reads are answered from there, and writes reach
// the file from a pool thread. The window's thread wrote the file on every tab switch:
// a lock file, a rename and an unlink, which waited on the disk behind the scans.
QMutex gMutex;
QString gStoreFile;
QVariantMap gDefaults;
std::optional<QVariantMap> gValues; // what the store holds, writes included
QVariantMap gPending;               // written, not yet in the file; invalid: removed
bool gFlushQueued = false;
QMutex gWriteMutex; // one writer of the file at a time, in the order written

std::unique_ptr<QSettings> openStore(const QString &storeFile)
{
    if (!storeFile.isEmpty())
        return std::make_unique<QSettings>(storeFile, QSettings::IniFormat);
    return std::make_unique<QSettings>(QStringLiteral("ornk"), QStringLiteral("Quillmar"));
}

// Under gMutex.
QVariantMap &values()
{
    if (!gValues) {
        const auto store = openStore(gStoreFile);
        QVariantMap loaded;
        for (const QString &key : store->allKeys())
            loaded.insert(key, store->value(key));
        gValues = std::move(loaded);
    }
    return *gValues;
}

void writePending()
{
    QMutexLocker writing(&gWriteMutex);
    QVariantMap batch;
    QString storeFile;
    {
        QMutexLocker lock(&gMutex);
        batch.swap(gPending);
        storeFile = gStoreFile;
        gFlushQueued = false;
    }
    if (batch.isEmpty())
        return;
    const auto store = openStore(storeFile);
    for (auto it = batch.cbegin(); it != batch.cend(); ++it) {
        if (it.value().isValid())
            store->setValue(it.key(), it.value());
        else
            store->remove(it.key());
    }
    store->sync();
}

// Under gMutex.
void queueWrite(const QString &key, const QVariant &value)
{
    gPending.insert(key, value);
    if (gFlushQueued)
        return;
    gFlushQueued = true;
    // A thread of its own: Qt's shared pool also fills large areas of the window while
    // the main thread waits, and a write blocked on a busy disk would hold a paint up.
    static QThreadPool *const writer = [] {
        auto *pool = new QThreadPool;
        pool->setMaxThreadCount(1);
        return pool;
    }();
    writer->start(writePending);
}

std::optional<bool> asBool(const QVariant &v)
{
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString();
        if (s == QLatin1String("true"))
            return true;
        if (s == QLatin1String("false"))
            return false;
    }
    return std::nullopt;
}

} // namespace

void Preferences::registerDefaults()
{
    registerDefault(PrefKey::autoScanOnLaunch, true);
    registerDefault(PrefKey::initialToolTipDelay, 100);
}

void Preferences::registerDefault(const QString &key, const QVariant &value)
{
    QMutexLocker lock(&gMutex);
    gDefaults.insert(key, value);
}

bool Preferences::contains(const QString &key)
{
    QMutexLocker lock(&gMutex);
    return values().contains(key);
}

QVariant Preferences::value(const QString &key)
{
    QMutexLocker lock(&gMutex);
    const QVariantMap &stored = values();
    const auto it = stored.constFind(key);
    return it != stored.cend() ? it.value() : gDefaults.value(key);
}

bool Preferences::boolValue(const QString &key, bool fallback)
{
    return asBool(value(key)).value_or(fallback);
}

int Preferences::intValue(const QString &key, int fallback)
{
    const QVariant v = value(key);
    bool ok = false;
    int n = 0;
    if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong ||
        v.typeId() == QMetaType::QString)
        n = v.toInt(&ok);
    return ok ? n : fallback;
}

double Preferences::doubleValue(const QString &key, double fallback)
{
    const QVariant v = value(key);
    bool ok = false;
    double d = 0;
    if (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Int ||
        v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::QString)
        d = v.toDouble(&ok);
    return ok ? d : fallback;
}

QString Preferences::stringValue(const QString &key, const QString &fallback)
{
    const QVariant v = value(key);
    return v.typeId() == QMetaType::QString ? v.toString() : fallback;
}

void Preferences::setValue(const QString &key, const QVariant &value)
{
    if (!value.isValid()) {
        remove(key);
        return;
    }
    {
        QMutexLocker lock(&gMutex);
        values().insert(key, value);
        queueWrite(key, value);
    }
    emit notifier()->valueChanged(key);
}

void Preferences::remove(const QString &key)
{
    {
        QMutexLocker lock(&gMutex);
        values().remove(key);
        queueWrite(key, QVariant());
    }
    emit notifier()->valueChanged(key);
}

void Preferences::flush()
{
    writePending();
}

void Preferences::useStoreFile(const QString &iniPath)
{
    flush();
    QMutexLocker lock(&gMutex);
    gStoreFile = iniPath;
    gDefaults.clear();
    gValues.reset();
}

Preferences *Preferences::notifier()
{
    static Preferences *instance = new Preferences;
    return instance;
}
