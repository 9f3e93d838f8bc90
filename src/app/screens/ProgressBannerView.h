#pragma once

#include <QWidget>

class ActivityIndicator;
class AppState;
class QLabel;
class QProgressBar;

// The strip under the content while a scan runs: spinner, message, and above 0 % a bar
// and the whole-number percentage.
class ProgressBannerView : public QWidget {
    Q_OBJECT
public:
    explicit ProgressBannerView(AppState *appState, QWidget *parent = nullptr);

    QString message() const;
    bool showsBar() const;
    QString percentageText() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void refresh();

    AppState *m_appState;
    ActivityIndicator *m_spinner;
    QLabel *m_message;
    QProgressBar *m_bar;
    QLabel *m_percentage;
};
