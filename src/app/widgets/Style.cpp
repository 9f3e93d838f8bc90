#include "app/widgets/Style.h"

#include "app/widgets/Contrast.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QPalette>

namespace {

class ThemeFollower : public QObject {
public:
    ThemeFollower(QWidget *widget, std::function<void()> restyle)
        : QObject(widget), m_restyle(std::move(restyle))
    {
        widget->installEventFilter(this);
    }

    bool eventFilter(QObject *, QEvent *event) override
    {
        const auto type = event->type();
        // A widget whose palette was set gets no palette event at a switch; the new style
        // that follows the new palette reaches every widget.
        if ((type == QEvent::PaletteChange || type == QEvent::ApplicationPaletteChange ||
             type == QEvent::StyleChange) &&
            !m_busy) {
            // Setting a style sheet may itself change the palette once more.
            m_busy = true;
            m_restyle();
            m_busy = false;
        }
        return false;
    }

private:
    std::function<void()> m_restyle;
    bool m_busy = false;
};

} // namespace

namespace Style {

void followTheme(QWidget *widget, std::function<void()> restyle)
{
    restyle();
    new ThemeFollower(widget, std::move(restyle));
}

void makeWarning(QLabel *label)
{
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    followTheme(label, [label] {
        // The application's palette: the label's own is set here and no longer follows.
        QPalette p = QApplication::palette();
        // Beyond 4.5:1 by a margin: it may stand on a shade a little off the window's.
        p.setColor(QPalette::WindowText,
                   Contrast::reaching(red(), {p.color(QPalette::Window)}, Contrast::text + 0.5));
        if (label->palette().color(QPalette::WindowText) != p.color(QPalette::WindowText) ||
            label->palette().color(QPalette::Window) != p.color(QPalette::Window))
            label->setPalette(p);
    });
}

QString css(const QColor &color)
{
    return QStringLiteral("rgba(%1,%2,%3,%4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(color.alpha());
}

QFont font(Text text)
{
    QFont f = QApplication::font();
    switch (text) {
    case Text::Body:
        f.setPixelSize(13);
        break;
    case Text::Caption:
        f.setPixelSize(11);
        break;
    case Text::Caption2:
        f.setPixelSize(10);
        break;
    case Text::Subheadline:
        f.setPixelSize(12);
        break;
    case Text::Headline:
        f.setPixelSize(13);
        f.setWeight(QFont::DemiBold);
        break;
    case Text::Title:
        f.setPixelSize(22);
        break;
    case Text::Title2:
        f.setPixelSize(17);
        break;
    case Text::Title3:
        f.setPixelSize(15);
        break;
    }
    return f;
}

void apply(QLabel *label, Text text, bool secondary)
{
    label->setFont(font(text));
    if (secondary)
        makeSecondary(label);
}

void makeSecondary(QWidget *widget)
{
    // PlaceholderText is a palette role, so the colour follows the theme.
    widget->setForegroundRole(QPalette::PlaceholderText);
}

QString filledButtonSheet(const QColor &accent, const QPalette &palette)
{
    const QColor fill = Contrast::reaching(accent, {Qt::white}, Contrast::text);
    QColor faint = accent;
    faint.setAlpha(40);
    faint = Contrast::over(faint, palette.color(QPalette::Window));
    const QColor faintText = Contrast::reaching(accent, {faint}, Contrast::text);
    return QStringLiteral("QPushButton { background: %1; color: white; border: none; "
                          "border-radius: 6px; padding: 5px 14px; }"
                          "QPushButton:focus { border: 2px solid %3; padding: 3px 12px; }"
                          "QPushButton:pressed { background: %2; }"
                          "QPushButton:disabled { background: %4; color: %5; }")
        .arg(fill.name(), fill.darker(125).name(), palette.color(QPalette::WindowText).name(),
             faint.name(), faintText.name());
}

QColor orange()
{
    return QColor(255, 149, 0);
}

QColor green()
{
    return QColor(52, 199, 89);
}

QColor red()
{
    return QColor(255, 59, 48);
}

} // namespace Style
