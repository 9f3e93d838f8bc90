#include "applications/screens/LeftoversSheet.h"

#include "app/AppState.h"
#include "app/widgets/FileIcons.h"
#include "app/widgets/RevealInFolder.h"
#include "app/widgets/Style.h"
#include "app/widgets/Symbols.h"
#include "applications/AppLeftovers.h"
#include "exec/Async.h"
#include "exec/Background.h"
#include "exec/ExclusionsViewModel.h"
#include "platform/DisplayName.h"
#include "platform/PlatformTexts.h"
#include "platform/RemovalHub.h"
#include "storage/StorageScanner.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtConcurrent>

namespace {

QFont monospaced(Style::Text text)
{
    QFont f = Style::font(text);
    f.setFamilies({QStringLiteral("monospace")});
    f.setStyleHint(QFont::Monospace);
    return f;
}

} // namespace

LeftoversSheet::LeftoversSheet(AppState *appState, QWidget *parent)
    : QDialog(parent), m_appState(appState)
{
    setObjectName(QStringLiteral("leftoversSheet"));
    setWindowModality(Qt::WindowModal);
    setMinimumSize(560, 420);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 16);
    layout->setSpacing(10);

    auto *head = new QHBoxLayout;
    head->setSpacing(12);
    m_icon = new QLabel(this);
    m_icon->setFixedSize(40, 40);
    head->addWidget(m_icon, 0, Qt::AlignTop);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("leftoversTitle"));
    QFont titleFont = Style::font(Style::Text::Title3);
    titleFont.setWeight(QFont::DemiBold);
    m_title->setFont(titleFont);
    texts->addWidget(m_title);
    auto *line =
        new QLabel(PlatformTexts::text(QStringLiteral(
                       "The app is gone, but these files in your Library still belong to it.")),
                   this);
    Style::apply(line, Style::Text::Body, true);
    line->setWordWrap(true);
    texts->addWidget(line);
    head->addLayout(texts, 1);
    layout->addLayout(head);

    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::StyledPanel);
    // Tab goes to the rows' boxes and buttons, and the list scrolls to show them.
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_rows = new QWidget(scroll);
    m_rows->setObjectName(QStringLiteral("leftoverRows"));
    m_rows->setBackgroundRole(QPalette::Base);
    m_rows->setAutoFillBackground(true);
    m_rowsLayout = new QVBoxLayout(m_rows);
    m_rowsLayout->setContentsMargins(8, 6, 8, 6);
    m_rowsLayout->setSpacing(2);
    scroll->setWidget(m_rows);
    layout->addWidget(scroll, 1);

    m_footer = new QLabel(this);
    m_footer->setObjectName(QStringLiteral("leftoversFooter"));
    m_footer->setFont(monospaced(Style::Text::Subheadline));
    layout->addWidget(m_footer);
    m_resultLabel = new QLabel(this);
    m_resultLabel->setObjectName(QStringLiteral("leftoversResult"));
    m_resultLabel->setWordWrap(true);
    m_resultLabel->setFont(Style::font(Style::Text::Body));
    layout->addWidget(m_resultLabel);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_close = new QPushButton(this);
    m_close->setObjectName(QStringLiteral("leftoversClose"));
    m_close->setAutoDefault(false);
    connect(m_close, &QPushButton::clicked, this, &LeftoversSheet::reject);
    buttons->addWidget(m_close);
    m_trash = new QPushButton(QStringLiteral("Move to Trash"), this);
    m_trash->setObjectName(QStringLiteral("leftoversTrash"));
    m_trash->setDefault(true);
    connect(m_trash, &QPushButton::clicked, this, &LeftoversSheet::trashChosen);
    buttons->addWidget(m_trash);
    layout->addLayout(buttons);
}

LeftoversSheet::~LeftoversSheet()
{
    m_removal.waitForFinished();
}

void LeftoversSheet::setReport(const LeftoverReport &report)
{
    m_report = report;
    ++m_generation;
    m_chosen.clear();
    // Name-only matches may be another program's: they start unticked.
    for (const Leftover &leftover : m_report.leftovers)
        if (!leftover.byNameOnly)
            m_chosen.insert(leftover.id());
    m_result.reset();
    setWindowTitle(m_report.appName);
    m_icon->setPixmap(
        FileIcons::icon(m_report.appURL, m_report.appURL.endsWith(".app")).pixmap(40, 40));
    m_title->setText(m_report.appName + QStringLiteral(" left files behind"));
    rebuildRows();
    updateState();
}

