#pragma once

#include <QAbstractButton>

#include <functional>

// One entry of the Docker tab's category list: a title and its count, drawn selected or
// not with the palette's colours; clicking it runs the action.
class CategoryRow : public QAbstractButton {
    Q_OBJECT
public:
    CategoryRow(const QString &title, std::function<void()> action, QWidget *parent = nullptr);

    QString title() const { return m_title; }
    int count() const { return m_count; }
    void setCount(int count);
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_title;
    int m_count = 0;
    bool m_selected = false;
};
