#include "app/screens/PrivacySettingsView.h"

#include "app/AppState.h"
#include "app/widgets/Style.h"
#include "app/widgets/SymbolView.h"
#include "platform/Locations.h"
#include "platform/PlatformTexts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

PrivacySettingsView::PrivacySettingsView(AppState *appState, QWidget *parent)
    : SettingsForm(parent), m_hasAccess(AppState::readFullDiskAccess())
{
    setObjectName(QStringLiteral("privacySettings"));
    QVBoxLayout *access = addSection(QStringLiteral("Full Disk Access"));
    auto *row = new QHBoxLayout;
    row->setSpacing(10);
    m_icon = new SymbolView(QString(), 28, QColor(), widget());
    row->addWidget(m_icon, 0, Qt::AlignTop);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    m_status = new QLabel(widget());
    m_status->setObjectName(QStringLiteral("accessStatus"));
    Style::apply(m_status, Style::Text::Headline);
    m_detail = new QLabel(widget());
    Style::apply(m_detail, Style::Text::Caption, true);
    m_detail->setWordWrap(true);
    texts->addWidget(m_status);
    texts->addWidget(m_detail);
    row->addLayout(texts, 1);
    auto *check = new QPushButton(QStringLiteral("Check Again"), widget());
    check->setObjectName(QStringLiteral("privacyCheckAgain"));
    connect(check, &QPushButton::clicked, this, &PrivacySettingsView::checkAgain);
    row->addWidget(check, 0, Qt::AlignTop);
    access->addLayout(row);
    // Only where the system has such a grant and a page to give it.
    if (!Locations::current().fullDiskAccessSettingsUrl.isEmpty()) {
        auto *open = new QPushButton(QStringLiteral("Open Full Disk Access Settings…"), widget());
        open->setObjectName(QStringLiteral("openAccessSettings"));
        connect(open, &QPushButton::clicked, appState, &AppState::openFullDiskAccessSettings);
        access->addWidget(open, 0, Qt::AlignLeft);
    }

    QVBoxLayout *what = addSection(QStringLiteral("What Quillmar does with it"));
    what->addWidget(new Note(
        PlatformTexts::text(QStringLiteral("Everything stays on this Mac. Quillmar reads file "
                                           "sizes and names to measure folders, hashes "
                                           "parts of large files to find duplicates, and only "
                                           "removes what you choose, by moving it to "
                                           "the Trash.")),
        widget()));
    what->addWidget(new Note(
        QStringLiteral("Some system folders stay closed even with Full Disk Access; their sizes "
                       "show with a + (at least this much)."),
        widget()));
    addStretch();
    refresh();
}

void PrivacySettingsView::checkAgain()
{
    m_hasAccess = AppState::readFullDiskAccess();
    refresh();
}

QString PrivacySettingsView::statusText() const
{
    return m_status->text();
}

void PrivacySettingsView::refresh()
{
    if (m_hasAccess) {
        m_icon->setSymbol(QStringLiteral("checkmark.shield.fill"), Style::green());
        m_status->setText(QStringLiteral("Granted"));
        m_detail->setText(
            QStringLiteral("Quillmar can measure every folder without asking again."));
    } else {
        m_icon->setSymbol(QStringLiteral("exclamationmark.shield.fill"), Style::orange());
        m_status->setText(QStringLiteral("Not granted"));
        m_detail->setText(PlatformTexts::text(QStringLiteral(
            "Quillmar won't scan until it has access, so macOS doesn't ask folder by folder.")));
    }
}
