#include "app/TabNavigation.h"
#include "app/screens/SettingsTab.h"
#include "app/widgets/CheckBoxDelegate.h"
#include "app/widgets/Dialogs.h"
#include "app/widgets/EmptyStateView.h"
#include "app/widgets/QuickLookPreview.h"
#include "app/widgets/Symbols.h"
#include "app/widgets/TabHeader.h"

#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

class TestSharedWidgets : public QObject {
    Q_OBJECT

private slots:
    // Boxes are drawn once per look and copied: a copy lands where the box is, whole, and
    // follows a change of palette.
    void tickBoxesFollowTheirStateAndPalette_data()
    {
        QTest::addColumn<int>("state");
        QTest::newRow("ticked") << int(Qt::Checked);
        QTest::newRow("unticked") << int(Qt::Unchecked);
        QTest::newRow("some") << int(Qt::PartiallyChecked);
    }
    void tickBoxesFollowTheirStateAndPalette()
    {
        QFETCH(int, state);
        QPalette palette;
        palette.setColor(QPalette::Base, Qt::white);
        palette.setColor(QPalette::AlternateBase, Qt::white);
        palette.setColor(QPalette::Highlight, QColor(0, 90, 200));
        palette.setColor(QPalette::HighlightedText, Qt::white);
        const QColor row(10, 20, 30);
        auto draw = [&](const QPalette &pal, QPointF at) {
            QImage image(60, 40, QImage::Format_ARGB32_Premultiplied);
            image.fill(row);
            QPainter p(&image);
            CheckBoxDelegate::drawBox(&p, QRectF(at, QSizeF(15, 15)), Qt::CheckState(state), pal);
            return image;
        };
        // Above the middle: on the box's fill, clear of the tick's strokes.
        const QColor fill = state == Qt::Unchecked ? palette.color(QPalette::Base)
                                                   : palette.color(QPalette::Highlight);
        const QImage first = draw(palette, QPointF(4.5, 4.5));
        QCOMPARE(first.pixelColor(12, 6), fill);
        QCOMPARE(first.pixelColor(17, 12), fill);
        // The edge ends where the box does: the pixels just outside keep the row's colour.
        for (const QPoint outside : {QPoint(2, 12), QPoint(21, 12), QPoint(12, 2), QPoint(12, 21)})
            QCOMPARE(first.pixelColor(outside), row);
        // The same look elsewhere is the same picture, moved.
        const QImage moved = draw(palette, QPointF(30.5, 14.5));
        QCOMPARE(moved.copy(30 - 4, 14 - 4, 25, 25), first.copy(0, 0, 25, 25));
        QPalette other = palette;
        other.setColor(QPalette::Base, QColor(200, 200, 0));
        other.setColor(QPalette::Highlight, QColor(200, 0, 0));
        QCOMPARE(draw(other, QPointF(4.5, 4.5)).pixelColor(12, 6),
                 state == Qt::Unchecked ? QColor(200, 200, 0) : QColor(200, 0, 0));
    }

    void confirmationAsksInItsTextAndEscapeCancels_data()
    {
        QTest::addColumn<bool>("destructive");
        QTest::newRow("destructive") << true;
        QTest::newRow("plain") << false;
    }

    void confirmationAsksInItsTextAndEscapeCancels()
    {
        QFETCH(bool, destructive);
        Dialogs::resetSeams();
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        auto *search = new QLineEdit(&window);
        auto *opener = new QPushButton(QStringLiteral("Remove"), &window);
        layout->addWidget(search);
        layout->addWidget(opener);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        opener->setFocus();

        Dialogs::Confirmation question{
            QStringLiteral("Move to Trash?"),
            QStringLiteral("notes.txt (1 KB) will be moved to the Trash."),
            QStringLiteral("Move to Trash"), QStringLiteral("Cancel")};
        question.destructive = destructive;
        std::optional<bool> answer;
        Dialogs::confirm(opener, question, [&](bool confirmed) { answer = confirmed; });
        QMessageBox *box = Dialogs::openBox();
        QVERIFY(box);
        // The question is the text itself, not only the window title.
        QCOMPARE(box->text(), question.title);
        QCOMPARE(box->informativeText(), question.text);
        QAbstractButton *confirmButton = nullptr;
        for (QAbstractButton *b : box->buttons()) {
            if (b->text() == question.confirmLabel)
                confirmButton = b;
        }
        QVERIFY(confirmButton);
        QCOMPARE(box->buttonRole(confirmButton) == QMessageBox::DestructiveRole, destructive);
        // It looks destructive too: drawn in red.
        const QImage look = confirmButton->grab().toImage();
        const QColor centre = look.pixelColor(look.width() / 2, 3);
        QCOMPARE(centre.red() > 200 && centre.green() < 110, destructive);
        QCOMPARE(box->defaultButton()->text(), question.cancelLabel);
        // Space, like Return, answers Cancel until the user moves on.
        QCOMPARE(box->focusWidget(), box->defaultButton());

        QTest::keyClick(box, Qt::Key_Escape);
        QTRY_VERIFY(answer.has_value());
        QCOMPARE(*answer, false);
        // Back to the button that asked, not the first field of the window.
        QTRY_VERIFY(opener->hasFocus());
    }

