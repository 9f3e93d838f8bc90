#pragma once

#include "update/Updater.h"

#include <QDialog>
#include <QUrl>

#include <functional>

class QHBoxLayout;
class QVBoxLayout;
class QPushButton;

// The "Software Update" window: runs its own check when first shown, offers a newer
// release and drives its installation, showing each progress message and failure. A copy
// the package manager installed is only told that a newer release is out.
class UpdateDialogView : public QDialog {
    Q_OBJECT
public:
    enum class Phase { Checking, UpToDate, Available, Packaged, Installing, Failed };

    explicit UpdateDialogView(QWidget *parent = nullptr);

    Phase phase() const { return m_phase; }
    // The progress text while installing, the error text when failed.
    QString message() const { return m_message; }
    std::optional<Updater::Release> release() const { return m_release; }

    void check();
    void install(const Updater::Release &release);

    // For tests: where "Download from Website" sends its address instead of the browser.
    static void setOpenUrl(std::function<void(const QUrl &)> open);

signals:
    void phaseChanged(UpdateDialogView::Phase phase);

public slots:
    // Refused while installing: the install goes on and reports here.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void setPhase(Phase phase, const QString &message = QString());
    void rebuild();
    QPushButton *addButton(const QString &text, const std::function<void()> &action);
    void downloadFromWebsite();

    Phase m_phase = Phase::Checking;
    QString m_message;
    std::optional<Updater::Release> m_release;
    bool m_checkedOnce = false;
    int m_generation = 0;
    QWidget *m_body = nullptr;
    QVBoxLayout *m_bodyHolder = nullptr;
    QHBoxLayout *m_buttons = nullptr;
};
