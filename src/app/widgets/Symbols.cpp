#include "app/widgets/Symbols.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPalette>
#include <QStyle>

namespace {

struct SymbolInfo {
    QStringList themeNames;
    QStyle::StandardPixmap fallback;
};

const QHash<QString, SymbolInfo> &symbolMap()
{
    static const QHash<QString, SymbolInfo> map = {
        // Tabs.
        {"chart.pie.fill", {{"computer-symbolic", "computer"}, QStyle::SP_ComputerIcon}},
        {"square.grid.3x3.fill",
         {{"view-grid-symbolic", "view-app-grid-symbolic"}, QStyle::SP_FileDialogListView}},
        {"app.badge.fill",
         {{"view-app-grid-symbolic", "application-x-executable"}, QStyle::SP_DesktopIcon}},
        {"shippingbox.fill",
         {{"package-x-generic-symbolic", "package-x-generic"}, QStyle::SP_DriveFDIcon}},
        {"terminal.fill",
         {{"utilities-terminal-symbolic", "utilities-terminal"}, QStyle::SP_ComputerIcon}},
        {"mug.fill", {{"emoji-food-symbolic"}, QStyle::SP_DirIcon}},
        {"folder.fill.badge.minus", {{"folder-symbolic", "folder"}, QStyle::SP_DirClosedIcon}},
        {"trash.fill", {{"user-trash-symbolic", "user-trash"}, QStyle::SP_TrashIcon}},
        {"doc.on.doc.fill", {{"edit-copy-symbolic", "edit-copy"}, QStyle::SP_FileLinkIcon}},
        {"square.and.arrow.up",
         {{"document-save-symbolic", "document-save"}, QStyle::SP_DialogSaveButton}},
        {"internaldrive.fill",
         {{"drive-harddisk-symbolic", "drive-harddisk"}, QStyle::SP_DriveHDIcon}},
        {"archivebox.fill", {{"media-optical-symbolic", "media-optical"}, QStyle::SP_DriveCDIcon}},
        // Settings panes.
        {"gearshape",
         {{"preferences-system-symbolic", "emblem-system-symbolic"},
          QStyle::SP_FileDialogDetailedView}},
        {"lock.shield",
         {{"channel-secure-symbolic", "changes-prevent-symbolic"}, QStyle::SP_MessageBoxWarning}},
        {"square.grid.3x3",
         {{"view-grid-symbolic", "view-app-grid-symbolic"}, QStyle::SP_FileDialogListView}},
        {"eye.slash",
         {{"view-hidden-symbolic", "view-conceal-symbolic"}, QStyle::SP_DirClosedIcon}},
        {"mug", {{"emoji-food-symbolic"}, QStyle::SP_DirIcon}},
        {"app.badge", {{"view-app-grid-symbolic"}, QStyle::SP_DesktopIcon}},
        {"info.circle",
         {{"help-about-symbolic", "dialog-information-symbolic"},
          QStyle::SP_MessageBoxInformation}},
        // Access gate and privacy.
        {"exclamationmark.triangle.fill",
         {{"dialog-warning-symbolic", "dialog-warning"}, QStyle::SP_MessageBoxWarning}},
        {"exclamationmark.triangle",
         {{"dialog-warning-symbolic", "dialog-warning"}, QStyle::SP_MessageBoxWarning}},
        {"checkmark.shield.fill",
         {{"security-high-symbolic", "channel-secure-symbolic"}, QStyle::SP_DialogApplyButton}},
        {"exclamationmark.shield.fill",
         {{"security-low-symbolic", "dialog-warning-symbolic"}, QStyle::SP_MessageBoxWarning}},
        // Toolbar, storage map and shared controls.
        {"arrow.triangle.2.circlepath",
         {{"view-refresh-symbolic", "view-refresh"}, QStyle::SP_BrowserReload}},
        {"arrow.clockwise", {{"view-refresh-symbolic", "view-refresh"}, QStyle::SP_BrowserReload}},
        {"questionmark.circle",
         {{"help-browser-symbolic", "help-faq-symbolic", "help-contents"},
          QStyle::SP_DialogHelpButton}},
        {"text.bubble",
         {{"chat-message-new-symbolic", "mail-message-new-symbolic"},
          QStyle::SP_MessageBoxQuestion}},
        {"internaldrive", {{"drive-harddisk-symbolic", "drive-harddisk"}, QStyle::SP_DriveHDIcon}},
        {"house", {{"user-home-symbolic", "user-home"}, QStyle::SP_DirHomeIcon}},
        {"folder", {{"folder-symbolic", "folder"}, QStyle::SP_DirIcon}},
        {"doc", {{"text-x-generic-symbolic", "text-x-generic"}, QStyle::SP_FileIcon}},
        {"chevron.right", {{"go-next-symbolic", "go-next"}, QStyle::SP_ArrowRight}},
        {"trash", {{"user-trash-symbolic", "user-trash"}, QStyle::SP_TrashIcon}},
        {"magnifyingglass",
         {{"edit-find-symbolic", "edit-find"}, QStyle::SP_FileDialogContentsView}},
        {"xmark.circle.fill",
         {{"window-close-symbolic", "edit-clear-symbolic"}, QStyle::SP_DialogCloseButton}},
        {"checkmark.circle.fill",
         {{"emblem-ok-symbolic", "object-select-symbolic"}, QStyle::SP_DialogApplyButton}},
        {"eye", {{"view-reveal-symbolic"}, QStyle::SP_FileDialogContentsView}},
        {"applelogo",
         {{"start-here-symbolic", "emblem-default-symbolic"}, QStyle::SP_ComputerIcon}},
        {"shippingbox",
         {{"package-x-generic-symbolic", "package-x-generic"}, QStyle::SP_DriveFDIcon}},
        {"minus.circle", {{"list-remove-symbolic", "list-remove"}, QStyle::SP_DialogCancelButton}},
        {"arrow.triangle.2.circlepath.circle.fill",
         {{"software-update-available-symbolic", "view-refresh-symbolic"},
          QStyle::SP_BrowserReload}},
        // Junk categories and Docker.
        {"doc.text", {{"text-x-generic-symbolic", "text-x-generic"}, QStyle::SP_FileIcon}},
        {"hammer",
         {{"applications-engineering-symbolic", "system-run-symbolic"},
          QStyle::SP_FileDialogDetailedView}},
        {"network",
         {{"network-workgroup-symbolic", "web-browser-symbolic"}, QStyle::SP_DriveNetIcon}},
        {"wrench.and.screwdriver",
         {{"system-run-symbolic", "preferences-other-symbolic"},
          QStyle::SP_FileDialogDetailedView}},
        {"arrow.up.circle.fill",
         {{"software-update-available-symbolic", "go-up-symbolic"}, QStyle::SP_ArrowUp}},
        {"pin.fill", {{"view-pin-symbolic"}, QStyle::SP_DialogYesButton}},
    };
    return map;
}

// Draws monochrome theme icons in a colour taken at paint time, so a theme switch
// recolours them without rebuilding any widget.
class TintedIconEngine : public QIconEngine {
public:
    TintedIconEngine(QIcon base, QColor tint) : m_base(std::move(base)), m_tint(std::move(tint)) {}

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pm = m_base.pixmap(size, QIcon::Normal, state);
        if (pm.isNull())
            return pm;
        QColor color = m_tint;
        const QPalette palette = QApplication::palette();
        if (!color.isValid())
            color = palette.color(QPalette::WindowText);
        if (mode == QIcon::Disabled)
            color = palette.color(QPalette::Disabled, QPalette::WindowText);
        else if (mode == QIcon::Selected)
            color = palette.color(QPalette::HighlightedText);
        QPainter p(&pm);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(pm.rect(), color);
        return pm;
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap pm = pixmap(rect.size() * dpr, mode, state);
        pm.setDevicePixelRatio(dpr);
        painter->drawPixmap(rect, pm);
    }

    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return m_base.actualSize(size, mode, state);
    }

    QIconEngine *clone() const override { return new TintedIconEngine(m_base, m_tint); }

