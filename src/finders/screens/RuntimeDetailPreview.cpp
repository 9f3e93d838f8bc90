#include "finders/screens/RuntimeDetailPreview.h"

#include "app/widgets/Style.h"
#include "exec/Async.h"
#include "exec/Background.h"
#include "exec/CancelToken.h"
#include "exec/ProcessRunner.h"
#include "platform/FileProperties.h"
#include "platform/Locations.h"

#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QtConcurrent>

namespace {

QLabel *monospaceLabel(QWidget *parent)
{
    auto *label = new QLabel(parent);
    QFont font(QStringLiteral("monospace"));
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(11);
    label->setFont(font);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

// What a tool said: its output, else its complaint (or why it could not start).
QString said(const RunResult &result)
{
    const QString out = result.stdOut.trimmed();
    return out.isEmpty() ? result.stdErr.trimmed() : out;
}

} // namespace

RuntimeDetailPreview::RuntimeDetailPreview(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("runtimeDetailPreview"));
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    // Text only: no stop for Tab.
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setWidgetResizable(true);
    auto *body = new QWidget(scroll);
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->setSpacing(6);
    auto *typeTitle = new QLabel(QStringLiteral("Type Information"), body);
    Style::apply(typeTitle, Style::Text::Headline);
    layout->addWidget(typeTitle);
    m_info = monospaceLabel(body);
    m_info->setObjectName(QStringLiteral("binaryInfo"));
    m_info->setText(m_binaryInfo);
    layout->addWidget(m_info);
    m_contentsTitle = new QLabel(QStringLiteral("Contents"), body);
    Style::apply(m_contentsTitle, Style::Text::Headline);
    layout->addWidget(m_contentsTitle);
    m_contents = monospaceLabel(body);
    m_contents->setObjectName(QStringLiteral("directoryContents"));
    m_contents->setWordWrap(false);
    layout->addWidget(m_contents);
    layout->addStretch(1);
    scroll->setWidget(body);
    outer->addWidget(scroll);
    m_contentsTitle->hide();
    m_contents->hide();
}

RuntimeDetailPreview::~RuntimeDetailPreview()
{
    if (m_stop)
        m_stop();
}

namespace {

RuntimeDetailPreview::Details loadDetails(const QString &path, const CancelToken &cancel)
{
    const Locations &loc = Locations::current();
    RunOptions options;
    options.cancel = cancel;
    RuntimeDetailPreview::Details d;
    const std::optional<FileProperties> props = FileProperties::read(path);
    // "--" keeps a name that starts with a dash from being read as an option.
    d.binaryInfo = said(ProcessRunner::run(
        loc.fileTool, {QStringLiteral("-b"), QStringLiteral("--"), path}, nullptr, options));
    if (props && props->isDirectory && !cancel.isCancelled()) {
        const RunResult listing = ProcessRunner::run(
            loc.ls, {QStringLiteral("-la"), QStringLiteral("--"), path}, nullptr, options);
        QStringList lines = listing.stdOut.split(QLatin1Char('\n'));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        d.directoryContents =
            lines.isEmpty()
                ? listing.stdErr.trimmed()
                : lines.mid(0, RuntimeDetailPreview::maxListingLines).join(QLatin1Char('\n'));
    }
    return d;
}

} // namespace

RuntimeDetailPreview::Details RuntimeDetailPreview::load(const QString &path)
{
    return loadDetails(path, CancelToken());
}

void RuntimeDetailPreview::setPath(const QString &path)
{
    if (path == m_path && m_generation > 0)
        return;
    m_path = path;
    if (m_stop)
        m_stop();
    const CancelToken cancel;
    m_stop = [cancel] { cancel.cancel(); };
    const quint64 generation = ++m_generation;
    display(QStringLiteral("Analyzing..."), QString());
    whenFinished(this, Background::start([path, cancel] { return loadDetails(path, cancel); }),
                 [this, generation](const Details &details) {
                     if (generation != m_generation)
                         return;
                     display(details.binaryInfo, details.directoryContents);
                     emit loaded();
                 });
}

void RuntimeDetailPreview::display(const QString &binaryInfo, const QString &contents)
{
    m_binaryInfo = binaryInfo;
    m_directoryContents = contents;
    m_info->setText(binaryInfo);
    m_contents->setText(contents);
    m_contentsTitle->setVisible(!contents.isEmpty());
    m_contents->setVisible(!contents.isEmpty());
}
