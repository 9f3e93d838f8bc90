#include "app/AppState.h"
#include "app/screens/MainWindow.h"
#include "app/widgets/Contrast.h"
#include "app/widgets/DeleteSelectedButton.h"
#include "app/widgets/Theme.h"
#include "platform/Preferences.h"
#include "support/TestEnvironment.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QStyleOptionViewItem>
#include <QTest>

namespace {

// Every visible label and button whose text, enabled or not, falls short of 4.5:1 against
// the colour that fills most of its place in a picture of the window.
QStringList illegibleTexts(QWidget *window)
{
    const QImage shot = window->grab().toImage();
    QStringList found;
    for (QWidget *w : window->findChildren<QWidget *>()) {
        const auto *label = qobject_cast<QLabel *>(w);
        const auto *button = qobject_cast<QAbstractButton *>(w);
        const QString text = label ? label->text() : button ? button->text() : QString();
        const QRect area = w->visibleRegion().boundingRect().translated(w->mapTo(window, QPoint()));
        if (text.trimmed().isEmpty() || !w->isVisible() || area.isEmpty())
            continue;
        QHash<QRgb, int> counts;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                ++counts[shot.pixel(x, y)];
        const QColor back = QColor::fromRgb(
            std::max_element(counts.keyValueBegin(), counts.keyValueEnd(), [](auto a, auto b) {
                return a.second < b.second;
            })->first);
        const QColor fore = w->palette().color(
            w->isEnabled() ? QPalette::Active : QPalette::Disabled, w->foregroundRole());
        if (Contrast::ratio(fore, back) < Contrast::text)
            found << QStringLiteral("\"%1\" %2 on %3")
                         .arg(text, fore.name(QColor::HexArgb), back.name());
    }
    return found;
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
        Theme().apply(Theme::Appearance(appearance));
        const QPalette p = QApplication::palette();
        using P = QPalette;
        // Text on what it is drawn on, enabled and disabled.
        const QList<std::tuple<P::ColorGroup, P::ColorRole, P::ColorRole>> pairs = {
            {P::Active, P::WindowText, P::Window},
            {P::Active, P::Text, P::Base},
            {P::Active, P::Text, P::AlternateBase},
            {P::Active, P::ButtonText, P::Button},
            {P::Active, P::HighlightedText, P::Highlight},
            {P::Active, P::PlaceholderText, P::Window},
            {P::Active, P::PlaceholderText, P::Base},
            {P::Active, P::PlaceholderText, P::AlternateBase},
            {P::Active, P::Link, P::Base},
            {P::Active, P::ToolTipText, P::ToolTipBase},
            {P::Disabled, P::WindowText, P::Window},
            {P::Disabled, P::Text, P::Base},
            {P::Disabled, P::ButtonText, P::Button},
            {P::Disabled, P::HighlightedText, P::Highlight}};
        for (const auto &[group, fore, back] : pairs)
            QVERIFY2(Contrast::ratio(p.color(group, fore), p.color(group, back)) >= Contrast::text,
                     qPrintable(QStringLiteral("%1 on %2").arg(fore).arg(back)));
        // A tick box, in a row or beside its text, as the style draws it: its edge stands
        // out 3:1 from what is around it.
        for (P::ColorRole row : {P::Base, P::AlternateBase, P::Window}) {
            for (auto element :
                 {QStyle::PE_IndicatorCheckBox, QStyle::PE_IndicatorItemViewItemCheck}) {
                QImage image(24, 24, QImage::Format_ARGB32);
                image.fill(p.color(row));
                QPainter painter(&image);
                QStyleOptionViewItem box;
                box.rect = QRect(4, 4, 16, 16);
                box.state = QStyle::State_Enabled | QStyle::State_Off;
                box.palette = p;
                QApplication::style()->drawPrimitive(element, &box, &painter);
                painter.end();
                double most = 1;
                for (int y = 0; y < 24; ++y)
                    for (int x = 0; x < 24; ++x)
                        most = qMax(most, Contrast::ratio(image.pixelColor(x, y), p.color(row)));
                QVERIFY2(most >= Contrast::graphic,
                         qPrintable(QStringLiteral("%1 on %2").arg(element).arg(row)));
            }
        }
    }

    // Every tab as it first shows, and again after the theme changes under it.
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
        for (int pass = 0; pass < (from == to ? 1 : 2); ++pass) {
            if (pass == 1) // switched the way the settings switch it
                Preferences::setValue(PrefKey::themePreference, to);
            for (const TabNavigation &tab : TabNavigation::allCases()) {
                state.setSelectedTab(tab);
                QApplication::processEvents();
                const QStringList found = illegibleTexts(&window);
                QVERIFY2(found.isEmpty(), qPrintable(tab.rawValue() + ": " + found.join("; ")));
                // A button that lived through the switch looks as one made after it.
                for (auto *button : window.findChildren<DeleteSelectedButton *>())
                    QCOMPARE(button->styleSheet(), DeleteSelectedButton().styleSheet());
            }
        }
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
};

QTEST_MAIN(TestTheme)
#include "tst_Theme.moc"
