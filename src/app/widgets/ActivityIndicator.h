#pragma once

#include <QWidget>

// A small spinning indicator; it turns only while shown and active. Inactive it draws
// nothing and keeps its place, so a row can stop and start it without showing or hiding
// a widget (on X11 each show asks the server where the pointer is and waits for it).
// Every indicator turns on one shared clock, so the window repaints once per step
// however many of them spin, rather than once for each at its own moment.
class ActivityIndicator : public QWidget {
    Q_OBJECT
public:
    explicit ActivityIndicator(int side = 16, QWidget *parent = nullptr);
    ~ActivityIndicator() override;
    bool isAnimating() const;
    bool isActive() const { return m_active; }
    void setActive(bool active);

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void follow(bool turning);
    bool m_active = true;
};
