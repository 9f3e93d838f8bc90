#include "platform/PropertyList.h"

#include <QDateTime>
#include <QTest>

namespace {

// A tiny binary property-list writer: objects are added in order, references are
// one byte, offsets two bytes.
class BinaryPlist {
public:
    int add(const QByteArray &encoded)
    {
        m_objects.append(encoded);
        return int(m_objects.size() - 1);
    }
    int ascii(const QByteArray &text)
    {
        if (text.size() < 15)
            return add(char(0x50 | text.size()) + text);
        if (text.size() < 256)
            return add(QByteArray("\x5F\x10") + char(text.size()) + text);
        return add(QByteArray("\x5F\x11") + char(text.size() >> 8) + char(text.size()) + text);
    }
    int utf16(const QString &text)
    {
        QByteArray bytes(1, char(0x60 | text.size()));
        for (QChar c : text)
            bytes += char(c.unicode() >> 8), bytes += char(c.unicode() & 0xFF);
        return add(bytes);
    }
    int integer(quint16 value) { return add(QByteArray("\x11") + char(value >> 8) + char(value)); }
    int boolean(bool value) { return add(QByteArray(1, value ? '\x09' : '\x08')); }
    int array(const QList<int> &refs)
    {
        QByteArray bytes = refs.size() < 15 ? QByteArray(1, char(0xA0 | refs.size()))
                                            : QByteArray("\xAF\x10") + char(refs.size());
        for (int r : refs)
            bytes += char(r);
        return add(bytes);
    }
    int dict(const QList<QPair<int, int>> &pairs)
    {
        QByteArray bytes(1, char(0xD0 | pairs.size()));
        for (const auto &p : pairs)
            bytes += char(p.first);
        for (const auto &p : pairs)
            bytes += char(p.second);
        return add(bytes);
    }
    QByteArray build(int top) const
    {
        QByteArray out("bplist00");
        QList<int> offsets;
        for (const QByteArray &o : m_objects) {
            offsets.append(int(out.size()));
            out += o;
        }
        const int table = int(out.size());
        for (int off : offsets)
            out += char(off >> 8), out += char(off & 0xFF);
        QByteArray trailer(32, '\0');
        trailer[6] = 2; // offset size
        trailer[7] = 1; // reference size
        trailer[15] = char(m_objects.size());
        trailer[23] = char(top);
        trailer[30] = char(table >> 8);
        trailer[31] = char(table & 0xFF);
        return out + trailer;
    }

private:
    QList<QByteArray> m_objects;
};

QByteArray xmlPlist(const QByteArray &body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n" +
           body + "\n</plist>\n";
}

QByteArray infoBinary()
{
    BinaryPlist p;
    const int kName = p.ascii("CFBundleName");
    const int vName = p.utf16(QStringLiteral("Caf\u00e9 App"));
    const int kID = p.ascii("CFBundleIdentifier");
    const int vID = p.ascii("com.example.cafe");
    const int kVersion = p.ascii("Build");
    const int vVersion = p.integer(515);
    const int kList = p.ascii("Flags");
    const int vList = p.array({p.boolean(true), p.boolean(false)});
    return p.build(p.dict({{kName, vName}, {kID, vID}, {kVersion, vVersion}, {kList, vList}}));
}

// Nested arrays that each name the next one `fanOut` times, down to one string.
QByteArray fanOut(int fanOut, int depth, int textLength)
{
    BinaryPlist p;
    // Unused objects, so that no array holds more references than the file has objects.
    for (int i = 0; i < fanOut; ++i)
        p.boolean(true);
    int ref = p.ascii(QByteArray(textLength, 'x'));
    for (int level = 0; level < depth; ++level)
        ref = p.array(QList<int>(fanOut, ref));
    return p.build(ref);
}

} // namespace

class tst_PropertyList : public QObject {
    Q_OBJECT
private slots:
    void readsBundleKeys_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("id");

