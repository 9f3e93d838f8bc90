#include "app/AppState.h"
#include "app/screens/MainWindow.h"
#include "app/screens/SettingsView.h"
#include "app/widgets/Contrast.h"
#include "app/widgets/DeleteSelectedButton.h"
#include "app/widgets/Theme.h"
#include "exec/ExclusionsViewModel.h"
#include "exec/SafetyHelper.h"
#include "exec/screens/RecentlyRemovedSheet.h"
#include "platform/Exclusions.h"
#include "platform/FileIdentity.h"
#include "platform/FileProperties.h"
#include "platform/Preferences.h"
#include "platform/RemovalHub.h"
#include "support/TestEnvironment.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyleOptionViewItem>
#include <QTabWidget>
#include <QTest>

namespace {

// Every visible label and button whose text, enabled or not, falls short of 4.5:1 against
// the colour that fills most of its place (a button's fill) in a picture of the window.
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
        // Inside a framed button's edge, and in near colours together: the edge is one
        // colour all round, the fill a gradient with a shade per line.
        const auto *push = qobject_cast<const QPushButton *>(w);
        const bool framed = push && !push->isFlat() && push->styleSheet().isEmpty();
        const QRect inside = framed ? area.adjusted(3, 3, -3, -3) : area;
        QHash<QRgb, QList<QRgb>> shades;
        for (int y = inside.top(); y <= inside.bottom(); ++y)
            for (int x = inside.left(); x <= inside.right(); ++x)
                shades[shot.pixel(x, y) & 0xF8F8F8].append(shot.pixel(x, y));
        const QList<QRgb> most =
            std::max_element(shades.begin(), shades.end(), [](const auto &a, const auto &b) {
                return a.size() < b.size();
            }).value();
        const QColor back = QColor::fromRgb(most.at(most.size() / 2));
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

    // The window after a removal, with a list of Settings unreadable, the Recently Removed
    // sheet and every pane of the Settings window, before and after a switch.
    void removalScreensAndSettingsLegible_data() { everyTabLegible_data(); }

    void removalScreensAndSettingsLegible()
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
        const QByteArray path = nativePath(m_env->home()) + "/old.iso";
        QFile file(QString::fromUtf8(path));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("x") == 1);
        file.close();
        {
            const RemovalHub::Batch batch(QStringLiteral("installers"));
            const RemovalHub::Joined joined(batch);
            QVERIFY(SafetyHelper::moveNativeToTrash(path, *FileIdentity::read(path)).ok);
        }
        // A folder where the list's file should be cannot be read.
        QVERIFY(QDir().mkpath(Exclusions::fileOf(Exclusions::List::ExcludedFolders)));
        state.exclusionsVM()->reload();
        QTRY_VERIFY(!state.exclusionsVM()->blockedReason().isEmpty());
        RecentlyRemovedSheet *sheet = window.openRecentlyRemoved();
        SettingsView *settings = window.openSettings();
        QVERIFY(QTest::qWaitForWindowExposed(settings));
        for (int pass = 0; pass < (from == to ? 1 : 2); ++pass) {
            if (pass == 1)
                Preferences::setValue(PrefKey::themePreference, to);
            QApplication::processEvents();
            QStringList found = illegibleTexts(&window) + illegibleTexts(sheet);
            for (int i = 0; i < settings->tabs()->count(); ++i) {
                settings->tabs()->setCurrentIndex(i);
                QApplication::processEvents();
                found += illegibleTexts(settings);
            }
            QVERIFY2(found.isEmpty(), qPrintable(found.join("; ")));
        }
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
};

QTEST_MAIN(TestTheme)
#include "tst_Theme.moc"
