#include "storage/screens/StorageBlockMap.h"

#include "app/widgets/Style.h"
#include "platform/DisplayName.h"
#include "storage/screens/BlockPreview.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QDeadlineTimer>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QTimer>
#include <QToolTip>

namespace {

// One block (or the rest tile) as a screen reader sees it: an item of the map's list,
// named with its size, pressed to choose it.
class BlockAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    BlockAccessible(StorageBlockMap *map, int index) : m_map(map), m_index(index) {}

    bool isValid() const override
    {
        return m_map && m_index < int(m_map->content().blocks.size()) + int(restShown());
    }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_map ? m_map->window()->windowHandle() : nullptr; }
    QList<std::pair<QAccessibleInterface *, QAccessible::Relation>>
    relations(QAccessible::Relation) const override
    {
        return {};
    }
    QAccessibleInterface *focusChild() const override { return nullptr; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *parent() const override
    {
        return QAccessible::queryAccessibleInterface(m_map.data());
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QString text(QAccessible::Text t) const override
    {
        if (!isValid())
            return {};
        if (t == QAccessible::Name)
            return m_map->accessibleText(m_index);
        if (t == QAccessible::Description && isBlock())
            return m_map->content().blocks.at(m_index).entry.isDirectory
                       ? QStringLiteral("Folder. Enter opens it.")
                       : QStringLiteral("Enter chooses it.");
        return {};
    }
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRectF laid =
            isBlock() ? m_map->content().blocks.at(m_index).rect : m_map->content().rest->rect;
        const QRect r = TreemapLayout::blockRect(laid).toAlignedRect();
        return QRect(m_map->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override
    {
        QAccessible::State st;
        if (!isValid() || !isBlock()) {
            st.disabled = !isValid();
            return st;
        }
        st.focusable = true;
        st.selectable = true;
        st.focused = m_map->hasFocus() && m_map->currentBlock() == m_index;
        st.selected = m_map->chosen() == m_map->content().blocks.at(m_index).entry;
        return st;
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface && isBlock()
                   ? static_cast<QAccessibleActionInterface *>(this)
                   : nullptr;
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString &name) override
    {
        if (name == pressAction() && isValid() && isBlock())
            m_map->chooseBlock(m_index);
    }
    QStringList keyBindingsForAction(const QString &) const override
    {
        return {QStringLiteral("Return")};
    }

private:
    bool restShown() const { return m_map && m_map->content().rest.has_value(); }
    bool isBlock() const { return m_index < int(m_map->content().blocks.size()); }

    QPointer<StorageBlockMap> m_map;
    int m_index;
};

// The map as a list of its blocks, each an accessible child of its own.
class MapAccessible : public QAccessibleWidget {
public:
    explicit MapAccessible(StorageBlockMap *map) : QAccessibleWidget(map, QAccessible::List) {}
    ~MapAccessible() override
    {
        for (QAccessible::Id id : std::as_const(m_children))
            QAccessible::deleteAccessibleInterface(id);
    }

    StorageBlockMap *map() const { return static_cast<StorageBlockMap *>(widget()); }
    int childCount() const override
    {
        return int(map()->content().blocks.size()) + (map()->content().rest ? 1 : 0);
    }
    QAccessibleInterface *child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        // Made once per place and read afresh each time: the blocks change under them.
        if (!m_children.contains(index)) {
            auto *made = new BlockAccessible(map(), index);
            m_children.insert(index, QAccessible::registerAccessibleInterface(made));
        }
        return QAccessible::accessibleInterface(m_children.value(index));
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        for (auto it = m_children.cbegin(); it != m_children.cend(); ++it) {
            if (QAccessible::accessibleInterface(it.value()) == child)
                return it.key() < childCount() ? it.key() : -1;
        }
        return -1;
    }
    QAccessibleInterface *focusChild() const override
    {
        return map()->hasFocus() && map()->currentBlock() >= 0 ? child(map()->currentBlock())
                                                               : nullptr;
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        const QPoint local = map()->mapFromGlobal(QPoint(x, y));
        const QList<TreemapLayout::Block> &blocks = map()->content().blocks;
        for (int i = 0; i < blocks.size(); ++i) {
            if (TreemapLayout::blockRect(blocks.at(i).rect).contains(local))
                return child(i);
        }
        return nullptr;
    }

private:
    mutable QHash<int, QAccessible::Id> m_children;
};

QAccessibleInterface *blockMapAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String("StorageBlockMap") && object && object->isWidgetType())
        return new MapAccessible(static_cast<StorageBlockMap *>(object));
    return nullptr;
}

} // namespace