private:
    QIcon m_base;
    QColor m_tint;
};

// "1.circle" and its kin have no theme icon: draw the digit in a ring.
class CircledNumberEngine : public QIconEngine {
public:
    CircledNumberEngine(QString digit, QColor tint)
        : m_digit(std::move(digit)), m_tint(std::move(tint))
    {
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode, QIcon::State) override
    {
        const QColor color =
            m_tint.isValid() ? m_tint : QApplication::palette().color(QPalette::WindowText);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const qreal side = qMin(rect.width(), rect.height());
        const QRectF ring(rect.x() + (rect.width() - side) / 2 + 1,
                          rect.y() + (rect.height() - side) / 2 + 1, side - 2, side - 2);
        painter->setPen(QPen(color, qMax<qreal>(1.0, side / 14)));
        painter->drawEllipse(ring);
        QFont f = QApplication::font();
        f.setPixelSize(qMax(6, int(side * 0.55)));
        f.setBold(true);
        painter->setFont(f);
        painter->drawText(ring, Qt::AlignCenter, m_digit);
        painter->restore();
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pm(size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        paint(&p, pm.rect(), mode, state);
        return pm;
    }

    QIconEngine *clone() const override { return new CircledNumberEngine(m_digit, m_tint); }

private:
    QString m_digit;
    QColor m_tint;
};

} // namespace

