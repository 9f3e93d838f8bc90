#pragma once

#include "homebrew/BrewPackage.h"

#include <QList>
#include <QString>

// How the Homebrew screen reads the package list: filter, search and sort order, and the
// screen's sections. Kept apart from the screen so the rules can be checked alone.
namespace BrewListing {

enum class PackageSort { name, largest, newest, oldest };
enum class FilterType { all, updates, leaves, dependencies, pinned, formulae, casks };
enum class BrewSection { installed, discover, taps, services };

inline constexpr const char sortKey[] = "homebrewSort";
inline constexpr const char sectionKey[] = "homebrewSection";

QList<PackageSort> allSorts();
QString rawValue(PackageSort sort);
QString title(PackageSort sort);
// Unknown text gives `name`.
PackageSort sortFrom(const QString &rawValue);

QList<FilterType> allFilters();
QString label(FilterType filter); // also the raw value

QList<BrewSection> allSections();
QString rawValue(BrewSection section);
QString title(BrewSection section);
// Unknown text gives `installed`.
BrewSection sectionFrom(const QString &rawValue);

bool matches(const BrewPackage &package, FilterType filter);
// Filtered, searched (name contains the text, case-insensitive) and stably sorted.
QList<BrewPackage> listing(const QList<BrewPackage> &packages, FilterType filter,
                           const QString &search, PackageSort sort);

} // namespace BrewListing
