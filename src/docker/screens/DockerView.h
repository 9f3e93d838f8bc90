#pragma once

#include "docker/DockerViewModel.h"

#include <QList>
#include <QWidget>

class AppState;
class CategoryRow;
class CloseGuard;
class EmptyStateView;
class QLabel;
class QPushButton;
class QStackedWidget;
class QTreeWidget;
class TabHeader;

// The Docker tab: images, containers and volumes with their counts on the left, the
// chosen category's resources on the right, and Docker's own prune for that category.
// When Docker does not answer, only the not-detected state shows.
class DockerView : public QWidget {
    Q_OBJECT
public:
    DockerView(AppState *appState, DockerViewModel *model, QWidget *parent = nullptr);

    QString selectedCategory() const { return m_selectedCategory; }
    void setSelectedCategory(const QString &category);
    // The model's list for a category; nothing for an unknown one.
    QList<DockerResource> itemsForCategory(const QString &category) const;
    // The prune question, and under it what goes and, for a daemon on another machine,
    // where it runs.
    static QString confirmationTitle(const QString &category);
    static QString confirmationDetail(const QString &category, const QString &host);
    // Asks, then prunes the selected category.
    void confirmPrune();

    TabHeader *header() const { return m_header; }
    EmptyStateView *notDetected() const { return m_notDetected; }
    QStackedWidget *pages() const { return m_pages; }
    QList<CategoryRow *> categoryRows() const { return m_rows; }
    QTreeWidget *list() const { return m_list; }
    QLabel *emptyLabel() const { return m_empty; }
    QPushButton *pruneButton() const { return m_prune; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void refresh();
    void tell(const QString &error);
    void tellReclaimed(const QString &reclaimed);

    AppState *m_appState;
    DockerViewModel *m_model;
    QString m_selectedCategory = QStringLiteral("Images");
    bool m_confirmingPrune = false;
    QString m_untoldError; // arrived while the tab was hidden
    TabHeader *m_header;
    QStackedWidget *m_pages;
    EmptyStateView *m_notDetected;
    QWidget *m_content;
    QList<CategoryRow *> m_rows;
    QStackedWidget *m_listPages;
    QTreeWidget *m_list;
    QLabel *m_empty;
    QLabel *m_listTitle;
    QPushButton *m_prune;
    CloseGuard *m_closeGuard;
};
