#pragma once

#include <QWidget>

class QLabel;

// One line of a details panel: a secondary label in an 88-point column, then the value.
class DetailRow : public QWidget {
    Q_OBJECT
public:
    DetailRow(const QString &label, const QString &value, QWidget *parent = nullptr);
    void setValue(const QString &value);
    QString value() const;

private:
    QLabel *m_value;
};
