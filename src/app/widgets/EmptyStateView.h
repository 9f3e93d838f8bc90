#pragma once

#include <QColor>
#include <QWidget>

class QLabel;

// A centred placeholder: a large symbol in a tint, a title and an explanation.
class EmptyStateView : public QWidget {
    Q_OBJECT
public:
    EmptyStateView(const QString &symbol, const QString &title, const QString &message,
                   const QColor &tint = QColor(), QWidget *parent = nullptr);

    QString title() const;
    QString message() const;
    QString symbol() const { return m_symbol; }

private:
    QString m_symbol;
    QLabel *m_title;
    QLabel *m_message;
};