        QTest::newRow("xml") << xmlPlist("<dict><key>CFBundleName</key><string>Notes &amp; "
                                         "More</string><key>CFBundleIdentifier</key>"
                                         "<string>com.example.notes</string>"
                                         "<key>Nested</key><dict><key>a</key><array><integer>1"
                                         "</integer><true/><date>2024-01-02T03:04:05Z</date>"
                                         "</array></dict></dict>")
                             << "Notes & More"
                             << "com.example.notes";
        QTest::newRow("xml name of the wrong type")
            << xmlPlist("<dict><key>CFBundleName</key><integer>7</integer>"
                        "<key>CFBundleIdentifier</key><string>com.example.x</string></dict>")
            << QString() << "com.example.x";
        QTest::newRow("xml missing keys") << xmlPlist("<dict><key>Other</key><string>x</string>"
                                                      "</dict>")
                                          << QString() << QString();
        QTest::newRow("binary") << infoBinary() << QStringLiteral("Caf\u00e9 App")
                                << "com.example.cafe";
    }
    void readsBundleKeys()
    {
        QFETCH(QByteArray, data);
        QFETCH(QString, name);
        QFETCH(QString, id);
        const std::optional<QVariant> plist = PropertyList::parse(data);
        QVERIFY(plist.has_value());
        QCOMPARE(PropertyList::stringValue(*plist, "CFBundleName").value_or(QString()), name);
        QCOMPARE(PropertyList::stringValue(*plist, "CFBundleIdentifier").value_or(QString()), id);
    }

    void binaryValueTypes()
    {
        const QVariantMap map = PropertyList::parse(infoBinary())->toMap();
        QCOMPARE(map.value("Build").toLongLong(), 515);
        QCOMPARE(map.value("Flags").toList(), QVariantList({true, false}));
        const QVariantMap xml =
            PropertyList::parse(xmlPlist("<dict><key>d</key><date>2024-01-02T03:04:05Z</date>"
                                         "<key>r</key><real>1.5</real><key>b</key>"
                                         "<data>aGVsbG8=</data></dict>"))
                ->toMap();
        QCOMPARE(xml.value("d").toDateTime(),
                 QDateTime::fromString("2024-01-02T03:04:05Z", Qt::ISODate));
        QCOMPARE(xml.value("r").toDouble(), 1.5);
        QCOMPARE(xml.value("b").toByteArray(), QByteArray("hello"));
    }

    void damagedInputGivesNothing_data()
    {
        QTest::addColumn<QByteArray>("data");
        const QByteArray good = infoBinary();
        QTest::newRow("binary cut short") << good.left(good.size() - 5);
        QTest::newRow("binary header only") << QByteArray("bplist00");
        QByteArray badOffset = good;
        badOffset[badOffset.size() - 33 - 1] = char(0xFF); // last offset points past the table
        QTest::newRow("binary offset out of range") << badOffset;
        BinaryPlist loop;
        loop.add(QByteArray("\xA1\x00", 2)); // an array holding itself
        QTest::newRow("binary array holding itself") << loop.build(0);
        BinaryPlist wide;
        // Each array refers twice to the next: a million visits from a few bytes.
        for (int i = 0; i < 40; ++i)
            wide.add(QByteArray(1, char(0xA2)) + char(i + 1) + char(i + 1));
        wide.boolean(true);
        QTest::newRow("binary shared references") << wide.build(0);
        // A few kilobytes that would unfold into 250 MB.
        QTest::newRow("binary fan-out beyond the bound") << fanOut(40, 3, 2000);
        BinaryPlist cycle;
        cycle.array({1, 1});
        cycle.add(QByteArray("\xD1\x02\x00", 3)); // {"k": the first array}
        cycle.ascii("k");
        QTest::newRow("binary cycle through a dict") << cycle.build(0);
        QTest::newRow("xml cut short")
            << xmlPlist("<dict><key>CFBundleName</key><string>X").left(150);
        QTest::newRow("xml key without value") << xmlPlist("<dict><key>CFBundleName</key></dict>");
        QTest::newRow("not a plist") << QByteArray("{\"CFBundleName\": \"x\"}");
        QTest::newRow("empty") << QByteArray();
    }
    void damagedInputGivesNothing()
    {
        QFETCH(QByteArray, data);
        QVERIFY(!PropertyList::parse(data).has_value());
    }

    // Within the bound, an object named many times is decoded once and shared.
    void sharedReferencesDecodeOnce()
    {
        const std::optional<QVariant> plist = PropertyList::parse(fanOut(14, 2, 300));
        QVERIFY(plist.has_value());
        QSet<const QChar *> texts;
        for (const QVariant &inner : plist->toList()) {
            for (const QVariant &leaf : inner.toList()) {
                QCOMPARE(leaf.toString(), QString(300, 'x'));
                texts.insert(leaf.toString().constData());
            }
        }
        QCOMPARE(plist->toList().size(), 14);
        QCOMPARE(texts.size(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_PropertyList)
#include "tst_PropertyList.moc"
