#pragma once

#include <QString>
#include <QWidget>

#include <optional>

class DetailRow;
class QLabel;

// "File Details" of one item: path, size, dates and owner, and the duplicate group's
// key when given. Read off the main thread whenever the path changes; a value that
// cannot be read shows "--".
class FileMetadataPreview : public QWidget {
    Q_OBJECT
public:
    explicit FileMetadataPreview(QWidget *parent = nullptr);

    void setPath(const QString &path, const std::optional<QString> &hash = std::nullopt);
    QString path() const { return m_path; }

    struct Values {
        QString fileSize = QStringLiteral("--");
        QString createdDate = QStringLiteral("--");
        QString modifiedDate = QStringLiteral("--");
        QString owner = QStringLiteral("--");
        friend bool operator==(const Values &, const Values &) = default;
    };
    Values values() const { return m_values; }
    std::optional<QString> hash() const { return m_hash; }
    // Reads the disk: call it off the main thread.
    static Values load(const QString &path);
    // A date in the locale's long date and short time style.
    static QString dateText(const QDateTime &when);

signals:
    void loaded();

private:
    void display(const Values &values);

    QString m_path;
    std::optional<QString> m_hash;
    quint64 m_generation = 0;
    Values m_values;
    DetailRow *m_pathRow;
    DetailRow *m_size;
    DetailRow *m_created;
    DetailRow *m_modified;
    DetailRow *m_owner;
    DetailRow *m_hashRow;
};
