#include "storage/screens/StorageView.h"

#include "app/AppState.h"
#include "app/widgets/ActivityIndicator.h"
#include "app/widgets/CloseGuard.h"
#include "app/widgets/Contrast.h"
#include "app/widgets/Dialogs.h"
#include "app/widgets/ExportButton.h"
#include "app/widgets/FileIcons.h"
#include "app/widgets/RevealInFolder.h"
#include "app/widgets/Style.h"
#include "app/widgets/Symbols.h"
#include "app/widgets/TabHeader.h"
#include "exec/Async.h"
#include "exec/Background.h"
#include "exec/ExclusionsViewModel.h"
#include "exec/SafetyHelper.h"
#include "platform/DisplayName.h"
#include "platform/Locations.h"
#include "platform/PlatformTexts.h"
#include "storage/NcduExport.h"
#include "storage/StorageViewModel.h"
#include "storage/screens/StorageBlockMap.h"
#include "storage/screens/StorageColumn.h"

#include <QActionGroup>
#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QLocale>
#include <QMenu>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtConcurrent>

namespace {

QFrame *verticalLine(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);
    return line;
}

} // namespace

StorageView::StorageView(AppState *appState, StorageViewModel *model, QWidget *parent)
    : QWidget(parent), m_appState(appState), m_model(model)
{
    setObjectName(QStringLiteral("storageView"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // Header with the start-folder menu and "Rescan".
    m_header = new TabHeader(TabNavigation::storage, this);
    // A push button with a menu draws the style's own arrow beside the text.
    m_rootButton = new QPushButton(m_header);
    m_rootButton->setObjectName(QStringLiteral("rootMenu"));
    m_rootButton->setIcon(Symbols::icon(QStringLiteral("internaldrive")));
    m_rootMenu = new QMenu(m_rootButton);
    m_rootMenu->setObjectName(QStringLiteral("rootMenuList"));
    connect(m_rootMenu->addAction(Locations::current().rootDisplayName +
                                  QStringLiteral(" (whole disk)")),
            &QAction::triggered, this, [this] { m_model->open(QStringLiteral("/")); });
    connect(m_rootMenu->addAction(QStringLiteral("Home Folder")), &QAction::triggered, this,
            [this] { m_model->open(Locations::current().home); });
    // Every mounted disk, read again each time the menu opens.
    m_volumesSeparator = m_rootMenu->addSeparator();
    connect(m_rootMenu, &QMenu::aboutToShow, m_model, &StorageViewModel::refreshVolumes);
    connect(m_model, &StorageViewModel::volumesChanged, this, &StorageView::fillVolumes);
    m_model->refreshVolumes();
    m_rootMenu->addSeparator();
    connect(m_rootMenu->addAction(QStringLiteral("Choose Folder…")), &QAction::triggered, this,
            [this] {
                Dialogs::chooseFolder(this, m_model->root(), QStringLiteral("Map"),
                                      [this](std::optional<QString> folder) {
                                          if (folder)
                                              m_model->open(*folder);
                                      });
            });
    m_rootButton->setMenu(m_rootMenu);
    m_header->addAction(m_rootButton);
    // Largest first, or what grew most since the map last measured it on another day.
    m_orderButton = new QPushButton(m_header);
    m_orderButton->setObjectName(QStringLiteral("storageOrder"));
    m_orderButton->setAccessibleName(QStringLiteral("Order the columns"));
    auto *orderMenu = new QMenu(m_orderButton);
    auto *orders = new QActionGroup(orderMenu);
    for (StorageViewModel::Order order :
         {StorageViewModel::Order::largest, StorageViewModel::Order::grewMost}) {
        QAction *action = orderMenu->addAction(StorageViewModel::title(order));
        action->setCheckable(true);
        action->setChecked(order == m_model->order());
        orders->addAction(action);
        connect(action, &QAction::triggered, m_model, [this, order] { m_model->setOrder(order); });
    }
    m_orderButton->setMenu(orderMenu);
    const auto showOrder = [this] {
        m_orderButton->setText(StorageViewModel::title(m_model->order()));
    };
    connect(m_model, &StorageViewModel::orderChanged, this, showOrder);
    showOrder();
    m_header->addAction(m_orderButton);
    m_rescan = m_header->addRescan([this] { m_model->rescanFolder(); },
                                   QStringLiteral("Rescan This Folder"));
    m_rescan->setObjectName(QStringLiteral("storageRescan"));
    m_rescan->setToolTip(
        QStringLiteral("Measure the folder you are looking at again; the rest stays as it is"));
    // The mapped folder, every file and folder in it, in the format ncdu opens.
    ExportButton::Format ncdu{
        QStringLiteral("ncdu Export (JSON)…"), QStringLiteral("ncdu export (*.json)"),
        QStringLiteral("json"), [this]() -> std::optional<ExportButton::Work> {
            const QByteArray root = StorageScanner::standardized(nativePath(m_model->root()));
            auto walk = std::make_shared<UsageWalk>();
            m_export->setProgress([walk] {
                return QLocale().toString(qulonglong(walk->itemsSeen())) + QStringLiteral(" items");
            });
            return [root, walk](const QString &file, const CancelToken &c) {
                return NcduExport::toFile(root, file, *walk, c);
            };
        }};
    m_export = new ExportButton(
        {ncdu}, [this] { return m_model->rootName(); }, m_header);
    m_export->setAccessibleName(QStringLiteral("Export the mapped folder"));
    m_header->addAction(m_export);
    new CloseGuard(
        this, [this] { return m_export->isRunning(); },
        QStringLiteral("The export of the mapped folder is still being written."));
    layout->addWidget(m_header);

    // Column browser.
    m_browser = new QScrollArea(this);
    m_browser->setObjectName(QStringLiteral("columnBrowser"));
    m_browser->setFixedHeight(250);
    m_browser->setFrameShape(QFrame::NoFrame);
    // Tab goes to the columns themselves.
    m_browser->setFocusPolicy(Qt::NoFocus);
    m_browser->setWidgetResizable(true);
    m_browser->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_browser->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_strip = new QWidget(m_browser);
    m_stripLayout = new QHBoxLayout(m_strip);
    m_stripLayout->setContentsMargins(0, 0, 0, 0);
    m_stripLayout->setSpacing(0);
    m_loading = new QWidget(m_strip);
    m_loading->setObjectName(QStringLiteral("loadingColumn"));
    m_loading->setFixedWidth(240);
    auto *loadingLayout = new QVBoxLayout(m_loading);
    loadingLayout->addStretch(1);
    auto *spinner = new ActivityIndicator(14, m_loading);
    loadingLayout->addWidget(spinner, 0, Qt::AlignHCenter);
    m_loadingLabel = new QLabel(m_loading);
    Style::apply(m_loadingLabel, Style::Text::Caption, true);
    m_loadingLabel->setAlignment(Qt::AlignCenter);
    m_loadingLabel->setWordWrap(true);
    loadingLayout->addWidget(m_loadingLabel);
    loadingLayout->addStretch(1);
    m_loading->hide();
    m_stripLayout->addWidget(m_loading);
    m_stripLayout->addStretch(1);
    m_browser->setWidget(m_strip);
    layout->addWidget(m_browser);

    auto *divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setForegroundRole(QPalette::Mid);
    layout->addWidget(divider);

    // Action bar.
    m_actionBar = new QWidget(this);
    m_actionBar->setObjectName(QStringLiteral("actionBar"));
    auto *bar = new QHBoxLayout(m_actionBar);
    bar->setContentsMargins(12, 6, 12, 6);
    bar->setSpacing(8);
    m_chosenIcon = new QLabel(m_actionBar);
    m_chosenIcon->setFixedSize(18, 18);
    bar->addWidget(m_chosenIcon);
    m_chosenName = new QLabel(m_actionBar);
    m_chosenName->setFont(Style::font(Style::Text::Body));
    m_chosenName->setMaximumWidth(420);
    m_chosenName->setMinimumWidth(40);
    bar->addWidget(m_chosenName);
    m_chosenSize = new QLabel(m_actionBar);
    QFont sizeFont = Style::font(Style::Text::Caption);
    sizeFont.setFamilies({QStringLiteral("monospace")});
    m_chosenSize->setFont(sizeFont);
    Style::makeSecondary(m_chosenSize);
    bar->addWidget(m_chosenSize);
    m_partialNote = new QLabel(QStringLiteral("Some folders inside couldn't be read"), m_actionBar);
    m_partialNote->setFont(Style::font(Style::Text::Caption2));
    Style::followTheme(m_partialNote, [this] {
        QPalette note = QApplication::palette();
        note.setColor(
            QPalette::WindowText,
            Contrast::reaching(Style::orange(), {note.color(QPalette::Window)}, Contrast::text));
        m_partialNote->setPalette(note);
    });
    bar->addWidget(m_partialNote);
    m_hint = new QLabel(
        QStringLiteral("Choose a folder to go deeper, or a block below to see what it is."),
        m_actionBar);
    m_hint->setObjectName(QStringLiteral("storageHint"));
    Style::apply(m_hint, Style::Text::Body, true);
    m_hint->setMinimumWidth(80);
    bar->addWidget(m_hint);
    bar->addStretch(1);
    m_reveal =
        new QPushButton(PlatformTexts::text(QStringLiteral("Reveal in Finder")), m_actionBar);
    m_reveal->setObjectName(QStringLiteral("revealInFinder"));
    connect(m_reveal, &QPushButton::clicked, this, [this] {
        if (const auto entry = m_model->chosen())
            RevealInFolder::show(this, entry->path());
    });
    bar->addWidget(m_reveal);
    m_trash = new QPushButton(Symbols::icon(QStringLiteral("trash"), Qt::white),
                              QStringLiteral("Move to Trash"), m_actionBar);
    m_trash->setObjectName(QStringLiteral("moveToTrash"));
    Style::followTheme(m_trash, [this] {
        const QString sheet = Dialogs::destructiveButtonStyleSheet(QApplication::palette());
        if (m_trash->styleSheet() != sheet)
            m_trash->setStyleSheet(sheet);
    });
    connect(m_trash, &QPushButton::clicked, this, &StorageView::confirmTrash);
    bar->addWidget(m_trash);
    m_actionBar->setFixedHeight(44);
    layout->addWidget(m_actionBar);

    // Block map.
    auto *mapHolder = new QWidget(this);
    auto *mapLayout = new QVBoxLayout(mapHolder);
    mapLayout->setContentsMargins(8, 8, 8, 8);
    m_map = new StorageBlockMap(mapHolder);
    connect(m_map, &StorageBlockMap::choose, this, [this](const StorageEntry &entry) {
        m_afterMove = false;
        m_model->chooseInMap(entry);
    });
    connect(m_map, &StorageBlockMap::removeChosen, this, &StorageView::confirmTrash);
    m_map->setAccessibleName(QStringLiteral("Block map"));
    m_map->setAccessibleDescription(
        QStringLiteral("Each block is an item of the folder, sized by the space it takes. The "
                       "arrow keys move between them; Enter opens a folder."));
    mapLayout->addWidget(m_map);
    layout->addWidget(mapHolder, 1);

    connect(m_appState->exclusionsVM(), &ExclusionsViewModel::blockedReasonChanged, this,
            &StorageView::updateTrashButton);
    connect(m_model, &StorageViewModel::columnsChanged, this, &StorageView::rebuildColumns);
    connect(m_model, &StorageViewModel::selectionChanged, this, &StorageView::updateSelection);
    connect(m_model, &StorageViewModel::loadingFolderChanged, this, &StorageView::updateLoading);
    connect(m_model, &StorageViewModel::rootChanged, this, &StorageView::updateHeader);
    connect(m_model, &StorageViewModel::incompleteChanged, this, &StorageView::updateHeader);
    rebuildColumns();
    updateSelection();
    updateLoading();
}

QString StorageView::confirmationText(const StorageEntry &entry)
{
    return DisplayName::line(entry.name()) + QStringLiteral(" (") + formatBytes(entry.bytes) +
           QStringLiteral(") will be moved to the Trash.");
}

QString StorageView::loadingText() const
{
    return m_loading->isHidden() ? QString() : m_loadingLabel->text();
}

bool StorageView::event(QEvent *event)
{
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::Paint && !m_opened) {
        m_opened = true;
        QTimer::singleShot(0, this, [this] {
            // A load already under way (started elsewhere) is left to finish.
            if (m_model->columns().isEmpty() && !m_model->loadingFolder())
                m_model->open(m_model->root());
        });
    }
    return handled;
}

void StorageView::rebuildColumns()
{
    const QList<StorageViewModel::Column> columns = m_model->columns();
    const qsizetype before = m_columnViews.size();
    while (m_columnViews.size() > columns.size()) {
        delete m_columnViews.takeLast();
        delete m_separators.takeLast();
    }
    for (qsizetype i = 0; i < columns.size(); ++i) {
        if (i >= m_columnViews.size()) {
            auto *view = new StorageColumn(m_strip);
            const int index = int(i);
            connect(view, &StorageColumn::choose, this, [this, index](const StorageEntry &entry) {
                m_afterMove = false;
                m_model->choose(entry, index);
            });
            connect(view, &StorageColumn::forward, this, [this, index] { stepInto(index); });
            connect(view, &StorageColumn::back, this, [this, index] { stepBack(index); });
            connect(view, &StorageColumn::removeChosen, this, &StorageView::confirmTrash);
            QWidget *line = verticalLine(m_strip);
            // Columns sit before the loading column and the trailing stretch.
            m_stripLayout->insertWidget(int(2 * i), view);
            m_stripLayout->insertWidget(int(2 * i + 1), line);
            m_columnViews.append(view);
            m_separators.append(line);
        }
        m_columnViews[i]->setEntries(columns.at(i));
    }
    m_map->setEntries(m_model->lastColumn());
    // Columns made now would come last for Tab: they go between the header and the map.
    QWidget *previous = m_export;
    for (StorageColumn *column : std::as_const(m_columnViews)) {
        QWidget::setTabOrder(previous, column->list());
        previous = column->list();
    }
    QWidget::setTabOrder(previous, m_reveal);
    QWidget::setTabOrder(m_reveal, m_trash);
    QWidget::setTabOrder(m_trash, m_map);
    updateSelection();
    updateHeader();
    if (before != columns.size())
        scrollToNewest();
}

void StorageView::updateSelection()
{
    const QList<std::optional<StorageEntry>> selection = m_model->selection();
    for (qsizetype i = 0; i < m_columnViews.size(); ++i)
        m_columnViews[i]->setChosen(i < selection.size() ? selection.at(i) : std::nullopt);
    m_map->setChosen(m_model->chosen());
    updateActionBar();
}

void StorageView::updateLoading()
{
    const std::optional<QString> loading = m_model->loadingFolder();
    const bool appeared = loading && m_loading->isHidden();
    if (loading)
        m_loadingLabel->setText(QStringLiteral("Measuring ") + *loading + QStringLiteral("…"));
    m_loading->setVisible(bool(loading));
    if (appeared)
        scrollToNewest();
}

void StorageView::updateHeader()
{
    m_header->setDetail(m_model->headerDetail());
    m_header->setIncomplete(m_model->isIncomplete());
    m_rootButton->setText(m_model->rootName());
}

void StorageView::updateActionBar()
{
    const std::optional<StorageEntry> chosen = m_model->chosen();
    const bool has = bool(chosen);
    for (QWidget *w : {static_cast<QWidget *>(m_chosenIcon), static_cast<QWidget *>(m_chosenName),
                       static_cast<QWidget *>(m_chosenSize), static_cast<QWidget *>(m_reveal),
                       static_cast<QWidget *>(m_trash)})
        w->setVisible(has);
    m_hint->setVisible(!has);
    m_partialNote->setVisible(has && chosen->isPartial);
    if (!has) {
        m_checked.reset();
        return;
    }
    m_chosenIcon->setPixmap(FileIcons::icon(chosen->path(), chosen->isDirectory).pixmap(18, 18));
    m_chosenName->setText(m_chosenName->fontMetrics().elidedText(DisplayName::line(chosen->name()),
                                                                 Qt::ElideMiddle, 420));
    m_chosenSize->setText(sizeText(*chosen));
    if (m_checked != chosen) {
        // The safety check resolves links in the parent folders: ask it off the main
        // thread and keep the button disabled until it answers.
        m_checked = chosen;
        m_chosenIsSafe = false;
        m_safetyAnswered = false;
        const QByteArray path = chosen->nativePath;
        const StorageEntry asked = *chosen;
        whenFinished(this, Background::start([path] {
                         return SafetyHelper::isNativePathSafeToDelete(path);
                     }),
                     [this, asked](bool safe) {
                         if (m_model->chosen() == asked) {
                             m_chosenIsSafe = safe;
                             m_safetyAnswered = true;
                             updateTrashButton();
                         }
                     });
    }
    updateTrashButton();
}

void StorageView::updateTrashButton()
{
    const QString blocked = m_appState->exclusionsVM()->blockedReason();
    const std::optional<StorageEntry> chosen = m_model->chosen();
    const bool excluded = chosen && chosen->isExcluded;
    const bool enabled =
        m_chosenIsSafe && !m_trashing && !m_afterMove && blocked.isEmpty() && !excluded;
    m_trash->setEnabled(enabled);
    QString tip;
    if (!blocked.isEmpty())
        tip = blocked;
    else if (excluded)
        tip = QStringLiteral("This folder is excluded in Settings.");
    else if (m_afterMove)
        tip = QStringLiteral("Choose an item to move it to the Trash.");
    else if (m_safetyAnswered && !m_chosenIsSafe)
        tip = QStringLiteral("This is a protected location, so it can't be moved to the Trash.");
    m_trash->setToolTip(tip);
}

void StorageView::stepInto(int column)
{
    const QList<StorageViewModel::Column> columns = m_model->columns();
    const QList<std::optional<StorageEntry>> selection = m_model->selection();
    // Only from the column whose chosen folder is open to its right.
    if (column >= selection.size() || !selection.at(column) || !selection.at(column)->isDirectory ||
        column + 1 >= columns.size() || columns.at(column + 1).isEmpty())
        return;
    // A choice already made in that column stays; otherwise its first entry is chosen.
    if (selection.size() <= column + 1 || !selection.at(column + 1)) {
        m_afterMove = false;
        m_model->choose(columns.at(column + 1).first(), column + 1);
    }
    if (column + 1 < m_columnViews.size())
        m_columnViews.at(column + 1)->list()->setFocus(Qt::OtherFocusReason);
}

void StorageView::stepBack(int column)
{
    const QList<std::optional<StorageEntry>> selection = m_model->selection();
    if (column <= 0 || column - 1 >= selection.size() || !selection.at(column - 1))
        return;
    m_afterMove = false;
    m_model->choose(*selection.at(column - 1), column - 1);
    m_columnViews.at(column - 1)->list()->setFocus(Qt::OtherFocusReason);
}

void StorageView::scrollToNewest()
{
    // After the strip has laid out its new width.
    QTimer::singleShot(0, this, [this] {
        m_strip->adjustSize();
        QWidget *target = !m_loading->isHidden()    ? m_loading
                          : m_columnViews.isEmpty() ? nullptr
                                                    : m_columnViews.last();
        if (!target)
            return;
        if (m_scrollAnimation)
            m_scrollAnimation->stop(); // deletes it
        QScrollBar *bar = m_browser->horizontalScrollBar();
        const int viewport = m_browser->viewport()->width();
        const QRect r = target->geometry();
        int value = bar->value();
        if (r.right() + 1 > value + viewport)
            value = r.right() + 1 - viewport;
        if (r.left() < value)
            value = r.left();
        value = qBound(bar->minimum(), value, bar->maximum());
        if (value == bar->value())
            return;
        auto *animation = new QPropertyAnimation(bar, "value", this);
        m_scrollAnimation = animation;
        animation->setDuration(220);
        animation->setEasingCurve(QEasingCurve::OutCubic);
        animation->setStartValue(bar->value());
        animation->setEndValue(value);
        animation->start(QAbstractAnimation::DeleteWhenStopped);
    });
}

void StorageView::confirmTrash()
{
    const std::optional<StorageEntry> chosen = m_model->chosen();
    if (!chosen || !m_trash->isEnabled())
        return;
    m_confirmTrash = chosen;
    const StorageEntry entry = *chosen;
    Dialogs::confirm(this,
                     {QStringLiteral("Move to Trash?"), confirmationText(entry),
                      QStringLiteral("Move to Trash"), QStringLiteral("Cancel")},
                     [this, entry](bool confirmed) {
                         m_confirmTrash.reset();
                         if (!confirmed)
                             return;
                         // One move at a time: the item stays chosen until the columns
                         // are rebuilt, and a second press would only fail.
                         m_trashing = true;
                         // Disabling the focused button would push the focus on to the
                         // next widget in the window (the search field).
                         if (m_trash->hasFocus() && !m_columnViews.isEmpty())
                             m_columnViews.last()->list()->setFocus(Qt::OtherFocusReason);
                         updateTrashButton();
                         whenFinished(this, m_model->trash(entry, m_appState),
                                      [this, entry](const SafetyHelper::Outcome &outcome) {
                                          trashEnded(entry, outcome);
                                      });
                     });
}

void StorageView::trashEnded(const StorageEntry &entry, const SafetyHelper::Outcome &outcome)
{
    m_trashing = false;
    // What stays chosen now is the folder the user was browsing, not something they
    // picked to remove: nothing is offered until they choose again.
    m_afterMove = outcome.ok;
    updateActionBar();
    // The button that opened the question is disabled now; the columns keep the focus
    // inside the screen rather than letting it fall to the search field.
    const QWidget *focused = QApplication::focusWidget();
    if ((!focused || !focused->isEnabled() || !focused->isVisible() || focused == m_trash) &&
        !m_columnViews.isEmpty() && isVisible())
        m_columnViews.last()->list()->setFocus(Qt::OtherFocusReason);
    if (!outcome.ok) {
        Dialogs::alert(this,
                       QStringLiteral("Couldn't move \u201C") + DisplayName::line(entry.name()) +
                           QStringLiteral("\u201D to the Trash."),
                       outcome.reason.isEmpty() ? QStringLiteral("The item stays where it is.")
                                                : outcome.reason);
    }
    emit trashFinished(outcome.ok);
}

void StorageView::fillVolumes()
{
    for (QAction *action : std::as_const(m_volumeActions)) {
        m_rootMenu->removeAction(action);
        action->deleteLater();
    }
    m_volumeActions.clear();
    m_volumesSeparator->setVisible(!m_model->volumes().isEmpty());
    QAction *before =
        m_rootMenu->actions().value(m_rootMenu->actions().indexOf(m_volumesSeparator) + 1);
    for (const Volume &volume : m_model->volumes()) {
        const QString point =
            decodeNativePath(volume.mountPoint.constData(), volume.mountPoint.size());
        QString text = volume.label;
        if (text != point)
            text += QStringLiteral(" (") + point + QLatin1Char(')');
        text += QStringLiteral(" — ") + formatBytes(volume.usedBytes) + QStringLiteral(" of ") +
                formatBytes(volume.totalBytes) + QStringLiteral(" used");
        auto *action =
            new QAction(Symbols::icon(QStringLiteral("internaldrive")), text, m_rootMenu);
        connect(action, &QAction::triggered, this, [this, point] { m_model->open(point); });
        m_rootMenu->insertAction(before, action);
        m_volumeActions.append(action);
    }
}

QList<QAction *> StorageView::volumeActions() const
{
    return m_volumeActions;
}
