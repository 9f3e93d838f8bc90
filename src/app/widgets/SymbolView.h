#pragma once

#include <QColor>
#include <QIcon>
#include <QWidget>

// A symbol drawn at paint time, so it follows theme switches (a pixmap in a QLabel
// would keep the colours it was made with).
class SymbolView : public QWidget {
    Q_OBJECT
public:
    SymbolView(const QString &symbol, int side, const QColor &tint = QColor(),
               QWidget *parent = nullptr);

    void setSymbol(const QString &symbol, const QColor &tint = QColor());
    void setIcon(const QIcon &icon);
    // Drawn in the selection's text colour.
    void setSelected(bool selected);
    QString symbol() const { return m_symbol; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_symbol;
    QIcon m_icon;
    bool m_selected = false;
};
