#include "homebrew/screens/HomebrewSettingsView.h"

#include "app/widgets/DetailRow.h"
#include "exec/Async.h"
#include "exec/Background.h"
#include "homebrew/Brew.h"
#include "platform/FileProperties.h"
#include "platform/PlatformTexts.h"
#include "platform/Preferences.h"
#include "platform/desktop/Workspace.h"

#include <QDir>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtConcurrent>

namespace {
const QUrl formulaeSite(QStringLiteral("https://formulae.brew.sh/"));
}

HomebrewSettingsView::HomebrewSettingsView(QWidget *parent) : SettingsForm(parent)
{
    setObjectName(QStringLiteral("homebrewSettings"));
    QVBoxLayout *found = addSection(QStringLiteral("Homebrew"));
    m_path = new DetailRow(QStringLiteral("brew"), QString(), widget());
    m_prefix = new DetailRow(QStringLiteral("Prefix"), QString(), widget());
    m_version = new DetailRow(QStringLiteral("Version"), QStringLiteral("…"), widget());
    found->addWidget(m_path);
    found->addWidget(m_prefix);
    found->addWidget(m_version);

    QVBoxLayout *custom = addSection(QStringLiteral("Custom location"));
    auto *row = new QHBoxLayout;
    m_custom = new QLineEdit(widget());
    m_custom->setObjectName(QStringLiteral("customBrewPath"));
    m_custom->setPlaceholderText(QStringLiteral("Detect automatically"));
    m_custom->setAccessibleName(QStringLiteral("Custom Homebrew location"));
    m_custom->setText(
        Preferences::stringValue(QString::fromLatin1(Brew::customPathKey), QString()));
    row->addWidget(m_custom, 1);
    auto *clear = new QPushButton(QStringLiteral("Clear"), widget());
    clear->setAccessibleName(QStringLiteral("Clear the custom location"));
    clear->setObjectName(QStringLiteral("clearBrewPath"));
    row->addWidget(clear);
    custom->addLayout(row);
    m_note = new Note(QString(), widget());
    m_note->setObjectName(QStringLiteral("brewPathNote"));
    custom->addWidget(m_note);
    connect(m_custom, &QLineEdit::textChanged, this, [this](const QString &text) {
        Preferences::setValue(QString::fromLatin1(Brew::customPathKey), text);
        updateNote();
    });
    connect(m_custom, &QLineEdit::editingFinished, this, &HomebrewSettingsView::refresh);
    connect(clear, &QPushButton::clicked, this, [this] {
        m_custom->clear();
        refresh();
    });

    QVBoxLayout *links = addSection(QStringLiteral("Links"));
    auto *linkRow = new QHBoxLayout;
    for (const QString &title :
         {QStringLiteral("Homebrew website"), QStringLiteral("Search packages")}) {
        auto *button = new QPushButton(title, widget());
        connect(button, &QPushButton::clicked, this, [] { Workspace::openUrl(formulaeSite); });
        linkRow->addWidget(button);
    }
    linkRow->addStretch(1);
    links->addLayout(linkRow);
    addStretch();

    updateNote();
    refresh();
}

QString HomebrewSettingsView::brewPathText() const
{
    return m_path->value();
}

QString HomebrewSettingsView::prefixText() const
{
    return m_prefix->value();
}

QString HomebrewSettingsView::versionText() const
{
    return m_version->value();
}

QString HomebrewSettingsView::noteText() const
{
    return m_note->text();
}

QString HomebrewSettingsView::versionFrom(int exitCode, const QString &output)
{
    if (exitCode != 0)
        return QStringLiteral("Not found");
    QString line = output.section(QLatin1Char('\n'), 0, 0);
    line.remove(QStringLiteral("Homebrew "));
    return line;
}

void HomebrewSettingsView::refresh()
{
    const QString path = Brew::path();
    m_path->setValue(path);
    m_prefix->setValue(Brew::prefix(path));
    detectVersion();
}

void HomebrewSettingsView::detectVersion()
{
    const quint64 generation = ++m_generation;
    auto work = Background::start([] {
        const RunResult result = Brew::read({QStringLiteral("--version")});
        return versionFrom(result.exitCode, result.stdOut);
    });
    whenFinished(this, work, [this, generation](const QString &version) {
        if (generation != m_generation)
            return;
        m_version->setValue(version);
        emit versionDetected();
    });
}

void HomebrewSettingsView::updateNote()
{
    const QString custom = m_custom->text();
    const bool runnable = QDir::isAbsolutePath(custom) && FileProperties::isExecutable(custom);
    m_note->setText(!custom.isEmpty() && !runnable
                        ? QStringLiteral("That isn't a runnable file, so Quillmar is detecting "
                                         "brew automatically.")
                        : PlatformTexts::text(QStringLiteral(
                              "Leave empty to use /opt/homebrew (Apple silicon) or /usr/local "
                              "(Intel). Takes effect on the next Homebrew scan.")));
}
