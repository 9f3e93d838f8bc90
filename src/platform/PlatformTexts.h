#pragma once

#include "platform/Locations.h"

#include <QString>

// Texts that name a macOS product or place ("Finder", "Mac", "/Volumes"). Each is looked
// up by its macOS wording: on macOS it comes back verbatim, elsewhere with only the words
// that name the macOS thing replaced. A text that names nothing platform-bound is not
// in the table and comes back as it is.
namespace PlatformTexts {

// For the OS of the current Locations table (tests switch it with Locations::setCurrent).
QString text(const QString &macText);
QString text(const QString &macText, Locations::Os os);

// True when the table holds the text (tests use it to catch a misspelt key).
bool has(const QString &macText);

} // namespace PlatformTexts
