#include "app/widgets/ExportButton.h"

#include "app/widgets/Dialogs.h"
#include "app/widgets/Symbols.h"
#include "exec/Async.h"
#include "exec/Background.h"

#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>
#include <QtConcurrent>

ExportButton::ExportButton(QList<Format> formats, std::function<QString()> suggestedName,
                           QWidget *parent)
    : QPushButton(Symbols::icon(QStringLiteral("square.and.arrow.up")), QStringLiteral("Export"),
                  parent),
      m_formats(std::move(formats)), m_suggestedName(std::move(suggestedName)),
      m_menu(new QMenu(this)), m_ticker(new QTimer(this))
{
    setObjectName(QStringLiteral("exportButton"));
    setAccessibleName(QStringLiteral("Export"));
    setAccessibleDescription(QStringLiteral("Saves what this tab lists to a file"));
    setFocusPolicy(Qt::StrongFocus);
    for (int i = 0; i < m_formats.size(); ++i)
        connect(m_menu->addAction(m_formats[i].label), &QAction::triggered, this,
                [this, i] { choose(i); });
    setMenu(m_menu);
    m_ticker->setInterval(250);
    connect(m_ticker, &QTimer::timeout, this, [this] {
        if (m_progressText)
            setText(QStringLiteral("Exporting… ") + m_progressText());
    });
}

QList<ExportButton::Format> ExportButton::csvAndJson(Snapshot snapshot)
{
    QList<Format> formats;
    for (const bool csv : {true, false}) {
        formats.append(
            {csv ? QStringLiteral("CSV…") : QStringLiteral("JSON…"),
             csv ? QStringLiteral("CSV files (*.csv)") : QStringLiteral("JSON files (*.json)"),
             csv ? QStringLiteral("csv") : QStringLiteral("json"),
             [snapshot, csv]() -> std::optional<Work> {
                 std::function<QByteArray(bool)> contents = snapshot();
                 if (!contents)
                     return std::nullopt;
                 return [contents, csv](const QString &fileName, const CancelToken &) {
                     const QByteArray bytes = contents(csv);
                     QSaveFile file(fileName);
                     if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() ||
                         !file.commit())
                         return file.errorString();
                     return QString();
                 };
             }});
    }
    return formats;
}

ExportButton::~ExportButton()
{
    // Quitting stops a long export; the file is then left as it was.
    m_cancel.cancel();
}

void ExportButton::choose(int index)
{
    if (m_running)
        return;
    const Format &format = m_formats.at(index);
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    const QString suggested =
        folder + QLatin1Char('/') + m_suggestedName() + QLatin1Char('.') + format.suffix;
    QPointer<ExportButton> self(this);
    Dialogs::chooseSaveFile(window(), suggested, format.filter, format.suffix,
                            [self, index](std::optional<QString> file) {
                                if (self && file)
                                    self->exportTo(index, *file);
                            });
}

void ExportButton::exportTo(int index, const QString &fileName)
{
    if (m_running)
        return;
    const std::optional<Work> work = m_formats.at(index).prepare();
    if (!work) {
        Dialogs::alert(this, QStringLiteral("Nothing to export."),
                       QStringLiteral("Scan first, then export what the tab lists."));
        return;
    }
    m_cancel = CancelToken();
    setRunning(true);
    const CancelToken cancel = m_cancel;
    const Work job = *work;
    whenFinished(this, Background::start([job, fileName, cancel] { return job(fileName, cancel); }),
                 [this, fileName](const QString &error) {
                     setRunning(false);
                     if (!error.isEmpty())
                         Dialogs::alert(this,
                                        QStringLiteral("Couldn't export to \u201C") +
                                            QFileInfo(fileName).fileName() +
                                            QStringLiteral("\u201D."),
                                        error);
                     emit exportFinished(fileName, error);
                 });
}

void ExportButton::setRunning(bool running)
{
    m_running = running;
    setEnabled(!running);
    if (running) {
        setText(QStringLiteral("Exporting…"));
        m_ticker->start();
    } else {
        m_ticker->stop();
        setText(QStringLiteral("Export"));
    }
}
