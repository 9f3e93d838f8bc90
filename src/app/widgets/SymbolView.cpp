#include "app/widgets/SymbolView.h"

#include "app/widgets/Symbols.h"

#include <QPainter>

SymbolView::SymbolView(const QString &symbol, int side, const QColor &tint, QWidget *parent)
    : QWidget(parent)
{
    setFixedSize(side, side);
    setSymbol(symbol, tint);
}

void SymbolView::setSymbol(const QString &symbol, const QColor &tint)
{
    m_symbol = symbol;
    setIcon(symbol.isEmpty() ? QIcon() : Symbols::icon(symbol, tint));
}

void SymbolView::setIcon(const QIcon &icon)
{
    m_icon = icon;
    update();
}

void SymbolView::setSelected(bool selected)
{
    if (selected == m_selected)
        return;
    m_selected = selected;
    update();
}

void SymbolView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    m_icon.paint(&p, rect(), Qt::AlignCenter, m_selected ? QIcon::Selected : QIcon::Normal);
}
