#pragma once

#include <QWidget>

class ActivityIndicator;
class AppState;
class QLabel;
class QProgressBar;
class QPushButton;

// The strip under the content while a scan runs: spinner, message, above 0 % a bar and
// the whole-number percentage (a busy bar while the total still grows), and "Stop" for a
// scan that can be stopped.
class ProgressBannerView : public QWidget {
    Q_OBJECT
public:
    explicit ProgressBannerView(AppState *appState, QWidget *parent = nullptr);

    QString message() const;
    bool showsBar() const;
    QString percentageText() const;
    QPushButton *stopButton() const { return m_stop; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void refresh();

    AppState *m_appState;
    ActivityIndicator *m_spinner;
    QLabel *m_message;
    QProgressBar *m_bar;
    QLabel *m_percentage;
    QPushButton *m_stop;
};
