#pragma once

#include <QFrame>

class QLabel;
class QPushButton;

// A suggestion with a button that opens the tab where it can be acted on.
class RecommendationCard : public QFrame {
    Q_OBJECT
public:
    RecommendationCard(const QString &title, const QString &description, const QString &buttonTitle,
                       QWidget *parent = nullptr);

    void setTexts(const QString &title, const QString &description);
    QString title() const;
    QString description() const;
    QPushButton *button() const { return m_button; }

signals:
    void actionTriggered();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void describe();

    QLabel *m_title;
    QLabel *m_description;
    QPushButton *m_button;
};
