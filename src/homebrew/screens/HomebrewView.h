#pragma once

#include "exec/screens/TerminalSheetView.h"
#include "homebrew/BrewListing.h"
#include "homebrew/BrewPackage.h"

#include <QPointer>
#include <QUuid>
#include <QWidget>

#include <optional>

class AppState;
class HomebrewViewModel;
class QButtonGroup;
class QComboBox;
class QListWidget;
class QPushButton;
class QStackedWidget;
class QToolButton;
class QVBoxLayout;
class TabHeader;

// The Homebrew tab: the section switcher, the installed list with its filters, sort and
// details, the maintenance actions, and the terminal sheet that runs every change.
class HomebrewView : public QWidget {
    Q_OBJECT
public:
    HomebrewView(AppState *appState, HomebrewViewModel *model, QWidget *parent = nullptr);

    BrewListing::BrewSection section() const { return m_section; }
    void setSection(BrewListing::BrewSection section);
    BrewListing::FilterType filter() const { return m_filter; }
    void setFilter(BrewListing::FilterType filter);
    BrewListing::PackageSort sort() const { return m_sort; }
    void setSort(BrewListing::PackageSort sort);
    // The packages as listed now: filtered, searched and sorted.
    QList<BrewPackage> shownPackages() const { return m_shown; }
    std::optional<BrewPackage> selectedPackage() const;
    void selectPackage(const QString &name, bool isCask);
    // The section screen on show (nothing for the installed list).
    QWidget *sectionScreen() const { return m_sectionScreen; }
    TerminalSheetView *sheet() const { return m_sheet; }
    QListWidget *packageList() const { return m_list; }
    QWidget *detailPanel() const { return m_detail; }

    // The detail buttons' actions (the first two ask first).
    void requestUpdate(const BrewPackage &package);
    void requestUninstall(const BrewPackage &package);

protected:
    void showEvent(QShowEvent *event) override;
    // The homepage link takes its colour from the theme in use.
    void changeEvent(QEvent *event) override;

private:
    void refreshList();
    void refreshDetail();
    void refreshInstalledState();
    void presentSheet();
    void closeSheet();

    AppState *m_appState;
    HomebrewViewModel *m_model;
    BrewListing::BrewSection m_section;
    BrewListing::FilterType m_filter = BrewListing::FilterType::all;
    BrewListing::PackageSort m_sort;
    QList<BrewPackage> m_shown;
    std::optional<QUuid> m_selectedID;
    bool m_scannedOnShow = false;

    TabHeader *m_header;
    QButtonGroup *m_sections;
    QPushButton *m_upgradeAll;
    QToolButton *m_maintenance;
    QStackedWidget *m_pages;
    QWidget *m_installedPage;
    QComboBox *m_filterPicker;
    QComboBox *m_sortPicker;
    QListWidget *m_list;
    QWidget *m_detail;
    QVBoxLayout *m_detailLayout = nullptr;
    QStackedWidget *m_sectionHost;
    QWidget *m_sectionScreen = nullptr;
    QPointer<TerminalSheetView> m_sheet;
};
