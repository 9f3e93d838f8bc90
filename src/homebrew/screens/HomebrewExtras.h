#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <optional>
#include <utility>

class HomebrewViewModel;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QVBoxLayout;

// The Homebrew tab's Discover, Taps and Services sections. Each is made when its section
// is chosen, so its state starts fresh. They run read-only brew commands themselves;
// every change goes through the model's stream and so through the terminal sheet.

class BrewDiscoverView : public QWidget {
    Q_OBJECT
public:
    explicit BrewDiscoverView(HomebrewViewModel *model, QWidget *parent = nullptr);

    QString query() const;
    void setQuery(const QString &query);
    QStringList formulae() const { return m_formulae; }
    QStringList casks() const { return m_casks; }
    bool isSearching() const { return m_isSearching; }
    std::optional<QString> chosen() const { return m_chosen; }
    // Every change starts loadInfo().
    void setChosen(const std::optional<QString> &chosen);
    QString info() const { return m_info; }
    // Whether the model lists this name as installed, of this kind.
    bool isInstalled(const QString &name, bool isCask) const;

    // Asynchronous: both searches, then the two lists.
    void search();
    // Asynchronous: `brew info` of the chosen result; a late answer for an earlier
    // choice is dropped.
    void loadInfo();

    // Names from search output: no empty lines, no "==>" headers, nothing with a space.
    static QStringList names(const QString &output);
    // "formula:x" / "cask:x" to the name and whether it is a cask; the name keeps
    // everything after the first ":".
    static std::optional<std::pair<QString, bool>> parse(const QString &chosen);

signals:
    void searchFinished();
    void infoChanged();

private:
    void showResults();
    void showDetail();

    HomebrewViewModel *m_model;
    QStringList m_formulae;
    QStringList m_casks;
    bool m_isSearching = false;
    std::optional<QString> m_chosen;
    QString m_info;
    quint64 m_searchGeneration = 0;

    QLineEdit *m_field;
    QPushButton *m_searchButton;
    QStackedWidget *m_results;
    QLabel *m_formulaeHeader;
    QLabel *m_casksHeader;
    QListWidget *m_formulaeList;
    QListWidget *m_casksList;
    QStackedWidget *m_detail;
    QLabel *m_detailName;
    QPlainTextEdit *m_infoView;
    QPushButton *m_install;
    QLabel *m_alreadyInstalled;
};

class BrewTapsView : public QWidget {
    Q_OBJECT
public:
    explicit BrewTapsView(HomebrewViewModel *model, QWidget *parent = nullptr);

    QStringList taps() const { return m_taps; }
    QString newTap() const;
    void setNewTap(const QString &text);
    bool canAdd() const;
    QPushButton *addButton() const { return m_add; }

    // Asynchronous: "brew tap", one tap per non-empty line.
    void load();
    void add();
    // Asks, then streams the untap.
    void remove(const QString &tap);

signals:
    void loaded();

private:
    void showTaps();

    HomebrewViewModel *m_model;
    QStringList m_taps;
    quint64 m_loadGeneration = 0;
    QLineEdit *m_field;
    QPushButton *m_add;
    QStackedWidget *m_pages;
    QListWidget *m_list;
};

class BrewServicesView : public QWidget {
    Q_OBJECT
public:
    struct Service {
        QString name;
        QString status;
        QString user;
    };

    explicit BrewServicesView(HomebrewViewModel *model, QWidget *parent = nullptr);

    QList<Service> services() const { return m_services; }
    bool isLoaded() const { return m_loaded; }
    // Asynchronous: "brew services list --json".
    void load();
    // A JSON array of objects; anything else gives nothing.
    static QList<Service> parse(const QByteArray &json);
    // The buttons a service offers: "Restart" and "Stop" when started, else "Start".
    static QStringList actions(const Service &service);
    void perform(const Service &service, const QString &action);

signals:
    void loaded();

private:
    void showServices();

    HomebrewViewModel *m_model;
    QList<Service> m_services;
    bool m_loaded = false;
    quint64 m_loadGeneration = 0;
    QStackedWidget *m_pages;
    QListWidget *m_list;
};
