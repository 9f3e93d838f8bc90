#include "update/screens/UpdateDialogView.h"

#include "app/widgets/ActivityIndicator.h"
#include "app/widgets/Style.h"
#include "app/widgets/SymbolView.h"
#include "platform/desktop/Workspace.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

std::function<void(const QUrl &)> gOpenUrl;

QLabel *bodyLabel(const QString &text, Style::Text style, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    Style::apply(label, style);
    return label;
}

} // namespace

UpdateDialogView::UpdateDialogView(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("update"));
    setWindowTitle(QStringLiteral("Software Update"));
    setMinimumWidth(420);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 16);
    layout->setSpacing(16);

    auto *header = new QHBoxLayout;
    header->setSpacing(12);
    auto *icon = new SymbolView(QStringLiteral("arrow.triangle.2.circlepath.circle.fill"), 48,
                                QColor(), this);
    icon->setObjectName(QStringLiteral("updateIcon"));
    header->addWidget(icon, 0, Qt::AlignTop);
    auto *titles = new QVBoxLayout;
    titles->setSpacing(2);
    auto *title = new QLabel(QStringLiteral("Software Update"), this);
    title->setObjectName(QStringLiteral("updateTitle"));
    Style::apply(title, Style::Text::Title2);
    titles->addWidget(title);
    auto *subtitle = new QLabel(QStringLiteral("Quillmar ") + Updater::currentVersion(), this);
    subtitle->setObjectName(QStringLiteral("updateSubtitle"));
    subtitle->setTextFormat(Qt::PlainText);
    Style::apply(subtitle, Style::Text::Subheadline, true);
    titles->addWidget(subtitle);
    header->addLayout(titles, 1);
    layout->addLayout(header);

    m_bodyHolder = new QVBoxLayout;
    layout->addLayout(m_bodyHolder, 1);
    m_buttons = new QHBoxLayout;
    m_buttons->setSpacing(8);
    layout->addLayout(m_buttons);
    rebuild();
}

void UpdateDialogView::setOpenUrl(std::function<void(const QUrl &)> open)
{
    gOpenUrl = std::move(open);
}

void UpdateDialogView::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_checkedOnce) {
        m_checkedOnce = true;
        check();
    }
}

void UpdateDialogView::reject()
{
    if (m_phase == Phase::Installing)
        return;
    QDialog::reject();
}

void UpdateDialogView::closeEvent(QCloseEvent *event)
{
    if (m_phase == Phase::Installing) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void UpdateDialogView::check()
{
    setPhase(Phase::Checking);
    // A result from an earlier check must not overwrite a later phase.
    const int generation = ++m_generation;
    Updater::latest(this, [this, generation](Updater::LatestResult result) {
        if (generation != m_generation)
            return;
        if (const auto *failure = std::get_if<Updater::Failure>(&result)) {
            setPhase(Phase::Failed, failure->message);
            return;
        }
        const Updater::Release release = std::get<Updater::Release>(result);
        if (Updater::isNewer(release.version, Updater::currentVersion())) {
            m_release = release;
            setPhase(release.package.isEmpty() ? Phase::Available : Phase::Packaged);
        } else {
            setPhase(Phase::UpToDate);
        }
    });
}

void UpdateDialogView::install(const Updater::Release &release)
{
    const int generation = ++m_generation;
    setPhase(Phase::Installing,
             QStringLiteral("Downloading ") + release.version + QStringLiteral("…"));
    Updater::install(
        release, this,
        [this, generation](const QString &text) {
            if (generation == m_generation)
                setPhase(Phase::Installing, text);
        },
        [this, generation](std::optional<Updater::Failure> failure) {
            // On success the program is quitting: the last message stays.
            if (failure && generation == m_generation)
                setPhase(Phase::Failed, failure->message);
        });
}

void UpdateDialogView::setPhase(Phase phase, const QString &message)
{
    const bool changed = phase != m_phase;
    m_phase = phase;
    m_message = message;
    rebuild();
    if (changed)
        emit phaseChanged(phase);
}

QPushButton *UpdateDialogView::addButton(const QString &text, const std::function<void()> &action)
{
    auto *button = new QPushButton(text, this);
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, action);
    m_buttons->addWidget(button);
    button->show();
    return button;
}

