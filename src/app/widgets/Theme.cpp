#include "app/widgets/Theme.h"

#include "app/widgets/CheckBoxDelegate.h"

#include "platform/Preferences.h"

#include <QApplication>
#include <QPalette>
#include <QProxyStyle>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOption>

#include <memory>

namespace {

// Carries the platform-independent "NSInitialToolTipDelay" into whichever style is in use.
class ToolTipDelayStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_ToolTip_WakeUpDelay)
            return Preferences::intValue(PrefKey::initialToolTipDelay, 100);
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget) const override
    {
        if (element == PE_IndicatorCheckBox || element == PE_IndicatorItemViewItemCheck) {
            // Fusion edges its box in the window colour darkened, which on a dark palette
            // is the colour of the row the box sits on.
            const Qt::CheckState state = option->state & State_On         ? Qt::Checked
                                         : option->state & State_NoChange ? Qt::PartiallyChecked
                                                                          : Qt::Unchecked;
            const QRectF box = QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5);
            CheckBoxDelegate::drawBox(painter, box, state, option->palette);
            return;
        }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }

    // A button's icon would otherwise touch its text ("⟳Rescan"): one space more
    // between them, in the drawing and in the size.
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        if (element == CE_PushButtonLabel) {
            if (const auto *b = qstyleoption_cast<const QStyleOptionButton *>(option);
                b && !b->icon.isNull() && !b->text.isEmpty()) {
                QStyleOptionButton spaced(*b);
                spaced.text = QLatin1Char(' ') + b->text;
                QProxyStyle::drawControl(element, &spaced, painter, widget);
                return;
            }
        }
        if (element == CE_ToolButtonLabel) {
            if (const auto *b = qstyleoption_cast<const QStyleOptionToolButton *>(option);
                b && b->toolButtonStyle == Qt::ToolButtonTextBesideIcon && !b->icon.isNull() &&
                !b->text.isEmpty()) {
                QStyleOptionToolButton spaced(*b);
                spaced.text = QLatin1Char(' ') + b->text;
                QProxyStyle::drawControl(element, &spaced, painter, widget);
                return;
            }
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }

    QSize sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &size,
                           const QWidget *widget) const override
    {
        QSize result = QProxyStyle::sizeFromContents(type, option, size, widget);
        bool spaced = false;
        if (type == CT_PushButton) {
            if (const auto *b = qstyleoption_cast<const QStyleOptionButton *>(option))
                spaced = !b->icon.isNull() && !b->text.isEmpty();
        } else if (type == CT_ToolButton) {
            if (const auto *b = qstyleoption_cast<const QStyleOptionToolButton *>(option))
                spaced = b->toolButtonStyle == Qt::ToolButtonTextBesideIcon && !b->icon.isNull() &&
                         !b->text.isEmpty();
        }
        if (spaced && option)
            result.rwidth() += option->fontMetrics.horizontalAdvance(QLatin1Char(' '));
        return result;
    }
};

void setStyle(QStyle *style)
{
    QApplication::setStyle(new ToolTipDelayStyle(style));
}

} // namespace

Theme::Theme(QObject *parent) : QObject(parent)
{
    const QStyle *current = QApplication::style();
    if (auto *proxy = qobject_cast<const QProxyStyle *>(current))
        current = proxy->baseStyle();
    m_systemStyle = current->name();
    connect(Preferences::notifier(), &Preferences::valueChanged, this, [this](const QString &key) {
        if (key == QLatin1String(PrefKey::themePreference))
            apply(fromPreference(Preferences::intValue(PrefKey::themePreference, 0)));
    });
}

Theme::Appearance Theme::fromPreference(int value)
{
    if (value == Light || value == Dark)
        return Appearance(value);
    return System;
}

QPalette Theme::lightPalette()
{
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette p = fusion->standardPalette();
    // Fusion's secondary text (black at half strength), its grey for disabled text and its
    // light blue selection under white text all fall short of 4.5:1.
    p.setColor(QPalette::PlaceholderText, QColor(96, 96, 100));
    p.setColor(QPalette::Highlight, QColor(0, 95, 190));
    p.setColor(QPalette::HighlightedText, Qt::white);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, QColor(100, 100, 104));
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(105, 105, 110));
    return p;
}

QPalette Theme::darkPalette()
{
    QPalette p;
    const QColor window(40, 40, 42);
    const QColor base(30, 30, 32);
    const QColor text(235, 235, 240);
    // Dimmer than the text, still 4.5:1 on a button.
    const QColor disabled(165, 165, 170);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, QColor(48, 48, 52));
    p.setColor(QPalette::ToolTipBase, QColor(60, 60, 64));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(160, 160, 168));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(58, 58, 62));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, QColor(255, 90, 80));
    p.setColor(QPalette::Light, QColor(70, 70, 74));
    p.setColor(QPalette::Midlight, QColor(60, 60, 64));
    p.setColor(QPalette::Mid, QColor(50, 50, 54));
    p.setColor(QPalette::Dark, QColor(25, 25, 27));
    p.setColor(QPalette::Shadow, Qt::black);
    // Dark enough under white text.
    p.setColor(QPalette::Highlight, QColor(0, 99, 210));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(64, 156, 255));
    p.setColor(QPalette::LinkVisited, QColor(160, 120, 255));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(70, 70, 74));
    // Fusion lightens a button's colour for its fill: a disabled one starts from the
    // window's so its dimmer label still reads 4.5:1.
    p.setColor(QPalette::Disabled, QPalette::Button, window);
    return p;
}

void Theme::apply(Appearance appearance)
{
    // The palette goes first: changing the style re-polishes every widget, and a widget
    // with a style sheet keeps the palette it was polished with.
    QStyle *style = nullptr;
    switch (appearance) {
    case Dark:
        style = QStyleFactory::create(QStringLiteral("Fusion"));
        QApplication::setPalette(darkPalette());
        break;
    case Light:
        style = QStyleFactory::create(QStringLiteral("Fusion"));
        QApplication::setPalette(lightPalette());
        break;
    case System:
        style = QStyleFactory::create(m_systemStyle);
        if (!style)
            style = QStyleFactory::create(QStringLiteral("Fusion"));
        // A palette that sets nothing hands every colour back to the platform theme.
        QApplication::setPalette(QPalette());
        break;
    }
    setStyle(style);
    m_current = appearance;
    emit applied(appearance);
}

QString Theme::styleName()
{
    const QStyle *style = QApplication::style();
    if (auto *proxy = qobject_cast<const QProxyStyle *>(style))
        style = proxy->baseStyle();
    return style->name();
}