StorageBlockMap::StorageBlockMap(QWidget *parent) : QWidget(parent)
{
    static const bool accessible = (QAccessible::installFactory(blockMapAccessible), true);
    Q_UNUSED(accessible);
    setObjectName(QStringLiteral("storageBlockMap"));
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(100, 80);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    connect(BlockPreview::instance(), &BlockPreview::iconsMade, this, [this] {
        update(m_iconsLeft);
        m_iconsLeft = QRegion();
    });
    connect(BlockPreview::instance(), &BlockPreview::ready, this, [this](const QString &path) {
        for (const TreemapLayout::Block &block : std::as_const(m_content.blocks)) {
            if (block.entry.path() == path) {
                update(TreemapLayout::blockRect(block.rect).toAlignedRect());
                return;
            }
        }
    });
}

void StorageBlockMap::setEntries(const QList<StorageEntry> &entries)
{
    if (entries == m_entries)
        return;
    m_entries = entries;
    relayout();
}

void StorageBlockMap::setChosen(const std::optional<StorageEntry> &chosen)
{
    if (chosen == m_chosen)
        return;
    m_chosen = chosen;
    update();
}

void StorageBlockMap::relayout()
{
    const std::optional<StorageEntry> current =
        m_current >= 0 && m_current < m_content.blocks.size()
            ? std::optional(m_content.blocks.at(m_current).entry)
            : std::nullopt;
    m_content = TreemapLayout::blockMapContent(m_entries, QSizeF(size()));
    // The keyboard stays on the same entry when it still has a block.
    m_current = -1;
    for (int i = 0; current && i < m_content.blocks.size(); ++i) {
        if (m_content.blocks.at(i).entry == *current)
            m_current = i;
    }
    if (isVisible()) {
        for (const TreemapLayout::Block &block : std::as_const(m_content.blocks))
            BlockPreview::instance()->request(block.entry, TreemapLayout::previewSide(block.rect));
    }
    update();
}

void StorageBlockMap::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    relayout();
}

std::optional<StorageEntry> StorageBlockMap::entryAt(const QPointF &point) const
{
    for (const TreemapLayout::Block &block : m_content.blocks) {
        if (TreemapLayout::blockRect(block.rect).contains(point))
            return block.entry;
    }
    return std::nullopt;
}

QString StorageBlockMap::toolTipAt(const QPointF &point) const
{
    if (const auto entry = entryAt(point))
        return TreemapLayout::blockToolTip(*entry);
    return QString();
}

void StorageBlockMap::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        if (const auto entry = entryAt(event->position()))
            emit choose(*entry);
    }
    QWidget::mouseReleaseEvent(event);
}

void StorageBlockMap::setCurrentBlock(int index)
{
    if (index < 0 || index >= m_content.blocks.size() || index == m_current)
        return;
    m_current = index;
    update();
    if (hasFocus()) {
        QAccessibleEvent moved(this, QAccessible::Focus);
        moved.setChild(index);
        QAccessible::updateAccessibility(&moved);
    }
}

void StorageBlockMap::chooseBlock(int index)
{
    if (index >= 0 && index < m_content.blocks.size()) {
        setCurrentBlock(index);
        emit choose(m_content.blocks.at(index).entry);
    }
}

QString StorageBlockMap::accessibleText(int index) const
{
    if (index >= 0 && index < m_content.blocks.size()) {
        const StorageEntry &entry = m_content.blocks.at(index).entry;
        return DisplayName::line(entry.name()) + QStringLiteral(", ") + sizeText(entry);
    }
    if (index == m_content.blocks.size() && m_content.rest)
        return m_content.rest->title() + QStringLiteral(", ") + formatBytes(m_content.rest->bytes);
    return {};
}

