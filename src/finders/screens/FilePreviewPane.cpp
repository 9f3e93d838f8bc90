#include "finders/screens/FilePreviewPane.h"

#include "app/widgets/QuickLookPreview.h"
#include "finders/screens/FileMetadataPreview.h"

FilePreviewPane::FilePreviewPane(QWidget *parent) : QSplitter(Qt::Vertical, parent)
{
    m_quickLook = new QuickLookPreview(this);
    m_metadata = new FileMetadataPreview(this);
    addWidget(m_quickLook);
    addWidget(m_metadata);
    // The details keep the room their rows need; the preview takes the rest.
    m_metadata->setMinimumHeight(200);
    setChildrenCollapsible(false);
    setStretchFactor(0, 1);
    setStretchFactor(1, 0);
}
