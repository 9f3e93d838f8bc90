#include "homebrew/screens/HomebrewExtras.h"

#include "app/widgets/ActivityIndicator.h"
#include "app/widgets/Dialogs.h"
#include "app/widgets/EmptyStateView.h"
#include "app/widgets/Style.h"
#include "exec/Async.h"
#include "exec/Background.h"
#include "homebrew/Brew.h"
#include "homebrew/HomebrewViewModel.h"

#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <QtConcurrent>

namespace {

QString trimmedOfBlanks(const QString &text)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (from < to && blank(text.at(from)))
        ++from;
    while (to > from && blank(text.at(to - 1)))
        --to;
    return text.mid(from, to - from);
}

QLabel *sectionHeader(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    Style::apply(label, Style::Text::Caption, true);
    QFont f = label->font();
    f.setWeight(QFont::DemiBold);
    label->setFont(f);
    return label;
}

// A small rounded tag such as "Installed" or "Official", tinted from the palette.
class Tag : public QLabel {
public:
    Tag(const QString &text, QPalette::ColorRole role, QWidget *parent)
        : QLabel(text, parent), m_role(role)
    {
        setFont(Style::font(Style::Text::Caption2));
        setContentsMargins(6, 1, 6, 1);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QColor fill = palette().color(m_role);
        fill.setAlphaF(0.18);
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(contentsRect(), Qt::AlignCenter, text());
    }

private:
    QPalette::ColorRole m_role;
};

// A status dot drawn at paint time.
class Dot : public QWidget {
public:
    Dot(QColor color, QWidget *parent) : QWidget(parent), m_color(std::move(color))
    {
        setFixedSize(10, 10);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(m_color.isValid() ? m_color : palette().color(QPalette::PlaceholderText));
        p.drawEllipse(rect().adjusted(1, 1, -1, -1));
    }

private:
    QColor m_color;
};

QListWidget *plainList(QWidget *parent)
{
    auto *list = new QListWidget(parent);
    list->setFrameShape(QFrame::NoFrame);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setUniformItemSizes(true);
    return list;
}

} // namespace

// Discover ------------------------------------------------------------------------------

