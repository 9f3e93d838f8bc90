#pragma once

#include <QTimer>
#include <QWidget>

// A small spinning indicator; it turns only while shown and active. Inactive it draws
// nothing and keeps its place, so a row can stop and start it without showing or hiding
// a widget (on X11 each show asks the server where the pointer is and waits for it).
class ActivityIndicator : public QWidget {
    Q_OBJECT
public:
    explicit ActivityIndicator(int side = 16, QWidget *parent = nullptr);
    bool isAnimating() const { return m_timer.isActive(); }
    bool isActive() const { return m_active; }
    void setActive(bool active);

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QTimer m_timer;
    int m_step = 0;
    bool m_active = true;
};
