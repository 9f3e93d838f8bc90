#include "app/widgets/RevealInFolder.h"

#include "app/widgets/Dialogs.h"
#include "exec/Async.h"
#include "exec/Background.h"
#include "platform/DisplayName.h"
#include "platform/desktop/Workspace.h"

#include <QFileInfo>
#include <QWidget>
#include <QtConcurrent>

namespace {
std::function<bool(const QString &)> gReveal;
}

namespace RevealInFolder {

void setFileManager(std::function<bool(const QString &)> reveal)
{
    gReveal = std::move(reveal);
}

void show(QWidget *from, const QString &path)
{
    // The file manager answers over D-Bus, which may take a moment.
    std::function<bool(const QString &)> reveal =
        gReveal ? gReveal : [](const QString &p) { return Workspace::revealInFileManager(p); };
    whenFinished(from, Background::start([reveal, path] { return reveal(path); }),
                 [from, path](bool shown) {
                     if (shown)
                         return;
                     const QFileInfo item(path);
                     Dialogs::alert(from,
                                    QStringLiteral("Couldn't show \u201C%1\u201D.")
                                        .arg(DisplayName::line(item.fileName())),
                                    QStringLiteral("No file manager answered. The item is in %1.")
                                        .arg(DisplayName::line(item.absolutePath())));
                 });
}

} // namespace RevealInFolder
