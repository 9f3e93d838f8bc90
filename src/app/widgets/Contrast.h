#pragma once

#include <QColor>
#include <QList>

// Contrast as accessibility guidelines measure it: text needs 4.5:1 against what is
// behind it, other things a person must see (a tick box's edge, a focus ring) 3:1.
namespace Contrast {

constexpr double text = 4.5;
constexpr double graphic = 3.0;

// `top`, with its alpha, laid over an opaque `bottom`.
QColor over(const QColor &top, const QColor &bottom);
// The ratio of a colour drawn over an opaque background, from 1 to 21.
double ratio(const QColor &foreground, const QColor &background);
// `color` darkened or lightened, whichever the backgrounds leave more room for, just far
// enough to reach `minimum` against each of them; as it is when it already does.
QColor reaching(const QColor &color, const QList<QColor> &backgrounds, double minimum);

} // namespace Contrast
