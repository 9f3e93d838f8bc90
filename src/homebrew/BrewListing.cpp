#include "homebrew/BrewListing.h"

#include <QCollator>

#include <algorithm>

namespace BrewListing {

QList<PackageSort> allSorts()
{
    return {PackageSort::name, PackageSort::largest, PackageSort::newest, PackageSort::oldest};
}

QString rawValue(PackageSort sort)
{
    switch (sort) {
    case PackageSort::name:
        return QStringLiteral("name");
    case PackageSort::largest:
        return QStringLiteral("largest");
    case PackageSort::newest:
        return QStringLiteral("newest");
    case PackageSort::oldest:
        return QStringLiteral("oldest");
    }
    return QStringLiteral("name");
}

QString title(PackageSort sort)
{
    switch (sort) {
    case PackageSort::name:
        return QStringLiteral("Name");
    case PackageSort::largest:
        return QStringLiteral("Largest first");
    case PackageSort::newest:
        return QStringLiteral("Newest installed");
    case PackageSort::oldest:
        return QStringLiteral("Oldest installed");
    }
    return QString();
}

PackageSort sortFrom(const QString &value)
{
    for (PackageSort sort : allSorts()) {
        if (rawValue(sort) == value)
            return sort;
    }
    return PackageSort::name;
}

QList<FilterType> allFilters()
{
    return {FilterType::all,    FilterType::updates,  FilterType::leaves, FilterType::dependencies,
            FilterType::pinned, FilterType::formulae, FilterType::casks};
}

QString label(FilterType filter)
{
    switch (filter) {
    case FilterType::all:
        return QStringLiteral("All");
    case FilterType::updates:
        return QStringLiteral("Updates Available");
    case FilterType::leaves:
        return QStringLiteral("Installed by You");
    case FilterType::dependencies:
        return QStringLiteral("Dependencies");
    case FilterType::pinned:
        return QStringLiteral("Pinned");
    case FilterType::formulae:
        return QStringLiteral("Formulae");
    case FilterType::casks:
        return QStringLiteral("Casks");
    }
    return QString();
}

QList<BrewSection> allSections()
{
    return {BrewSection::installed, BrewSection::discover, BrewSection::taps,
            BrewSection::services};
}

QString rawValue(BrewSection section)
{
    switch (section) {
    case BrewSection::installed:
        return QStringLiteral("installed");
    case BrewSection::discover:
        return QStringLiteral("discover");
    case BrewSection::taps:
        return QStringLiteral("taps");
    case BrewSection::services:
        return QStringLiteral("services");
    }
    return QStringLiteral("installed");
}

QString title(BrewSection section)
{
    switch (section) {
    case BrewSection::installed:
        return QStringLiteral("Installed");
    case BrewSection::discover:
        return QStringLiteral("Discover");
    case BrewSection::taps:
        return QStringLiteral("Taps");
    case BrewSection::services:
        return QStringLiteral("Services");
    }
    return QString();
}

BrewSection sectionFrom(const QString &value)
{
    for (BrewSection section : allSections()) {
        if (rawValue(section) == value)
            return section;
    }
    return BrewSection::installed;
}

bool matches(const BrewPackage &package, FilterType filter)
{
    switch (filter) {
    case FilterType::all:
        return true;
    case FilterType::updates:
        return package.isOutdated;
    case FilterType::leaves:
        return package.onRequest;
    case FilterType::dependencies:
        return !package.onRequest;
    case FilterType::pinned:
        return package.isPinned;
    case FilterType::formulae:
        return package.type == QLatin1String("Formula");
    case FilterType::casks:
        return package.type == QLatin1String("Cask");
    }
    return true;
}

QList<BrewPackage> listing(const QList<BrewPackage> &packages, FilterType filter,
                           const QString &search, PackageSort sort)
{
    QList<BrewPackage> shown;
    for (const BrewPackage &package : packages) {
        if (!matches(package, filter))
            continue;
        if (!search.isEmpty() && !package.name.contains(search, Qt::CaseInsensitive))
            continue;
        shown.append(package);
    }
    switch (sort) {
    case PackageSort::name: {
        QCollator collator;
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        std::stable_sort(shown.begin(), shown.end(),
                         [&](const BrewPackage &a, const BrewPackage &b) {
                             return collator.compare(a.name, b.name) < 0;
                         });
        break;
    }
    case PackageSort::largest:
        std::stable_sort(
            shown.begin(), shown.end(),
            [](const BrewPackage &a, const BrewPackage &b) { return a.sizeMB > b.sizeMB; });
        break;
    case PackageSort::newest:
    case PackageSort::oldest: {
        const bool newest = sort == PackageSort::newest;
        // Undated packages go last in both directions.
        std::stable_sort(shown.begin(), shown.end(),
                         [newest](const BrewPackage &a, const BrewPackage &b) {
                             if (!a.installedDate || !b.installedDate)
                                 return a.installedDate.has_value() && !b.installedDate;
                             return newest ? *a.installedDate > *b.installedDate
                                           : *a.installedDate < *b.installedDate;
                         });
        break;
    }
    }
    return shown;
}

} // namespace BrewListing
