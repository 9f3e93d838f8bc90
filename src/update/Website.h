#pragma once

#include <QString>
#include <QUrl>

// The product's web site: help, feedback, privacy and terms pages, and the update feed.
namespace Website {

// "QUILLMAR_UPDATE_BASE" when set, else the deployed site; no trailing slash.
QString base();
QString host();
// The base followed by `path` (which starts with "/").
QUrl page(const QString &path);

} // namespace Website
