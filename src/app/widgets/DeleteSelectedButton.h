#pragma once

#include <QPushButton>

#include <functional>

// The red "Delete Selected" button of the list screens; the screens confirm first.
class DeleteSelectedButton : public QPushButton {
    Q_OBJECT
public:
    explicit DeleteSelectedButton(std::function<void()> action = {}, QWidget *parent = nullptr);

    int count() const { return m_count; }
    // 0 reads "Delete Selected" and disables the button.
    void setCount(int count);

private:
    int m_count = -1;
    std::function<void()> m_action;
};
