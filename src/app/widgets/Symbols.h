#pragma once

#include <QColor>
#include <QIcon>
#include <QString>
#include <QStringList>

// The symbol names the screens use, mapped to the freedesktop icon theme. Every name
// has a QStyle fallback, so no button is ever blank. Monochrome theme icons are drawn
// in the theme's text colour (or `tint`), so they stay visible on a dark palette.
namespace Symbols {

QIcon icon(const QString &symbol, const QColor &tint = QColor());
// The theme names tried for a symbol, in order; empty for an unknown symbol.
QStringList themeNames(const QString &symbol);
// Whether the running icon theme has an icon for the symbol (else the fallback shows).
bool hasThemeIcon(const QString &symbol);
// Every symbol the map knows.
QStringList knownSymbols();

// Picks a usable icon theme when the platform names none.
void ensureIconTheme();

} // namespace Symbols