BrewDiscoverView::BrewDiscoverView(HomebrewViewModel *model, QWidget *parent)
    : QWidget(parent), m_model(model)
{
    setObjectName(QStringLiteral("brewDiscover"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setChildrenCollapsible(false);
    layout->addWidget(splitter);

    auto *left = new QWidget(splitter);
    auto *leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(12, 12, 6, 12);
    auto *searchRow = new QHBoxLayout;
    m_field = new QLineEdit(left);
    m_field->setObjectName(QStringLiteral("discoverQuery"));
    m_field->setPlaceholderText(QStringLiteral("Search formulae and casks"));
    m_field->setClearButtonEnabled(true);
    searchRow->addWidget(m_field, 1);
    m_searchButton = new QPushButton(QStringLiteral("Search"), left);
    m_searchButton->setObjectName(QStringLiteral("discoverSearch"));
    searchRow->addWidget(m_searchButton);
    leftLayout->addLayout(searchRow);
    connect(m_field, &QLineEdit::returnPressed, this, &BrewDiscoverView::search);
    connect(m_searchButton, &QPushButton::clicked, this, &BrewDiscoverView::search);

    m_results = new QStackedWidget(left);
    auto *none = new EmptyStateView(QStringLiteral("magnifyingglass"), QString(),
                                    QStringLiteral("Search Homebrew to find something to install."),
                                    QColor(), m_results);
    m_results->addWidget(none);
    auto *searching = new QWidget(m_results);
    auto *searchingLayout = new QVBoxLayout(searching);
    searchingLayout->addStretch(1);
    searchingLayout->addWidget(new ActivityIndicator(20, searching), 0, Qt::AlignHCenter);
    searchingLayout->addStretch(1);
    m_results->addWidget(searching);
    auto *lists = new QWidget(m_results);
    auto *listsLayout = new QVBoxLayout(lists);
    listsLayout->setContentsMargins(0, 0, 0, 0);
    m_formulaeHeader = sectionHeader(QString(), lists);
    listsLayout->addWidget(m_formulaeHeader);
    m_formulaeList = plainList(lists);
    m_formulaeList->setObjectName(QStringLiteral("formulaeResults"));
    listsLayout->addWidget(m_formulaeList, 1);
    m_casksHeader = sectionHeader(QString(), lists);
    listsLayout->addWidget(m_casksHeader);
    m_casksList = plainList(lists);
    m_casksList->setObjectName(QStringLiteral("caskResults"));
    listsLayout->addWidget(m_casksList, 1);
    m_results->addWidget(lists);
    leftLayout->addWidget(m_results, 1);
    for (QListWidget *list : {m_formulaeList, m_casksList}) {
        connect(list, &QListWidget::currentItemChanged, this, [this, list](QListWidgetItem *item) {
            if (!item)
                return;
            QListWidget *other = list == m_formulaeList ? m_casksList : m_formulaeList;
            other->setCurrentItem(nullptr);
            other->clearSelection();
            setChosen(item->data(Qt::UserRole).toString());
        });
    }

    m_detail = new QStackedWidget(splitter);
    m_detail->addWidget(new EmptyStateView(QStringLiteral("info.circle"), QString(),
                                           QStringLiteral("Choose a result to see what it is."),
                                           QColor(), m_detail));
    auto *panel = new QWidget(m_detail);
    auto *panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(6, 12, 12, 12);
    auto *titleRow = new QHBoxLayout;
    m_detailName = new QLabel(panel);
    Style::apply(m_detailName, Style::Text::Title3);
    m_detailName->setTextFormat(Qt::PlainText);
    titleRow->addWidget(m_detailName, 1);
    m_install = new QPushButton(QStringLiteral("Install"), panel);
    m_install->setObjectName(QStringLiteral("discoverInstall"));
    titleRow->addWidget(m_install);
    m_alreadyInstalled = new QLabel(QStringLiteral("Already installed"), panel);
    Style::apply(m_alreadyInstalled, Style::Text::Body, true);
    titleRow->addWidget(m_alreadyInstalled);
    panelLayout->addLayout(titleRow);
    m_infoView = new QPlainTextEdit(panel);
    m_infoView->setObjectName(QStringLiteral("discoverInfo"));
    m_infoView->setReadOnly(true);
    QFont mono(QStringLiteral("monospace"));
    mono.setStyleHint(QFont::Monospace);
    mono.setPixelSize(11);
    m_infoView->setFont(mono);
    panelLayout->addWidget(m_infoView, 1);
    m_detail->addWidget(panel);
    connect(m_install, &QPushButton::clicked, this, [this] {
        const auto parsed = m_chosen ? parse(*m_chosen) : std::nullopt;
        if (!parsed)
            return;
        const auto &[name, isCask] = *parsed;
        m_model->stream(QStringLiteral("Installing %1…").arg(name),
                        isCask
                            ? QStringList{QStringLiteral("install"), QStringLiteral("--cask"), name}
                            : QStringList{QStringLiteral("install"), name});
    });
    // The marks follow the installed list.
    connect(m_model, &HomebrewViewModel::packagesChanged, this, [this] {
        showResults();
        showDetail();
    });

    splitter->addWidget(left);
    splitter->addWidget(m_detail);
    splitter->setSizes({320, 480});
    showResults();
    showDetail();
}

QString BrewDiscoverView::query() const
{
    return m_field->text();
}

void BrewDiscoverView::setQuery(const QString &query)
{
    m_field->setText(query);
}

bool BrewDiscoverView::isInstalled(const QString &name, bool isCask) const
{
    // The cask "docker" is not installed because the formula "docker" is.
    for (const BrewPackage &package : m_model->packages()) {
        if (package.name == name && package.isCask() == isCask)
            return true;
    }
    return false;
}

void BrewDiscoverView::setChosen(const std::optional<QString> &chosen)
{
    if (m_chosen == chosen)
        return;
    m_chosen = chosen;
    loadInfo();
}

void BrewDiscoverView::search()
{
    const QString term = trimmedOfBlanks(m_field->text());
    // A leading dash would reach brew as an option, not as something to look for.
    if (term.isEmpty() || term.startsWith(QLatin1Char('-')))
        return;
    m_isSearching = true;
    const quint64 generation = ++m_searchGeneration;
    showResults();
    auto work = Background::start([term] {
        QFuture<RunResult> formulae = Background::start([term] {
            return Brew::read({QStringLiteral("search"), QStringLiteral("--formula"), term});
        });
        const RunResult casks =
            Brew::read({QStringLiteral("search"), QStringLiteral("--cask"), term});
        return std::make_pair(formulae.result().stdOut, casks.stdOut);
    });
    whenFinished(this, work, [this, generation](const std::pair<QString, QString> &found) {
        if (generation != m_searchGeneration)
            return;
        m_formulae = names(found.first);
        m_casks = names(found.second);
        m_chosen.reset();
        m_info.clear();
        m_isSearching = false;
        showResults();
        showDetail();
        emit searchFinished();
    });
}

void BrewDiscoverView::loadInfo()
{
    const auto parsed = m_chosen ? parse(*m_chosen) : std::nullopt;
    showDetail();
    if (!parsed)
        return;
    m_info.clear();
    showDetail();
    const auto [name, isCask] = *parsed;
    const QString asked = *m_chosen;
    auto work = Background::start([name = name, isCask = isCask] {
        return Brew::read(isCask
                              ? QStringList{QStringLiteral("info"), QStringLiteral("--cask"), name}
                              : QStringList{QStringLiteral("info"), name});
    });
    whenFinished(this, work, [this, asked](const RunResult &result) {
        if (m_chosen != asked)
            return;
        m_info = result.stdOut.isEmpty() ? result.stdErr : result.stdOut;
        showDetail();
        emit infoChanged();
    });
}

QStringList BrewDiscoverView::names(const QString &output)
{
    QStringList found;
    for (const QString &raw : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString line = trimmedOfBlanks(raw);
        if (line.isEmpty() || line.startsWith(QLatin1String("==>")) ||
            line.contains(QLatin1Char(' ')))
            continue;
        found.append(line);
    }
    return found;
}

std::optional<std::pair<QString, bool>> BrewDiscoverView::parse(const QString &chosen)
{
    const qsizetype colon = chosen.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return std::nullopt;
    return std::make_pair(chosen.mid(colon + 1), chosen.left(colon) == QLatin1String("cask"));
}

void BrewDiscoverView::showResults()
{
    m_searchButton->setEnabled(!m_isSearching);
    if (m_isSearching) {
        m_results->setCurrentIndex(1);
        return;
    }
    if (m_formulae.isEmpty() && m_casks.isEmpty()) {
        m_results->setCurrentIndex(0);
        return;
    }
    m_results->setCurrentIndex(2);
    m_formulaeHeader->setText(QStringLiteral("Formulae (%1)").arg(m_formulae.size()));
    m_casksHeader->setText(QStringLiteral("Casks (%1)").arg(m_casks.size()));
    const auto fill = [this](QListWidget *list, const QStringList &names, bool isCask) {
        const QSignalBlocker block(list);
        list->clear();
        for (const QString &name : names) {
            const bool installed = isInstalled(name, isCask);
            auto *item = new QListWidgetItem(
                installed ? name + QStringLiteral("  —  Installed") : name, list);
            item->setData(Qt::UserRole,
                          (isCask ? QStringLiteral("cask:") : QStringLiteral("formula:")) + name);
            item->setData(Qt::UserRole + 1, installed);
            if (m_chosen == item->data(Qt::UserRole).toString())
                list->setCurrentItem(item);
        }
    };
    fill(m_formulaeList, m_formulae, false);
    fill(m_casksList, m_casks, true);
}

void BrewDiscoverView::showDetail()
{
    const auto parsed = m_chosen ? parse(*m_chosen) : std::nullopt;
    if (!parsed) {
        m_detail->setCurrentIndex(0);
        return;
    }
    m_detail->setCurrentIndex(1);
    const auto &[name, isCask] = *parsed;
    m_detailName->setText(name);
    const bool installed = isInstalled(name, isCask);
    m_install->setVisible(!installed);
    m_alreadyInstalled->setVisible(installed);
    m_infoView->setPlainText(m_info.isEmpty() ? QStringLiteral("Loading…") : m_info);
}

// Taps ----------------------------------------------------------------------------------

BrewTapsView::BrewTapsView(HomebrewViewModel *model, QWidget *parent)
    : QWidget(parent), m_model(model)
{
    setObjectName(QStringLiteral("brewTaps"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    auto *addRow = new QHBoxLayout;
    m_field = new QLineEdit(this);
    m_field->setObjectName(QStringLiteral("newTap"));
    m_field->setPlaceholderText(QStringLiteral("user/repo"));
    addRow->addWidget(m_field, 1);
    m_add = new QPushButton(QStringLiteral("Add Tap"), this);
    m_add->setObjectName(QStringLiteral("addTap"));
    addRow->addWidget(m_add);
    layout->addLayout(addRow);
    connect(m_field, &QLineEdit::textChanged, this, [this] { m_add->setEnabled(canAdd()); });
    connect(m_field, &QLineEdit::returnPressed, this, &BrewTapsView::add);
    connect(m_add, &QPushButton::clicked, this, &BrewTapsView::add);

    m_pages = new QStackedWidget(this);
    auto *loading = new QWidget(m_pages);
    auto *loadingLayout = new QVBoxLayout(loading);
    loadingLayout->addStretch(1);
    loadingLayout->addWidget(new ActivityIndicator(20, loading), 0, Qt::AlignHCenter);
    loadingLayout->addStretch(1);
    m_pages->addWidget(loading);
    m_pages->addWidget(new EmptyStateView(QStringLiteral("shippingbox.fill"),
                                          QStringLiteral("No taps added"), QString(), QColor(),
                                          m_pages));
    m_list = plainList(this);
    m_list->setObjectName(QStringLiteral("tapList"));
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_pages->addWidget(m_list);
    layout->addWidget(m_pages, 1);
    m_add->setEnabled(false);

    // The list is read again once a command has finished, not while it runs.
    connect(m_model, &HomebrewViewModel::activeStreamChanged, this, [this] {
        if (!m_model->activeStreamCommand())
            load();
    });
    load();
}

QString BrewTapsView::newTap() const
{
    return m_field->text();
}

void BrewTapsView::setNewTap(const QString &text)
{
    m_field->setText(text);
}

bool BrewTapsView::canAdd() const
{
    const QString tap = m_field->text().trimmed();
    return tap.contains(QLatin1Char('/')) && !tap.startsWith(QLatin1Char('-'));
}

void BrewTapsView::add()
{
    if (!canAdd())
        return;
    const QString tap = m_field->text().trimmed();
    m_model->stream(QStringLiteral("Adding %1…").arg(tap), {QStringLiteral("tap"), tap});
    m_field->clear();
}

void BrewTapsView::remove(const QString &tap)
{
    Dialogs::confirm(this,
                     {QStringLiteral("Remove %1?").arg(tap),
                      QStringLiteral("Homebrew refuses if a package you have installed comes "
                                     "from this tap."),
                      QStringLiteral("Remove"), QStringLiteral("Cancel")},
                     [this, tap](bool confirmed) {
                         if (confirmed)
                             m_model->stream(QStringLiteral("Removing %1…").arg(tap),
                                             {QStringLiteral("untap"), tap});
                     });
}

void BrewTapsView::load()
{
    const quint64 generation = ++m_loadGeneration;
    auto work = Background::start([] { return Brew::read({QStringLiteral("tap")}).stdOut; });
    whenFinished(this, work, [this, generation](const QString &output) {
        if (generation != m_loadGeneration)
            return;
        m_taps = output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        showTaps();
        emit loaded();
    });
}

void BrewTapsView::showTaps()
{
    m_list->clear();
    for (const QString &tap : m_taps) {
        auto *row = new QWidget(m_list);
        auto *rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(8, 4, 8, 4);
        auto *name = new QLabel(tap, row);
        name->setTextFormat(Qt::PlainText);
        rowLayout->addWidget(name);
        if (tap.startsWith(QLatin1String("homebrew/")))
            rowLayout->addWidget(new Tag(QStringLiteral("Official"), QPalette::Highlight, row));
        rowLayout->addStretch(1);
        auto *remove = new QPushButton(QStringLiteral("Remove"), row);
        remove->setObjectName(QStringLiteral("removeTap"));
        connect(remove, &QPushButton::clicked, this, [this, tap] { this->remove(tap); });
        rowLayout->addWidget(remove);
        auto *item = new QListWidgetItem(m_list);
        item->setSizeHint(row->sizeHint());
        m_list->setItemWidget(item, row);
    }
    m_pages->setCurrentIndex(m_taps.isEmpty() ? 1 : 2);
}

// Services ------------------------------------------------------------------------------

BrewServicesView::BrewServicesView(HomebrewViewModel *model, QWidget *parent)
    : QWidget(parent), m_model(model)
{
    setObjectName(QStringLiteral("brewServices"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    m_pages = new QStackedWidget(this);
    auto *loading = new QWidget(m_pages);
    auto *loadingLayout = new QVBoxLayout(loading);
    loadingLayout->addStretch(1);
    loadingLayout->addWidget(new ActivityIndicator(20, loading), 0, Qt::AlignHCenter);
    loadingLayout->addStretch(1);
    m_pages->addWidget(loading);
    m_pages->addWidget(new EmptyStateView(
        QStringLiteral("gearshape"), QStringLiteral("No installed formula offers a service"),
        QStringLiteral("Services run in the background from installed formulae (databases, "
                       "servers)."),
        QColor(), m_pages));
    m_list = plainList(this);
    m_list->setObjectName(QStringLiteral("serviceList"));
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_pages->addWidget(m_list);
    layout->addWidget(m_pages, 1);

    connect(m_model, &HomebrewViewModel::activeStreamChanged, this, [this] {
        if (!m_model->activeStreamCommand())
            load();
    });
    load();
}

void BrewServicesView::load()
{
    const quint64 generation = ++m_loadGeneration;
    auto work = Background::start([] {
        return parse(Brew::read({QStringLiteral("services"), QStringLiteral("list"),
                                 QStringLiteral("--json")})
                         .stdOutBytes);
    });
    whenFinished(this, work, [this, generation](const QList<Service> &services) {
        if (generation != m_loadGeneration)
            return;
        m_services = services;
        m_loaded = true;
        showServices();
        emit loaded();
    });
}

QList<BrewServicesView::Service> BrewServicesView::parse(const QByteArray &json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json);
    QList<Service> services;
    if (!document.isArray())
        return services;
    for (const QJsonValue &value : document.array()) {
        if (!value.isObject())
            continue;
        const QJsonObject object = value.toObject();
        const auto text = [&object](const char *key, const QString &fallback) {
            const QJsonValue v = object.value(QLatin1String(key));
            return v.isString() ? v.toString() : fallback;
        };
        services.append({text("name", QStringLiteral("?")), text("status", QStringLiteral("none")),
                         text("user", QString())});
    }
    return services;
}

QStringList BrewServicesView::actions(const Service &service)
{
    if (service.status == QLatin1String("started"))
        return {QStringLiteral("Restart"), QStringLiteral("Stop")};
    return {QStringLiteral("Start")};
}

void BrewServicesView::perform(const Service &service, const QString &action)
{
    static const QHash<QString, QPair<QString, QString>> verbs = {
        {QStringLiteral("Restart"), {QStringLiteral("Restarting %1…"), QStringLiteral("restart")}},
        {QStringLiteral("Stop"), {QStringLiteral("Stopping %1…"), QStringLiteral("stop")}},
        {QStringLiteral("Start"), {QStringLiteral("Starting %1…"), QStringLiteral("start")}},
    };
    const auto verb = verbs.value(action);
    if (verb.first.isEmpty())
        return;
    m_model->stream(verb.first.arg(service.name),
                    {QStringLiteral("services"), verb.second, service.name});
}

void BrewServicesView::showServices()
{
    m_list->clear();
    for (const Service &service : m_services) {
        auto *row = new QWidget(m_list);
        auto *rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(8, 4, 8, 4);
        QColor dot; // grey from the palette
        if (service.status == QLatin1String("started"))
            dot = Style::green();
        else if (service.status == QLatin1String("error"))
            dot = Style::red();
        rowLayout->addWidget(new Dot(dot, row));
        auto *texts = new QVBoxLayout;
        texts->setSpacing(0);
        auto *name = new QLabel(service.name, row);
        name->setTextFormat(Qt::PlainText);
        texts->addWidget(name);
        if (!service.user.isEmpty()) {
            auto *user = new QLabel(service.user, row);
            user->setTextFormat(Qt::PlainText);
            Style::apply(user, Style::Text::Caption, true);
            texts->addWidget(user);
        }
        rowLayout->addLayout(texts);
        auto *status = new QLabel(service.status, row);
        status->setTextFormat(Qt::PlainText);
        Style::apply(status, Style::Text::Caption, true);
        rowLayout->addWidget(status);
        rowLayout->addStretch(1);
        for (const QString &action : actions(service)) {
            auto *button = new QPushButton(action, row);
            button->setObjectName(QStringLiteral("service") + action);
            connect(button, &QPushButton::clicked, this,
                    [this, service, action] { perform(service, action); });
            rowLayout->addWidget(button);
        }
        auto *item = new QListWidgetItem(m_list);
        item->setSizeHint(row->sizeHint());
        m_list->setItemWidget(item, row);
    }
    m_pages->setCurrentIndex(m_services.isEmpty() ? 1 : 2);
}