    void everySymbolInUseIsMapped_data()
    {
        QTest::addColumn<QString>("symbol");
        for (const TabNavigation &tab : TabNavigation::allCases())
            QTest::newRow(qPrintable(tab.rawValue())) << tab.systemImage();
        for (const SettingsTab &pane : SettingsTab::allCases())
            QTest::newRow(qPrintable(QStringLiteral("settings ") + pane.rawValue()))
                << pane.symbol();
        for (const char *s :
             {"arrow.triangle.2.circlepath", "questionmark.circle", "text.bubble", "lock.shield",
              "exclamationmark.triangle.fill", "checkmark.shield.fill",
              "exclamationmark.shield.fill", "internaldrive", "arrow.clockwise", "chevron.right"})
            QTest::newRow(s) << QString::fromLatin1(s);
    }

    void everySymbolInUseIsMapped()
    {
        QFETCH(QString, symbol);
        QVERIFY2(Symbols::knownSymbols().contains(symbol), qPrintable(symbol));
        const QImage image = Symbols::icon(symbol).pixmap(16, 16).toImage();
        QVERIFY(!image.isNull());
        // Not blank: some pixel is drawn.
        bool drawn = false;
        for (int y = 0; y < image.height() && !drawn; ++y)
            for (int x = 0; x < image.width() && !drawn; ++x)
                drawn = qAlpha(image.pixel(x, y)) > 0;
        QVERIFY2(drawn, qPrintable(symbol));
    }

    void circledNumbersAreDrawn()
    {
        QVERIFY(!Symbols::icon(QStringLiteral("2.circle")).pixmap(18, 18).isNull());
    }

    void tabHeaderSubtitle_data()
    {
        QTest::addColumn<QVariant>("detail");
        QTest::addColumn<QString>("subtitle");
        QTest::newRow("no detail")
            << QVariant() << QStringLiteral("What fills your disk, folder by folder");
        QTest::newRow("detail") << QVariant(QStringLiteral("12.3 GB in Home"))
                                << QStringLiteral(
                                       "What fills your disk, folder by folder · 12.3 GB in Home");
    }

    void tabHeaderSubtitle()
    {
        QFETCH(QVariant, detail);
        QFETCH(QString, subtitle);
        TabHeader header(TabNavigation::storage);
        header.setDetail(QStringLiteral("stale"));
        header.setDetail(detail.isValid() ? std::optional<QString>(detail.toString())
                                          : std::nullopt);
        QCOMPARE(header.subtitleText(), subtitle);
    }

    void emptyStateShowsTitleAndMessage()
    {
        EmptyStateView view(QStringLiteral("trash.fill"), QStringLiteral("Junk Cleaner"),
                            QStringLiteral("Caches and logs that are safe to clear"));
        QCOMPARE(view.title(), QStringLiteral("Junk Cleaner"));
        QCOMPARE(view.message(), QStringLiteral("Caches and logs that are safe to clear"));
    }

    void previewPicksImageTextOrIcon()
    {
        QTemporaryDir dir;
        QImage image(300, 200, QImage::Format_RGB32);
        image.fill(Qt::red);
        const QString png = dir.filePath(QStringLiteral("photo.png"));
        QVERIFY(image.save(png));
        const QString txt = dir.filePath(QStringLiteral("notes.txt"));
        QFile t(txt);
        QVERIFY(t.open(QIODevice::WriteOnly));
        t.write("first line\nsecond line\n");
        t.close();
        const QString bin = dir.filePath(QStringLiteral("blob.bin"));
        QFile b(bin);
        QVERIFY(b.open(QIODevice::WriteOnly));
        b.write(QByteArray("\x00\x01\x02\xff\xfe", 5));
        b.close();

        QuickLookPreview preview;
        preview.resize(400, 300);
        preview.show();
        QSignalSpy loaded(&preview, &QuickLookPreview::loaded);

        preview.setUrl(png);
        QTRY_COMPARE(loaded.count(), 1);
        QCOMPARE(preview.kind(), QuickLookPreview::Kind::Image);

        preview.setUrl(txt);
        QTRY_COMPARE(loaded.count(), 2);
        QCOMPARE(preview.kind(), QuickLookPreview::Kind::Text);
        QCOMPARE(preview.shownText(), QStringLiteral("first line\nsecond line\n"));

        preview.setUrl(bin);
        QTRY_COMPARE(loaded.count(), 3);
        QCOMPARE(preview.kind(), QuickLookPreview::Kind::Icon);
        QCOMPARE(preview.shownText(), QStringLiteral("blob.bin"));

        // Switching files quickly: only the newest one is shown.
        preview.setUrl(png);
        preview.setUrl(txt);
        QTRY_VERIFY(preview.kind() == QuickLookPreview::Kind::Text);
        QTest::qWait(50);
        QCOMPARE(preview.kind(), QuickLookPreview::Kind::Text);
    }

private:
};

QTEST_MAIN(TestSharedWidgets)
#include "tst_SharedWidgets.moc"
