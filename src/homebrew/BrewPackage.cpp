#include "homebrew/BrewPackage.h"

bool BrewPackage::isNamedBy(const QString &dependency) const
{
    if (dependency == name)
        return true;
    // A formula from another tap is listed with the tap in front.
    return dependency.count(QLatin1Char('/')) == 2 &&
           dependency.section(QLatin1Char('/'), 2) == name;
}