namespace Symbols {

void ensureIconTheme()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    // Some platform plugins (offscreen among them) search no freedesktop folder at all.
    QStringList paths = QIcon::themeSearchPaths();
    QStringList dataDirs =
        qEnvironmentVariable("XDG_DATA_DIRS").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    if (dataDirs.isEmpty())
        dataDirs = {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")};
    dataDirs.prepend(QDir::homePath() + QStringLiteral("/.local/share"));
    for (const QString &dir : std::as_const(dataDirs)) {
        const QString icons = dir + QStringLiteral("/icons");
        if (!paths.contains(icons) && QFileInfo::exists(icons))
            paths.append(icons);
    }
    QIcon::setThemeSearchPaths(paths);

    const QString current = QIcon::themeName();
    if (!current.isEmpty() && current != QLatin1String("hicolor"))
        return;
    for (const QString &dir : QIcon::themeSearchPaths()) {
        if (QFileInfo::exists(dir + QLatin1String("/Adwaita/index.theme"))) {
            QIcon::setThemeName(QStringLiteral("Adwaita"));
            break;
        }
    }
    if (QIcon::fallbackThemeName().isEmpty())
        QIcon::setFallbackThemeName(QStringLiteral("hicolor"));
}

QStringList themeNames(const QString &symbol)
{
    return symbolMap().value(symbol).themeNames;
}

bool hasThemeIcon(const QString &symbol)
{
    for (const QString &name : themeNames(symbol)) {
        if (QIcon::hasThemeIcon(name))
            return true;
    }
    return false;
}

QStringList knownSymbols()
{
    return symbolMap().keys();
}

QIcon icon(const QString &symbol, const QColor &tint)
{
    ensureIconTheme();
    if (symbol.size() == 8 && symbol.endsWith(QLatin1String(".circle")) && symbol.at(0).isDigit())
        return QIcon(new CircledNumberEngine(symbol.left(1), tint));

    const auto it = symbolMap().constFind(symbol);
    if (it != symbolMap().constEnd()) {
        for (const QString &name : it->themeNames) {
            if (!QIcon::hasThemeIcon(name))
                continue;
            QIcon themed = QIcon::fromTheme(name);
            if (name.endsWith(QLatin1String("-symbolic")))
                return QIcon(new TintedIconEngine(themed, tint));
            return themed;
        }
    }
    const QStyle::StandardPixmap fallback =
        it != symbolMap().constEnd() ? it->fallback : QStyle::SP_FileIcon;
    return QApplication::style()->standardIcon(fallback);
}

} // namespace Symbols