void LeftoversSheet::rebuildRows()
{
    qDeleteAll(m_rows->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly));
    m_boxes.clear();
    while (QLayoutItem *item = m_rowsLayout->takeAt(0))
        delete item;
    for (const Leftover &leftover : m_report.leftovers) {
        auto *row = new QWidget(m_rows);
        auto *h = new QHBoxLayout(row);
        h->setContentsMargins(2, 4, 2, 4);
        h->setSpacing(8);
        auto *box = new QCheckBox(row);
        // The box has no text of its own: it is read with the item it ticks.
        box->setAccessibleName(DisplayName::line(leftover.name()) + QStringLiteral(", ") +
                               formatBytes(leftover.bytes));
        box->setAccessibleDescription(DisplayName::line(leftover.displayPath()));
        box->setChecked(m_chosen.contains(leftover.id()));
        const QByteArray id = leftover.id();
        connect(box, &QCheckBox::toggled, this, [this, id](bool on) { setChosen(id, on); });
        m_boxes.append(box);
        h->addWidget(box, 0, Qt::AlignVCenter);

        auto *texts = new QVBoxLayout;
        texts->setSpacing(1);
        auto *name = new QLabel(row);
        name->setFont(Style::font(Style::Text::Body));
        name->setText(name->fontMetrics().elidedText(DisplayName::line(leftover.name()),
                                                     Qt::ElideMiddle, 330));
        name->setToolTip(DisplayName::line(leftover.displayPath()));
        texts->addWidget(name);
        QString where = leftover.place;
        if (leftover.byNameOnly)
            where += QStringLiteral(" · matched by name, check it's this app's");
        auto *place = new QLabel(where, row);
        Style::apply(place, Style::Text::Caption, true);
        texts->addWidget(place);
        h->addLayout(texts, 1);

        auto *size = new QLabel(formatBytes(leftover.bytes), row);
        size->setFont(monospaced(Style::Text::Caption));
        Style::makeSecondary(size);
        h->addWidget(size);

        auto *reveal = new QToolButton(row);
        reveal->setAutoRaise(true);
        reveal->setIcon(Symbols::icon(QStringLiteral("magnifyingglass")));
        reveal->setToolTip(PlatformTexts::text(QStringLiteral("Show in Finder")));
        reveal->setAccessibleName(reveal->toolTip() + QStringLiteral(": ") +
                                  DisplayName::line(leftover.name()));
        const QString shown = leftover.displayPath();
        connect(reveal, &QToolButton::clicked, this,
                [this, shown] { RevealInFolder::show(this, shown); });
        h->addWidget(reveal);
        m_rowsLayout->addWidget(row);
    }
    m_rowsLayout->addStretch(1);
}

void LeftoversSheet::setChosen(const QByteArray &id, bool ticked)
{
    if (m_isWorking)
        return;
    if (ticked)
        m_chosen.insert(id);
    else
        m_chosen.remove(id);
    updateState();
}

QString LeftoversSheet::footerText() const
{
    qint64 bytes = 0;
    for (const Leftover &leftover : m_report.leftovers)
        if (m_chosen.contains(leftover.id()))
            bytes += leftover.bytes;
    return QString::number(m_chosen.size()) + QStringLiteral(" of ") +
           QString::number(m_report.leftovers.size()) + QStringLiteral(" · ") + formatBytes(bytes);
}

void LeftoversSheet::updateState()
{
    m_footer->setText(footerText());
    m_resultLabel->setVisible(m_result.has_value());
    m_resultLabel->setText(m_result.value_or(QString()));
    m_close->setText(m_result ? QStringLiteral("Done") : QStringLiteral("Keep Them"));
    m_close->setEnabled(!m_isWorking);
    m_trash->setVisible(!m_result);
    // Closed while a list of Settings cannot be read; the window says why.
    m_trash->setEnabled(!m_chosen.isEmpty() && !m_isWorking &&
                        m_appState->exclusionsVM()->blockedReason().isEmpty());
    m_trash->setText(m_isWorking ? QStringLiteral("Moving…") : QStringLiteral("Move to Trash"));
    for (QCheckBox *box : m_boxes)
        box->setEnabled(!m_isWorking && !m_result);
}

void LeftoversSheet::trashChosen()
{
    if (m_isWorking || m_chosen.isEmpty() || m_result)
        return;
    m_isWorking = true;
    updateState();
    const QList<Leftover> leftovers = m_report.leftovers;
    const QSet<QByteArray> chosen = m_chosen;
    AppState *appState = m_appState;
    const int generation = m_generation;
    m_removal = Background::start([leftovers, chosen, appState] {
        const RemovalHub::Joined joined(RemovalHub::Batch(QStringLiteral("leftovers")));
        return AppLeftovers::trashChosen(leftovers, chosen, appState);
    });
    whenFinished(this, m_removal, [this, generation](const AppLeftovers::RemovalSummary &summary) {
        m_isWorking = false;
        if (generation == m_generation)
            m_result = AppLeftovers::resultText(summary);
        updateState();
        emit removalFinished();
    });
}

void LeftoversSheet::reject()
{
    // The removal reports into this sheet; it stays until the removal has ended.
    if (m_isWorking)
        return;
    QDialog::reject();
    if (m_appState)
        m_appState->dismissLeftoverReport();
}

void LeftoversSheet::closeEvent(QCloseEvent *event)
{
    if (m_isWorking) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}
