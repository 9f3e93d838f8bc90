#pragma once

#include <QColor>
#include <QPushButton>

// A filled, rounded button in the headline font that shrinks a little while pressed.
class ScaleButton : public QPushButton {
    Q_OBJECT
public:
    ScaleButton(const QString &text, const QColor &background, const QColor &foreground,
                QWidget *parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_background;
    QColor m_foreground;
};
