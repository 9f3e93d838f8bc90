#include "exec/screens/TerminalSheetView.h"

#include "app/widgets/ActivityIndicator.h"
#include "app/widgets/Style.h"
#include "app/widgets/SymbolView.h"
#include "platform/Locations.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

#include <signal.h>
#include <unistd.h>

namespace {

QList<QPointer<TerminalSheetView>> &runningSheets()
{
    static QList<QPointer<TerminalSheetView>> sheets;
    return sheets;
}

// The terminal's backdrop: black at 85 % in a rounded rectangle, whatever the theme.
class TerminalBackdrop : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), 8, 8);
        p.fillPath(path, QColor(0, 0, 0, 217));
    }
};

} // namespace

TerminalSheetView::TerminalSheetView(const QString &title, const QString &command,
                                     std::function<void()> onDone, QWidget *parent)
    : QDialog(parent), m_title(title), m_command(command), m_onDone(std::move(onDone))
{
    setObjectName(QStringLiteral("terminalSheet"));
    setWindowTitle(title);
    setWindowModality(Qt::WindowModal);
    setFixedSize(700, 500);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(16);

    auto *header = new QHBoxLayout;
    header->setSpacing(8);
    auto *titleLabel = new QLabel(title, this);
    titleLabel->setObjectName(QStringLiteral("terminalTitle"));
    Style::apply(titleLabel, Style::Text::Title2);
    titleLabel->setTextFormat(Qt::PlainText);
    header->addWidget(titleLabel, 1);
    m_spinner = new ActivityIndicator(16, this);
    header->addWidget(m_spinner);
    m_finishedIcon =
        new SymbolView(QStringLiteral("checkmark.circle.fill"), 18, Style::green(), this);
    m_finishedIcon->setObjectName(QStringLiteral("finishedIcon"));
    m_finishedIcon->hide();
    header->addWidget(m_finishedIcon);
    m_completed = new QLabel(QStringLiteral("Completed"), this);
    m_completed->hide();
    header->addWidget(m_completed);
    m_done = new QPushButton(QStringLiteral("Done"), this);
    m_done->setObjectName(QStringLiteral("terminalDone"));
    m_done->setDefault(true);
    m_done->hide();
    connect(m_done, &QPushButton::clicked, this, [this] {
        if (m_isRunning)
            return;
        if (m_onDone)
            m_onDone();
        else
            accept();
    });
    header->addWidget(m_done);
    layout->addLayout(header);

    auto *backdrop = new TerminalBackdrop(this);
    auto *backdropLayout = new QVBoxLayout(backdrop);
    backdropLayout->setContentsMargins(10, 8, 4, 8);
    m_view = new QPlainTextEdit(backdrop);
    m_view->setObjectName(QStringLiteral("terminalOutput"));
    m_view->setAccessibleName(QStringLiteral("Command output"));
    m_view->setReadOnly(true);
    m_view->setFrameShape(QFrame::NoFrame);
    m_view->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    QFont mono(QStringLiteral("monospace"));
    mono.setStyleHint(QFont::Monospace);
    mono.setPixelSize(13);
    m_view->setFont(mono);
    // A terminal looks the same in either theme: cyan on the black backdrop.
    QPalette pal = m_view->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        pal.setColor(group, QPalette::Base, Qt::transparent);
        pal.setColor(group, QPalette::Text, Qt::cyan);
    }
    m_view->setPalette(pal);
    m_view->viewport()->setAutoFillBackground(false);
    backdropLayout->addWidget(m_view);
    layout->addWidget(backdrop, 1);
}

TerminalSheetView::~TerminalSheetView()
{
    if (m_isRunning)
        stopGroup();
    runningSheets().removeAll(this);
}

void TerminalSheetView::openOnce(QPointer<TerminalSheetView> &sheet, const QString &title,
                                 const QString &command, std::function<void()> onDone,
                                 QWidget *parent)
{
    if (sheet)
        return;
    // The holder outlives the sheet: both belong to the same view.
    QPointer<TerminalSheetView> *holder = &sheet;
    sheet = new TerminalSheetView(
        title, command,
        [holder, onDone] {
            if (*holder)
                (*holder)->close();
            *holder = nullptr;
            onDone();
        },
        parent);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->open();
}

bool TerminalSheetView::anyRunning()
{
    for (const QPointer<TerminalSheetView> &sheet : runningSheets()) {
        if (sheet && sheet->m_isRunning)
            return true;
    }
    return false;
}

