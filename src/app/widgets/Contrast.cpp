#include "app/widgets/Contrast.h"

#include <cmath>

namespace {

double luminance(const QColor &c)
{
    auto channel = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

QColor mixed(const QColor &from, const QColor &to, double t)
{
    return QColor::fromRgbF(float(from.redF() + (to.redF() - from.redF()) * t),
                            float(from.greenF() + (to.greenF() - from.greenF()) * t),
                            float(from.blueF() + (to.blueF() - from.blueF()) * t));
}

} // namespace

namespace Contrast {

QColor over(const QColor &top, const QColor &bottom)
{
    const double a = top.alphaF();
    return QColor::fromRgbF(float(top.redF() * a + bottom.redF() * (1 - a)),
                            float(top.greenF() * a + bottom.greenF() * (1 - a)),
                            float(top.blueF() * a + bottom.blueF() * (1 - a)));
}

double ratio(const QColor &foreground, const QColor &background)
{
    const double a = luminance(over(foreground, background));
    const double b = luminance(background);
    return (qMax(a, b) + 0.05) / (qMin(a, b) + 0.05);
}

QColor reaching(const QColor &color, const QList<QColor> &backgrounds, double minimum)
{
    auto enough = [&](const QColor &c) {
        for (const QColor &background : backgrounds) {
            if (ratio(c, background) < minimum)
                return false;
        }
        return true;
    };
    if (enough(color))
        return color;
    double darkest = 1;
    for (const QColor &background : backgrounds)
        darkest = qMin(darkest, luminance(background));
    // Toward black on light backgrounds, toward white on dark ones.
    const QColor target = darkest > 0.18 ? QColor(Qt::black) : QColor(Qt::white);
    const QColor opaque = over(color, backgrounds.value(0, Qt::white));
    for (int step = 1; step <= 20; ++step) {
        const QColor tried = mixed(opaque, target, step / 20.0);
        if (enough(tried))
            return tried;
    }
    return target;
}

} // namespace Contrast