void UpdateDialogView::downloadFromWebsite()
{
    const QUrl page(Updater::base() + QStringLiteral("/api/download"));
    if (gOpenUrl)
        gOpenUrl(page);
    else
        Workspace::openUrl(page);
}

void UpdateDialogView::rebuild()
{
    // Hidden at once, deleted later: the clicked button may still be in its signal.
    if (m_body) {
        m_body->hide();
        m_body->deleteLater();
    }
    while (QLayoutItem *item = m_buttons->takeAt(0)) {
        if (QWidget *widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }

    m_body = new QWidget(this);
    m_body->setObjectName(QStringLiteral("updateBody"));
    auto *body = new QHBoxLayout(m_body);
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(10);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(6);

    switch (m_phase) {
    case Phase::Checking:
        body->addWidget(new ActivityIndicator(20, m_body), 0, Qt::AlignTop);
        texts->addWidget(
            bodyLabel(QStringLiteral("Checking for updates…"), Style::Text::Body, m_body));
        break;
    case Phase::UpToDate:
        body->addWidget(
            new SymbolView(QStringLiteral("checkmark.circle.fill"), 24, Style::green(), m_body), 0,
            Qt::AlignTop);
        texts->addWidget(
            bodyLabel(QStringLiteral("You're up to date"), Style::Text::Headline, m_body));
        break;
    case Phase::Available:
    case Phase::Packaged: {
        texts->addWidget(
            bodyLabel(QStringLiteral("Quillmar ") + m_release->version + QStringLiteral(" is out"),
                      Style::Text::Headline, m_body));
        if (m_phase == Phase::Packaged)
            texts->addWidget(bodyLabel(
                QStringLiteral("This copy belongs to the package ") + m_release->package +
                    QStringLiteral(", so the package manager updates it: download the new "
                                   "package from the website and install it with apt."),
                Style::Text::Body, m_body));
        QStringList lines;
        for (const QString &note : m_release->notes) {
            for (const QString &line : note.split(QLatin1Char('\n')))
                lines.append(QStringLiteral("• ") + line);
        }
        if (!lines.isEmpty()) {
            QLabel *notes = bodyLabel(lines.join(QLatin1Char('\n')), Style::Text::Body, m_body);
            notes->setObjectName(QStringLiteral("updateNotes"));
            notes->setTextInteractionFlags(Qt::TextSelectableByMouse);
            texts->addWidget(notes);
        }
        break;
    }
    case Phase::Installing:
        body->addWidget(new ActivityIndicator(20, m_body), 0, Qt::AlignTop);
        texts->addWidget(bodyLabel(m_message, Style::Text::Body, m_body));
        break;
    case Phase::Failed: {
        body->addWidget(
            new SymbolView(QStringLiteral("exclamationmark.triangle"), 24, Style::orange(), m_body),
            0, Qt::AlignTop);
        QLabel *error = bodyLabel(m_message, Style::Text::Body, m_body);
        error->setTextInteractionFlags(Qt::TextSelectableByMouse);
        texts->addWidget(error);
        break;
    }
    }
    texts->addStretch(1);
    body->addLayout(texts, 1);
    m_bodyHolder->addWidget(m_body);
    m_body->show();

    // The last button is the default one, bound to Return.
    QList<QPushButton *> buttons;
    m_buttons->addStretch(1);
    switch (m_phase) {
    case Phase::Checking:
    case Phase::Installing:
        break;
    case Phase::UpToDate:
        buttons << addButton(QStringLiteral("OK"), [this] { accept(); });
        break;
    case Phase::Available: {
        buttons << addButton(QStringLiteral("Later"), [this] { reject(); });
        const Updater::Release release = *m_release;
        buttons << addButton(QStringLiteral("Install and Relaunch"),
                             [this, release] { install(release); });
        break;
    }
    case Phase::Packaged:
        buttons << addButton(QStringLiteral("Download from Website"),
                             [this] { downloadFromWebsite(); });
        buttons << addButton(QStringLiteral("OK"), [this] { accept(); });
        break;
    case Phase::Failed:
        buttons << addButton(QStringLiteral("Download from Website"),
                             [this] { downloadFromWebsite(); });
        buttons << addButton(QStringLiteral("Try Again"), [this] { check(); });
        buttons << addButton(QStringLiteral("Close"), [this] { reject(); });
        break;
    }
    if (!buttons.isEmpty()) {
        buttons.last()->setDefault(true);
        buttons.last()->setFocus();
    }
}
