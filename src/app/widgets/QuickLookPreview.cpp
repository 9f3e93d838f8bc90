#include "app/widgets/QuickLookPreview.h"

#include "app/widgets/FileIcons.h"
#include "app/widgets/Style.h"
#include "exec/Async.h"
#include "exec/Background.h"
#include "platform/DisplayName.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QMimeDatabase>
#include <QPlainTextEdit>
#include <QStackedLayout>
#include <QVBoxLayout>
#include <QtConcurrent>

namespace {
constexpr int kMaxImageSide = 1600;
constexpr qint64 kMaxTextBytes = 256 * 1024;
// Larger images show their icon: decoding would read the whole file.
constexpr qint64 kMaxImageBytes = 64 * 1024 * 1024;
} // namespace

QuickLookPreview::QuickLookPreview(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("quickLookPreview"));
    m_stack = new QStackedLayout(this);

    m_imageLabel = new QLabel(this);
    m_imageLabel->setAlignment(Qt::AlignCenter);
    m_imageLabel->setMinimumSize(1, 1);
    m_stack->addWidget(m_imageLabel);

    m_text = new QPlainTextEdit(this);
    m_text->setReadOnly(true);
    m_text->setFont(QFont(QStringLiteral("monospace")));
    m_stack->addWidget(m_text);

    m_iconPage = new QWidget(this);
    auto *iconLayout = new QVBoxLayout(m_iconPage);
    iconLayout->addStretch(1);
    m_icon = new QLabel(m_iconPage);
    m_icon->setAlignment(Qt::AlignCenter);
    m_name = new QLabel(m_iconPage);
    m_name->setAlignment(Qt::AlignCenter);
    m_name->setWordWrap(true);
    Style::apply(m_name, Style::Text::Headline);
    iconLayout->addWidget(m_icon);
    iconLayout->addWidget(m_name);
    iconLayout->addStretch(1);
    m_stack->addWidget(m_iconPage);
}

QuickLookPreview::Content QuickLookPreview::load(const QString &path)
{
    Content content;
    const QFileInfo info(path);
    if (!info.isFile())
        return content;
    static const QMimeDatabase db;
    const QMimeType mime = db.mimeTypeForFile(info);
    if (mime.name().startsWith(QLatin1String("image/")) && info.size() <= kMaxImageBytes) {
        QImageReader reader(path);
        reader.setAutoTransform(true);
        const QSize size = reader.size();
        if (size.isValid() && (size.width() > kMaxImageSide || size.height() > kMaxImageSide))
            reader.setScaledSize(size.scaled(kMaxImageSide, kMaxImageSide, Qt::KeepAspectRatio));
        const QImage image = reader.read();
        if (!image.isNull()) {
            content.kind = Kind::Image;
            content.image = image;
            return content;
        }
    }
    if (mime.inherits(QStringLiteral("text/plain"))) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            content.kind = Kind::Text;
            content.text = QString::fromUtf8(file.read(kMaxTextBytes));
        }
    }
    return content;
}

void QuickLookPreview::setUrl(const QString &path)
{
    if (path == m_path && m_kind != Kind::None)
        return;
    m_path = path;
    const quint64 generation = ++m_generation;
    m_kind = Kind::Loading;
    m_icon->setPixmap(FileIcons::icon(path, false).pixmap(96, 96));
    m_name->setText(DisplayName::line(QFileInfo(path).fileName()));
    m_stack->setCurrentWidget(m_iconPage);
    whenFinished(this, Background::start([path] { return load(path); }),
                 [this, generation](const Content &content) {
                     if (generation == m_generation)
                         display(content);
                 });
}

void QuickLookPreview::display(const Content &content)
{
    m_kind = content.kind;
    switch (content.kind) {
    case Kind::Image:
        m_image = content.image;
        m_stack->setCurrentWidget(m_imageLabel);
        updateImage();
        break;
    case Kind::Text:
        m_text->setPlainText(content.text);
        m_stack->setCurrentWidget(m_text);
        break;
    default:
        m_kind = Kind::Icon;
        m_stack->setCurrentWidget(m_iconPage);
        break;
    }
    emit loaded();
}

QString QuickLookPreview::shownText() const
{
    switch (m_kind) {
    case Kind::Text:
        return m_text->toPlainText();
    case Kind::Icon:
    case Kind::Loading:
        return m_name->text();
    default:
        return QString();
    }
}

void QuickLookPreview::updateImage()
{
    if (m_image.isNull())
        return;
    const QSize target = m_imageLabel->size().boundedTo(m_image.size());
    m_imageLabel->setPixmap(
        QPixmap::fromImage(m_image.scaled(target, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

void QuickLookPreview::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_kind == Kind::Image)
        updateImage();
}
