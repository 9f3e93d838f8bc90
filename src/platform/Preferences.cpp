#include "platform/Preferences.h"

#include <QMutex>
#include <QSettings>

#include <memory>
#include <optional>

namespace {

QMutex gMutex;
QString gStoreFile;
QVariantMap gDefaults;

std::unique_ptr<QSettings> openStore()
{
    QMutexLocker lock(&gMutex);
    if (!gStoreFile.isEmpty())
        return std::make_unique<QSettings>(gStoreFile, QSettings::IniFormat);
    return std::make_unique<QSettings>(QStringLiteral("ornk"), QStringLiteral("Quillmar"));
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
    return openStore()->contains(key);
}

QVariant Preferences::value(const QString &key)
{
    auto store = openStore();
    if (store->contains(key))
        return store->value(key);
    QMutexLocker lock(&gMutex);
    return gDefaults.value(key);
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
    {
        auto store = openStore();
        store->setValue(key, value);
        store->sync();
    }
    emit notifier()->valueChanged(key);
}

void Preferences::remove(const QString &key)
{
    {
        auto store = openStore();
        store->remove(key);
        store->sync();
    }
    emit notifier()->valueChanged(key);
}

void Preferences::useStoreFile(const QString &iniPath)
{
    QMutexLocker lock(&gMutex);
    gStoreFile = iniPath;
    gDefaults.clear();
}

Preferences *Preferences::notifier()
{
    static Preferences *instance = new Preferences;
    return instance;
}
