#pragma once

#include <QString>

#include <functional>

class QWidget;

// "Show in Folder": asks the file manager off the main thread, and says so in an alert
// when none answers, rather than doing nothing visible.
namespace RevealInFolder {

void show(QWidget *from, const QString &path);
// Test seam: who is asked instead of the desktop's file manager; empty for the real one.
void setFileManager(std::function<bool(const QString &path)> reveal);

} // namespace RevealInFolder
