#include "exec/screens/UndoNotice.h"

#include "app/widgets/Dialogs.h"
#include "exec/RecentlyRemovedViewModel.h"
#include "platform/DisplayName.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

UndoNotice::UndoNotice(RecentlyRemovedViewModel *model, QWidget *parent)
    : QFrame(parent), m_model(model)
{
    setObjectName(QStringLiteral("undoNotice"));
    setFrameShape(QFrame::StyledPanel);
    setAccessibleName(QStringLiteral("Removal notice"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 6, 12, 6);
    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("undoNoticeText"));
    layout->addWidget(m_text, 1);
    m_undo = new QPushButton(QStringLiteral("Undo"), this);
    m_undo->setObjectName(QStringLiteral("undoRemoval"));
    m_undo->setAccessibleName(QStringLiteral("Undo the removal"));
    layout->addWidget(m_undo);
    m_list = new QPushButton(QStringLiteral("Recently Removed…"), this);
    m_list->setObjectName(QStringLiteral("showRecentlyRemoved"));
    layout->addWidget(m_list);

    connect(m_undo, &QPushButton::clicked, m_model, &RecentlyRemovedViewModel::undoNotice);
    // Ten seconds are too few to reach Undo by keyboard and hear it read: the notice stays
    // while the keyboard is on it.
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget *, QWidget *now) { m_model->holdNotice(now && isAncestorOf(now)); });
    connect(m_list, &QPushButton::clicked, this, &UndoNotice::listRequested);
    connect(m_model, &RecentlyRemovedViewModel::noticeChanged, this, &UndoNotice::refresh);
    connect(m_model, &RecentlyRemovedViewModel::puttingBackChanged, this, &UndoNotice::refresh);
    connect(m_model, &RecentlyRemovedViewModel::putBackFinished, this,
            [this](int, const QList<RecentlyRemovedViewModel::Failure> &failures) {
                if (failures.isEmpty())
                    return;
                QStringList lines;
                for (const auto &f : failures)
                    lines << DisplayName::line(f.path) + QStringLiteral(": ") + f.reason;
                Dialogs::alert(
                    window(),
                    QStringLiteral("%1 of the items stayed in the Trash").arg(failures.size()),
                    lines.join(QLatin1Char('\n')));
            });
    refresh();
}

void UndoNotice::refresh()
{
    const std::optional<JournalEntry> notice = m_model->notice();
    if (notice)
        m_text->setText(RecentlyRemovedViewModel::noticeText(*notice));
    m_undo->setEnabled(notice && !m_model->isPuttingBack());
    setVisible(notice.has_value());
}
