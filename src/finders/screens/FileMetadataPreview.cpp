#include "finders/screens/FileMetadataPreview.h"

#include "app/widgets/DetailRow.h"
#include "app/widgets/Style.h"
#include "exec/Async.h"
#include "exec/Background.h"
#include "exec/ProcessRunner.h"
#include "platform/DisplayName.h"
#include "platform/FileDetails.h"

#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>
#include <QtConcurrent>

FileMetadataPreview::FileMetadataPreview(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("fileMetadataPreview"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->setSpacing(4);
    auto *title = new QLabel(QStringLiteral("File Details"), this);
    Style::apply(title, Style::Text::Headline);
    layout->addWidget(title);
    m_pathRow = new DetailRow(QStringLiteral("Path"), QString(), this);
    m_size = new DetailRow(QStringLiteral("Size"), QStringLiteral("--"), this);
    m_created = new DetailRow(QStringLiteral("Created"), QStringLiteral("--"), this);
    m_modified = new DetailRow(QStringLiteral("Modified"), QStringLiteral("--"), this);
    m_owner = new DetailRow(QStringLiteral("Owner"), QStringLiteral("--"), this);
    m_hashRow = new DetailRow(QStringLiteral("Hash"), QString(), this);
    for (DetailRow *row : {m_pathRow, m_size, m_created, m_modified, m_owner, m_hashRow})
        layout->addWidget(row);
    m_hashRow->hide();
    layout->addStretch(1);
}

QString FileMetadataPreview::dateText(const QDateTime &when)
{
    const QLocale locale;
    const QDateTime local = when.toLocalTime();
    return locale.toString(local.date(), QLocale::LongFormat) + QLatin1Char(' ') +
           locale.toString(local.time(), QLocale::ShortFormat);
}

FileMetadataPreview::Values FileMetadataPreview::load(const QString &path)
{
    Values v;
    const std::optional<FileDetails> d = FileDetails::read(path);
    if (!d)
        return v;
    v.fileSize = formatSizeMB(double(d->size) / 1024 / 1024);
    if (d->created)
        v.createdDate = dateText(*d->created);
    if (d->modified)
        v.modifiedDate = dateText(*d->modified);
    if (d->owner)
        v.owner = *d->owner;
    return v;
}

void FileMetadataPreview::setPath(const QString &path, const std::optional<QString> &hash)
{
    m_hash = hash;
    m_hashRow->setVisible(bool(hash));
    m_hashRow->setValue(hash.value_or(QString()));
    if (path == m_path && m_generation > 0)
        return;
    m_path = path;
    m_pathRow->setValue(DisplayName::line(path));
    const quint64 generation = ++m_generation;
    display(Values());
    whenFinished(this, Background::start([path] { return load(path); }),
                 [this, generation](const Values &values) {
                     if (generation != m_generation)
                         return;
                     display(values);
                     emit loaded();
                 });
}

void FileMetadataPreview::display(const Values &values)
{
    m_values = values;
    m_size->setValue(values.fileSize);
    m_created->setValue(values.createdDate);
    m_modified->setValue(values.modifiedDate);
    m_owner->setValue(values.owner);
}