void TerminalSheetView::stopAllRunning()
{
    const auto sheets = runningSheets();
    for (const QPointer<TerminalSheetView> &sheet : sheets) {
        if (sheet && sheet->m_isRunning)
            sheet->stopGroup();
    }
}

void TerminalSheetView::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_started) {
        m_started = true;
        runCommand();
    }
}

void TerminalSheetView::closeEvent(QCloseEvent *event)
{
    // Ending brew halfway through an upgrade leaves a half-installed keg behind.
    if (m_isRunning) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TerminalSheetView::reject()
{
    if (m_isRunning)
        return;
    QDialog::reject();
}

void TerminalSheetView::runCommand()
{
    runningSheets().append(this);
    m_process = new QProcess(this);
    m_process->setProgram(Locations::current().shell);
    m_process->setArguments(
        {QStringLiteral("-c"), QStringLiteral("export HOMEBREW_COLOR=1; ") + m_command});
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    // No terminal to ask on: a password prompt fails at once instead of waiting forever.
    m_process->setStandardInputFile(QProcess::nullDevice());
    m_process->setChildProcessModifier([] { ::setsid(); });

    connect(m_process, &QProcess::readyReadStandardOutput, this,
            [this] { append(m_stdout.feed(m_process->readAllStandardOutput())); });
    connect(m_process, &QProcess::readyReadStandardError, this,
            [this] { append(m_stderr.feed(m_process->readAllStandardError())); });
    connect(m_process, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        append(m_stdout.feed(m_process->readAllStandardOutput()) + m_stdout.finish());
        append(m_stderr.feed(m_process->readAllStandardError()) + m_stderr.finish());
        if (status == QProcess::CrashExit) {
            finish(QStringLiteral("Stopped by signal %1").arg(code));
            return;
        }
        m_exitStatus = code;
        finish(code == 0 ? QString() : QStringLiteral("Exited with status %1").arg(code));
    });
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart || !m_isRunning)
            return;
        append(QStringLiteral("\nError: ") + m_process->errorString());
        finish(QString());
    });
    m_process->start(QIODevice::ReadOnly);
}

void TerminalSheetView::append(const QString &text)
{
    if (text.isEmpty())
        return;
    m_output += text;
    // A carriage return starts the line again, as a terminal does with progress bars.
    QTextCursor cursor(m_view->document());
    cursor.movePosition(QTextCursor::End);
    qsizetype from = 0;
    const auto flushRun = [&](qsizetype to) {
        if (to <= from)
            return;
        if (m_pendingCarriageReturn) {
            cursor.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
            m_pendingCarriageReturn = false;
        }
        cursor.insertText(text.mid(from, to - from));
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r')) {
            flushRun(i);
            m_pendingCarriageReturn = true;
            from = i + 1;
        } else if (c == QLatin1Char('\n')) {
            flushRun(i);
            m_pendingCarriageReturn = false;
            cursor.insertBlock();
            from = i + 1;
        }
    }
    flushRun(text.size());
    QScrollBar *bar = m_view->verticalScrollBar();
    bar->setValue(bar->maximum());
    emit outputChanged();
}

void TerminalSheetView::finish(const QString &trailer)
{
    if (!trailer.isEmpty()) {
        const bool atLineStart = m_output.isEmpty() || m_output.endsWith(QLatin1Char('\n'));
        append((atLineStart ? QString() : QStringLiteral("\n")) + trailer + QLatin1Char('\n'));
    }
    m_isRunning = false;
    runningSheets().removeAll(this);
    const bool failed = !m_exitStatus || *m_exitStatus != 0;
    m_spinner->hide();
    m_finishedIcon->setSymbol(failed ? QStringLiteral("exclamationmark.triangle.fill")
                                     : QStringLiteral("checkmark.circle.fill"),
                              failed ? Style::orange() : Style::green());
    m_finishedIcon->show();
    m_completed->show();
    m_done->show();
    m_done->setFocus();
    emit runFinished();
}

void TerminalSheetView::stopGroup()
{
    if (!m_process || m_process->state() == QProcess::NotRunning)
        return;
    const qint64 pid = m_process->processId();
    if (pid > 0) {
        ::kill(-pid_t(pid), SIGTERM);
        if (!m_process->waitForFinished(300)) {
            ::kill(-pid_t(pid), SIGKILL);
            m_process->waitForFinished(-1);
        }
    }
}
