#include "exec/screens/ExclusionsSettingsView.h"

#include "app/widgets/Dialogs.h"
#include "app/widgets/Style.h"
#include "exec/ExclusionsViewModel.h"
#include "platform/DisplayName.h"
#include "platform/FileProperties.h"
#include "platform/Locations.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kPathRole = Qt::UserRole;

QListWidget *pathList(const QString &name, QWidget *parent)
{
    auto *list = new QListWidget(parent);
    list->setObjectName(name);
    list->setAccessibleName(name == QLatin1String("excludedFolders")
                                ? QStringLiteral("Excluded folders")
                                : QStringLiteral("Keep list"));
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setFixedHeight(84);
    return list;
}

void fill(QListWidget *list, const QList<QByteArray> &paths)
{
    list->clear();
    for (const QByteArray &path : paths) {
        auto *item = new QListWidgetItem(DisplayName::line(Locations::current().abbreviateHome(
                                             decodeNativePath(path.constData(), path.size()))),
                                         list);
        item->setData(kPathRole, path);
    }
}

QList<QByteArray> selectedPaths(const QListWidget *list)
{
    QList<QByteArray> paths;
    for (const QListWidgetItem *item : list->selectedItems())
        paths.append(item->data(kPathRole).toByteArray());
    return paths;
}

} // namespace

ExclusionsSettingsView::ExclusionsSettingsView(ExclusionsViewModel *model, QWidget *parent)
    : SettingsForm(parent), m_model(model)
{
    setObjectName(QStringLiteral("exclusionsSettings"));
    m_problem = new QLabel(widget());
    m_problem->setObjectName(QStringLiteral("exclusionsProblem"));
    m_problem->setWordWrap(true);
    Style::makeWarning(m_problem);
    m_problem->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    QVBoxLayout *excluded = addSection(
        QStringLiteral("Excluded Folders"),
        QStringLiteral("No scan walks into them and nothing inside is offered for removal."));
    excluded->addWidget(m_problem);
    m_excluded = pathList(QStringLiteral("excludedFolders"), widget());
    excluded->addWidget(m_excluded);
    auto *excludedButtons = new QHBoxLayout;
    excludedButtons->addStretch(1);
    auto *add = new QPushButton(QStringLiteral("Add Folder…"), widget());
    add->setObjectName(QStringLiteral("addExcludedFolder"));
    m_removeExcluded = new QPushButton(QStringLiteral("Remove"), widget());
    m_removeExcluded->setObjectName(QStringLiteral("removeExcludedFolder"));
    m_removeExcluded->setAccessibleName(QStringLiteral("Remove excluded folder"));
    excludedButtons->addWidget(add);
    excludedButtons->addWidget(m_removeExcluded);
    excluded->addLayout(excludedButtons);

    QVBoxLayout *kept = addSection(
        QStringLiteral("Keep List"),
        QStringLiteral("Kept with \"Keep\" in a cleaning or finder list: never offered again."));
    m_kept = pathList(QStringLiteral("keptPaths"), widget());
    kept->addWidget(m_kept);
    auto *keptButtons = new QHBoxLayout;
    keptButtons->addStretch(1);
    m_removeKept = new QPushButton(QStringLiteral("Remove"), widget());
    m_removeKept->setObjectName(QStringLiteral("removeKeptPath"));
    m_removeKept->setAccessibleName(QStringLiteral("Remove from the keep list"));
    keptButtons->addWidget(m_removeKept);
    kept->addLayout(keptButtons);
    addStretch();

    connect(add, &QPushButton::clicked, this, [this] {
        Dialogs::chooseFolder(this, Locations::current().home, QStringLiteral("Exclude"),
                              [this](std::optional<QString> folder) {
                                  if (folder)
                                      m_model->addExcluded(nativePath(*folder));
                              });
    });
    connect(m_removeExcluded, &QPushButton::clicked, this, [this] {
        for (const QByteArray &path : selectedPaths(m_excluded))
            m_model->removeExcluded(path);
    });
    connect(m_removeKept, &QPushButton::clicked, this, [this] {
        for (const QByteArray &path : selectedPaths(m_kept))
            m_model->removeKept(path);
    });
    for (QListWidget *list : {m_excluded, m_kept})
        connect(list, &QListWidget::itemSelectionChanged, this, &ExclusionsSettingsView::refresh);
    connect(m_model, &ExclusionsViewModel::changed, this, [this] {
        fill(m_excluded, m_model->excludedFolders());
        fill(m_kept, m_model->keptPaths());
        refresh();
    });
    // A change that could not be saved is said at once.
    connect(m_model, &ExclusionsViewModel::writeErrorChanged, this, [this] {
        if (!m_model->writeError().isEmpty())
            Dialogs::alert(this, QStringLiteral("The list could not be saved"),
                           m_model->writeError());
    });
    fill(m_excluded, m_model->excludedFolders());
    fill(m_kept, m_model->keptPaths());
    refresh();
}

void ExclusionsSettingsView::refresh()
{
    const QString problem = m_model->blockedReason();
    m_problem->setText(problem.isEmpty() ? QString()
                                         : problem + QStringLiteral(" Until it can be read, "
                                                                    "nothing is offered for "
                                                                    "removal anywhere."));
    m_problem->setVisible(!problem.isEmpty());
    m_removeExcluded->setEnabled(!m_excluded->selectedItems().isEmpty());
    m_removeKept->setEnabled(!m_kept->selectedItems().isEmpty());
}
