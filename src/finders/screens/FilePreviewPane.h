#pragma once

#include <QSplitter>

class FileMetadataPreview;
class QuickLookPreview;

// A file's preview over its details, as the file tabs show the chosen row.
class FilePreviewPane : public QSplitter {
    Q_OBJECT
public:
    explicit FilePreviewPane(QWidget *parent = nullptr);

    QuickLookPreview *quickLook() const { return m_quickLook; }
    FileMetadataPreview *metadata() const { return m_metadata; }

private:
    QuickLookPreview *m_quickLook;
    FileMetadataPreview *m_metadata;
};
