#pragma once

#include <QColor>
#include <QFont>

#include <functional>

class QLabel;
class QPalette;
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
// Bold red text, as red as the window leaves it readable, in either theme.
void makeWarning(QLabel *label);

// Runs `restyle` now and again whenever the widget's palette changes (a theme switch),
// for looks that a palette role alone cannot give, such as a style sheet built from
// palette colours. `restyle` may set the widget's style sheet.
void followTheme(QWidget *widget, std::function<void()> restyle);
// A colour as a style-sheet value, alpha included.
QString css(const QColor &color);

// A push button filled with `accent` made dark enough for its white label, and when
// disabled its label in the accent on a faint tint of it; both reach 4.5:1 in the theme of
// `palette`.
QString filledButtonSheet(const QColor &accent, const QPalette &palette);

QColor orange();
QColor green();
QColor red();

} // namespace Style
