#pragma once

#include <QColor>
#include <QFrame>

class QLabel;
class QPushButton;
class SymbolView;

// One figure of the dashboard: a tinted symbol, the title, the value and a button that
// leads to the tab where the user can act on it.
class MetricCard : public QFrame {
    Q_OBJECT
public:
    MetricCard(const QString &title, const QString &icon, const QColor &color,
               QWidget *parent = nullptr);

    void setValue(const QString &value);
    QString value() const;
    void setCtaTitle(const QString &title);
    void setTitle(const QString &title);
    QString title() const;
    QPushButton *button() const { return m_button; }

signals:
    void actionTriggered();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void describe();

    QLabel *m_title;
    QLabel *m_value;
    QPushButton *m_button;
};