int StorageBlockMap::neighbour(int dx, int dy) const
{
    if (m_current < 0 || m_current >= m_content.blocks.size())
        return m_content.blocks.isEmpty() ? -1 : 0;
    const QRectF from = m_content.blocks.at(m_current).rect;
    int best = -1;
    double bestScore = 0;
    for (int i = 0; i < m_content.blocks.size(); ++i) {
        const QRectF to = m_content.blocks.at(i).rect;
        // How far it lies that way, and how far off to the side.
        const double ahead = dx > 0   ? to.left() - from.right()
                             : dx < 0 ? from.left() - to.right()
                             : dy > 0 ? to.top() - from.bottom()
                                      : from.top() - to.bottom();
        if (i == m_current || ahead < -0.5)
            continue;
        const double aside =
            dx != 0 ? qMax(0.0, qMax(to.top() - from.bottom(), from.top() - to.bottom()))
                    : qMax(0.0, qMax(to.left() - from.right(), from.left() - to.right()));
        const double along = dx != 0 ? qAbs(to.center().y() - from.center().y())
                                     : qAbs(to.center().x() - from.center().x());
        const double score = qMax(0.0, ahead) + 4 * aside + 0.01 * along;
        if (best < 0 || score < bestScore) {
            best = i;
            bestScore = score;
        }
    }
    return best;
}

void StorageBlockMap::keyPressEvent(QKeyEvent *event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    int next = -2;
    switch (mods == Qt::NoModifier ? event->key() : 0) {
    case Qt::Key_Left:
        next = neighbour(-1, 0);
        break;
    case Qt::Key_Right:
        next = neighbour(1, 0);
        break;
    case Qt::Key_Up:
        next = neighbour(0, -1);
        break;
    case Qt::Key_Down:
        next = neighbour(0, 1);
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        chooseBlock(m_current);
        return;
    default:
        break;
    }
    if (next >= -1) {
        setCurrentBlock(next);
        return;
    }
    // Shift+Delete too: nothing here deletes outright.
    if (event->key() == Qt::Key_Delete && !(mods & ~Qt::ShiftModifier)) {
        emit removeChosen();
        return;
    }
    QWidget::keyPressEvent(event);
}

void StorageBlockMap::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    if (m_current < 0 && !m_content.blocks.isEmpty()) {
        int chosen = 0;
        for (int i = 0; m_chosen && i < m_content.blocks.size(); ++i) {
            if (m_content.blocks.at(i).entry == *m_chosen)
                chosen = i;
        }
        m_current = chosen;
    }
    update();
    if (m_current >= 0) {
        QAccessibleEvent focused(this, QAccessible::Focus);
        focused.setChild(m_current);
        QAccessible::updateAccessibility(&focused);
    }
}

void StorageBlockMap::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    update();
}

bool StorageBlockMap::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QString tip = toolTipAt(help->pos());
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, this);
        return true;
    }
    if (event->type() == QEvent::Show)
        relayout();
    return QWidget::event(event);
}

double StorageBlockMap::cornerRadius(const QRectF &rect)
{
    // Rounded corners on a small block turn a field of them into dots.
    return qMin(rect.width(), rect.height()) < 24 ? 0.0 : TreemapLayout::blockCornerRadius;
}

QStringList StorageBlockMap::labelLines(const QString &title, const QFont &font, double width,
                                        int maxLines)
{
    const QFontMetricsF fm(font);
    QStringList lines;
    QString rest = title;
    while (!rest.isEmpty() && lines.size() < maxLines - 1 && fm.horizontalAdvance(rest) > width) {
        // Break after the last space that still fits; a single long word is not broken.
        int cut = -1;
        for (int i = int(rest.size()) - 1; i > 0; --i) {
            if (rest.at(i) == QLatin1Char(' ') && fm.horizontalAdvance(rest.left(i)) <= width) {
                cut = i;
                break;
            }
        }
        if (cut < 0)
            break;
        lines.append(rest.left(cut));
        rest = rest.mid(cut + 1);
    }
    lines.append(fm.elidedText(rest, Qt::ElideRight, width));
    return lines;
}

