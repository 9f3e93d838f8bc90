#pragma once

#include <QColor>
#include <QFont>

class QLabel;
class QWidget;

// Text styles and colours shared by every screen, sized in logical pixels so the
// layout reads the same on any screen density.
namespace Style {

enum class Text { Body, Caption, Caption2, Subheadline, Headline, Title, Title2, Title3 };

QFont font(Text text);
// Applies the font and, when `secondary`, the theme's secondary text colour.
void apply(QLabel *label, Text text, bool secondary = false);
// Secondary text that follows theme switches.
void makeSecondary(QWidget *widget);

QColor orange();
QColor green();
QColor red();

} // namespace Style
