#include "app/AppState.h"
#include "app/screens/MainWindow.h"
#include "app/widgets/CheckBoxDelegate.h"
#include "app/widgets/Contrast.h"
#include "app/widgets/Theme.h"
#include "platform/Preferences.h"
#include "support/TestEnvironment.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

namespace {

// The colour most of `area` is filled with: what a widget there is drawn on.
QColor backdrop(const QImage &image, const QRect &area)
{
    QHash<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ++counts[image.pixel(x, y)];
    QRgb most = 0;
    int best = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > best)
            best = it.value(), most = it.key();
    return QColor::fromRgb(most);
}

// Every visible label and button of the window whose text falls short of 4.5:1 against
// what it is drawn on, enabled or not.
QStringList illegibleTexts(QWidget *window)
{
    const QImage shot = window->grab().toImage();
    QStringList found;
    for (QWidget *w : window->findChildren<QWidget *>()) {
        QString text;
        if (auto *label = qobject_cast<QLabel *>(w))
            text = label->text();
        else if (auto *button = qobject_cast<QAbstractButton *>(w))
            text = button->text();
        if (text.trimmed().isEmpty() || !w->isVisible() || w->window() != window)
            continue;
        const QRect area = w->visibleRegion().boundingRect().translated(w->mapTo(window, QPoint()));
        if (area.isEmpty())
            continue;
        const QColor back = backdrop(shot, area & shot.rect());
        const QColor fore = w->palette().color(
            w->isEnabled() ? QPalette::Active : QPalette::Disabled, w->foregroundRole());
        const double ratio = Contrast::ratio(fore, back);
        if (ratio < Contrast::text)
            found << QStringLiteral("%1 \"%2\" %3 on %4: %5")
                         .arg(QString::fromLatin1(w->metaObject()->className()), text.left(40),
                              fore.name(QColor::HexArgb), back.name())
                         .arg(ratio, 0, 'f', 2);
    }
    return found;
}

// The most a tick box drawn by the style stands out from the row under it.
double tickBoxEdge(QStyle::PrimitiveElement element, const QColor &row)
{
    QImage image(24, 24, QImage::Format_ARGB32);
    image.fill(row);
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.rect = QRect(4, 4, 16, 16);
    option.state = QStyle::State_Enabled | QStyle::State_Off;
    option.palette = QApplication::palette();
    QApplication::style()->drawPrimitive(element, &option, &painter);
    painter.end();
    double most = 1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            most = qMax(most, Contrast::ratio(image.pixelColor(x, y), row));
    return most;
}

} // namespace

class TestTheme : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        Preferences::registerDefaults();
        Preferences::setValue(PrefKey::autoScanOnLaunch, false);
    }
    void cleanup()
    {
        Theme().apply(Theme::System);
        m_env.reset();
    }

    void paletteRolesReachTheirContrast_data()
    {
        QTest::addColumn<int>("appearance");
        QTest::newRow("light") << int(Theme::Light);
        QTest::newRow("dark") << int(Theme::Dark);
    }

    void paletteRolesReachTheirContrast()
    {
        QFETCH(int, appearance);
        Theme theme;
        theme.apply(Theme::Appearance(appearance));
        const QPalette p = QApplication::palette();
        using P = QPalette;
        struct Pair {
            P::ColorGroup group;
            P::ColorRole fore, back;
            double minimum;
        };
        const Pair pairs[] = {
            {P::Active, P::WindowText, P::Window, Contrast::text},
            {P::Active, P::Text, P::Base, Contrast::text},
            {P::Active, P::Text, P::AlternateBase, Contrast::text},
            {P::Active, P::ButtonText, P::Button, Contrast::text},
            {P::Active, P::HighlightedText, P::Highlight, Contrast::text},
            {P::Active, P::PlaceholderText, P::Window, Contrast::text},
            {P::Active, P::PlaceholderText, P::Base, Contrast::text},
            {P::Active, P::PlaceholderText, P::AlternateBase, Contrast::text},
            {P::Active, P::Link, P::Base, Contrast::text},
            {P::Active, P::Link, P::Window, Contrast::text},
            {P::Active, P::ToolTipText, P::ToolTipBase, Contrast::text},
            {P::Disabled, P::WindowText, P::Window, Contrast::text},
            {P::Disabled, P::Text, P::Base, Contrast::text},
            {P::Disabled, P::ButtonText, P::Button, Contrast::text},
            {P::Disabled, P::HighlightedText, P::Highlight, Contrast::text},
        };
        for (const Pair &pair : pairs) {
            const double ratio =
                Contrast::ratio(p.color(pair.group, pair.fore), p.color(pair.group, pair.back));
            QVERIFY2(ratio >= pair.minimum,
                     qPrintable(
                         QStringLiteral("%1 on %2: %3").arg(pair.fore).arg(pair.back).arg(ratio)));
        }
        // A tick box, in a table row or beside its text, stands out from what is around it.
        for (P::ColorRole row : {P::Base, P::AlternateBase, P::Window}) {
            QVERIFY(Contrast::ratio(CheckBoxDelegate::edgeColor(p), p.color(row)) >=
                    Contrast::graphic);
            for (auto element :
                 {QStyle::PE_IndicatorCheckBox, QStyle::PE_IndicatorItemViewItemCheck})
                QVERIFY2(tickBoxEdge(element, p.color(row)) >= Contrast::graphic,
                         qPrintable(QStringLiteral("%1 on %2").arg(element).arg(row)));
        }
    }

    // Every tab as it first shows, then after the theme changes under it.
    void everyTabLegible_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::newRow("light") << int(Theme::Light) << int(Theme::Light);
        QTest::newRow("dark") << int(Theme::Dark) << int(Theme::Dark);
        QTest::newRow("light, then dark") << int(Theme::Light) << int(Theme::Dark);
        QTest::newRow("dark, then light") << int(Theme::Dark) << int(Theme::Light);
    }

    void everyTabLegible()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        Theme theme;
        theme.apply(Theme::Appearance(from));
        AppState state;
        MainWindow window(&state);
        window.resize(1280, 800);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        for (int pass = 0; pass < 2; ++pass) {
            for (const TabNavigation &tab : TabNavigation::allCases()) {
                state.setSelectedTab(tab);
                QApplication::processEvents();
                const QStringList found = illegibleTexts(&window);
                QVERIFY2(found.isEmpty(),
                         qPrintable(tab.rawValue() + QStringLiteral(": ") + found.join("; ")));
            }
            if (from == to)
                break;
            // Switched the way the settings switch it.
            Preferences::setValue(PrefKey::themePreference, to);
        }
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
};

QTEST_MAIN(TestTheme)
#include "tst_Theme.moc"
