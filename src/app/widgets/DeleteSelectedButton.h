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
    // While removals are closed (a list of Settings cannot be read), every such button is
    // disabled, whatever is ticked.
    static void setRemovalsBlocked(bool blocked);
    static bool removalsBlocked();

private:
    void updateEnabled();

    int m_count = -1;
    std::function<void()> m_action;
};