void StorageBlockMap::drawLabel(QPainter &p, const QRectF &rect, const QString &title,
                                const QString &size)
{
    QFont titleFont = Style::font(Style::Text::Caption);
    titleFont.setBold(true);
    const QFont sizeFont = Style::font(Style::Text::Caption2);
    const QFontMetricsF tm(titleFont), sm(sizeFont);
    const double maxText = qMax(0.0, rect.width() - 6 - 10);
    // A second title line only where the block has the height for it.
    const int maxLines = rect.height() - 6 >= 2 * tm.height() + sm.height() + 6 ? 2 : 1;
    const QStringList titleLines = labelLines(title, titleFont, maxText, maxLines);
    const QString sizeText = sm.elidedText(size, Qt::ElideRight, maxText);
    double textWidth = sm.horizontalAdvance(sizeText);
    for (const QString &line : titleLines)
        textWidth = qMax(textWidth, tm.horizontalAdvance(line));
    const double textHeight = tm.height() * titleLines.size() + sm.height();
    const QRectF bg(rect.left() + 3, rect.bottom() - 3 - textHeight - 6, textWidth + 10,
                    textHeight + 6);
    QPainterPath path;
    path.addRoundedRect(bg, 4, 4);
    p.fillPath(path, QColor(0, 0, 0, 140));
    p.setPen(Qt::white);
    p.setFont(titleFont);
    double y = bg.top() + 3;
    for (const QString &line : titleLines) {
        p.drawText(QPointF(bg.left() + 5, y + tm.ascent()), line);
        y += tm.height();
    }
    p.setFont(sizeFont);
    p.drawText(QPointF(bg.left() + 5, y + sm.ascent()), sizeText);
}

void StorageBlockMap::paintEvent(QPaintEvent *event)
{
    // A frame makes no icon it has not drawn before: blocks left without one are painted
    // again once they are made, so a first look at a big folder never holds the window up.
    const QDeadlineTimer makeIconsBy(0);
    QRegion iconsLeft;
    const QRect dirty = event->rect();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (m_content.showsEmptyText) {
        p.setPen(palette().color(QPalette::PlaceholderText));
        p.setFont(Style::font(Style::Text::Body));
        p.drawText(rect(), Qt::AlignCenter, QString::fromLatin1(TreemapLayout::emptyMapText));
        return;
    }
    // The outline follows the theme: a dark line vanishes on dark blocks.
    QColor outline = palette().color(QPalette::WindowText);
    outline.setAlpha(40);
    for (const TreemapLayout::Block &block : std::as_const(m_content.blocks)) {
        const QRectF r = TreemapLayout::blockRect(block.rect);
        if (r.width() <= 0 || r.height() <= 0 || !dirty.intersects(r.toAlignedRect()))
            continue;
        const double radius = cornerRadius(r);
        QPainterPath shape;
        shape.addRoundedRect(r, radius, radius);
        p.save();
        p.setClipPath(shape);
        if (!BlockPreview::instance()->paint(
                p, r, block.entry, TreemapLayout::previewSide(block.rect), palette(), makeIconsBy))
            iconsLeft += r.toAlignedRect();
        p.restore();
        const bool chosen = m_chosen && *m_chosen == block.entry;
        if (chosen) {
            p.setPen(QPen(palette().color(QPalette::Highlight), 3));
            p.drawRoundedRect(r.adjusted(1.5, 1.5, -1.5, -1.5), radius, radius);
        } else {
            p.setPen(QPen(outline, 1));
            p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
        }
        if (TreemapLayout::showsLabel(block.rect))
            drawLabel(p, r, DisplayName::line(block.entry.name()), sizeText(block.entry));
    }
    // The keyboard's block: a ring of the text colour inside one of the window colour,
    // so it shows on a block of any colour.
    if (hasFocus() && m_current >= 0 && m_current < m_content.blocks.size()) {
        const QRectF r = TreemapLayout::blockRect(m_content.blocks.at(m_current).rect);
        const double radius = cornerRadius(r);
        p.setBrush(Qt::NoBrush);
        // Inside the chosen block's accent border, which stays in sight.
        const double inner = qMax(0.0, radius - 4);
        p.setPen(QPen(palette().color(QPalette::WindowText), 2));
        p.drawRoundedRect(r.adjusted(4, 4, -4, -4), inner, inner);
        p.setPen(QPen(palette().color(QPalette::Window), 2));
        p.drawRoundedRect(r.adjusted(6, 6, -6, -6), inner, inner);
    }
    m_iconsLeft += iconsLeft;
    if (m_content.rest) {
        const TreemapLayout::RestTile &rest = *m_content.rest;
        const QRectF r = TreemapLayout::blockRect(rest.rect);
        if (r.width() > 0 && r.height() > 0) {
            const double radius = cornerRadius(r);
            QPainterPath shape;
            shape.addRoundedRect(r, radius, radius);
            p.fillPath(shape, QColor(128, 128, 128, 128));
            p.setPen(QPen(outline, 1));
            p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
            if (TreemapLayout::showsLabel(rest.rect))
                drawLabel(p, r, rest.title(), formatBytes(rest.bytes));
        }
    }
}
