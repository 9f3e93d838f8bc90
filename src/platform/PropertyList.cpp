#include "platform/PropertyList.h"

#include "platform/ReadOnlyFile.h"

#include <QDateTime>
#include <QHash>
#include <QTimeZone>
#include <QXmlStreamReader>

#include <cstring>

namespace {

constexpr qint64 kMaxFileBytes = 8 * 1024 * 1024;
constexpr int kMaxDepth = 64;
// What the decoded values may add up to, counting an object named twice twice: that is
// what a caller walking the result would see. A few kilobytes of shared references
// could otherwise unfold into gigabytes.
constexpr qint64 kMaxDecodedBytes = 64 * 1024 * 1024;
// What one value costs besides its contents: the value itself and its memo entry.
constexpr qint64 kValueBytes = 64;

// The reference date of both formats' dates.
QDateTime epoch2001()
{
    return QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
}

// XML ---------------------------------------------------------------------------------

class XmlReader {
public:
    explicit XmlReader(const QByteArray &data) : m_xml(data) {}

    std::optional<QVariant> read()
    {
        if (!nextElement() || m_xml.name() != QLatin1String("plist"))
            return std::nullopt;
        if (!nextElement())
            return std::nullopt;
        std::optional<QVariant> value = element(0);
        if (!value || m_xml.hasError())
            return std::nullopt;
        return value;
    }

private:
    // Moves to the next start element inside the current one; false at its end.
    bool nextElement()
    {
        while (!m_xml.atEnd()) {
            const auto token = m_xml.readNext();
            if (token == QXmlStreamReader::StartElement)
                return true;
            if (token == QXmlStreamReader::EndElement)
                return false;
        }
        return false;
    }

    std::optional<QVariant> element(int depth)
    {
        if (depth > kMaxDepth)
            return std::nullopt;
        const QStringView name = m_xml.name();
        if (name == QLatin1String("dict")) {
            QVariantMap map;
            while (nextElement()) {
                if (m_xml.name() != QLatin1String("key"))
                    return std::nullopt;
                const QString key = m_xml.readElementText();
                if (m_xml.hasError() || !nextElement())
                    return std::nullopt;
                std::optional<QVariant> value = element(depth + 1);
                if (!value)
                    return std::nullopt;
                map.insert(key, *value);
            }
            return m_xml.hasError() ? std::nullopt : std::optional<QVariant>(map);
        }
        if (name == QLatin1String("array")) {
            QVariantList list;
            while (nextElement()) {
                std::optional<QVariant> value = element(depth + 1);
                if (!value)
                    return std::nullopt;
                list.append(*value);
            }
            return m_xml.hasError() ? std::nullopt : std::optional<QVariant>(list);
        }
        if (name == QLatin1String("true") || name == QLatin1String("false")) {
            const bool value = name == QLatin1String("true");
            m_xml.readElementText();
            return QVariant(value);
        }
        const QString text = m_xml.readElementText();
        if (m_xml.hasError())
            return std::nullopt;
        if (name == QLatin1String("string"))
            return QVariant(text);
        if (name == QLatin1String("integer")) {
            bool ok = false;
            const qint64 value = text.trimmed().toLongLong(&ok);
            return ok ? std::optional<QVariant>(QVariant(value)) : std::nullopt;
        }
        if (name == QLatin1String("real")) {
            bool ok = false;
            const double value = text.trimmed().toDouble(&ok);
            return ok ? std::optional<QVariant>(QVariant(value)) : std::nullopt;
        }
        if (name == QLatin1String("data"))
            return QVariant(QByteArray::fromBase64(text.toLatin1()));
        if (name == QLatin1String("date")) {
            QDateTime date = QDateTime::fromString(text.trimmed(), Qt::ISODate);
            return date.isValid() ? std::optional<QVariant>(QVariant(date.toUTC())) : std::nullopt;
        }
        return std::nullopt;
    }

    QXmlStreamReader m_xml;
};

// Binary ------------------------------------------------------------------------------

class BinaryReader {
public:
    explicit BinaryReader(const QByteArray &data) : m_data(data) {}

    std::optional<QVariant> read()
    {
        const qsizetype n = m_data.size();
        if (n < 8 + 32)
            return std::nullopt;
        const qsizetype t = n - 32;
        m_offsetSize = quint8(m_data.at(t + 6));
        m_refSize = quint8(m_data.at(t + 7));
        const quint64 count = bigEndian(t + 8, 8);
        const quint64 top = bigEndian(t + 16, 8);
        const quint64 table = bigEndian(t + 24, 8);
        if (!validSize(m_offsetSize) || !validSize(m_refSize) || count == 0 || top >= count ||
            table < 8 || table >= quint64(t) || count > quint64(t - table) / m_offsetSize)
            return std::nullopt;
        m_count = count;
        m_table = qsizetype(table);
        m_end = qsizetype(table);
        return object(top, 0);
    }

private:
    static bool validSize(int size) { return size == 1 || size == 2 || size == 4 || size == 8; }

    quint64 bigEndian(qsizetype at, int size) const
    {
        quint64 value = 0;
        for (int i = 0; i < size; ++i)
            value = (value << 8) | quint8(m_data.at(at + i));
        return value;
    }

    bool inside(qsizetype at, quint64 length) const
    {
        return at >= 8 && at <= m_end && length <= quint64(m_end - at);
    }

    std::optional<qsizetype> offsetOf(quint64 ref) const
    {
        if (ref >= m_count)
            return std::nullopt;
        const quint64 offset = bigEndian(m_table + qsizetype(ref) * m_offsetSize, m_offsetSize);
        if (offset < 8 || offset >= quint64(m_end))
            return std::nullopt;
        return qsizetype(offset);
    }

    // The count that follows a marker's low nibble (0xF: an integer object follows).
    std::optional<quint64> length(qsizetype &at, quint8 marker) const
    {
        const quint8 low = marker & 0x0F;
        if (low != 0x0F)
            return low;
        if (!inside(at, 1))
            return std::nullopt;
        const quint8 intMarker = quint8(m_data.at(at));
        if ((intMarker & 0xF0) != 0x10 || (intMarker & 0x0F) > 3)
            return std::nullopt;
        const int size = 1 << (intMarker & 0x0F);
        if (!inside(at + 1, quint64(size)))
            return std::nullopt;
        const quint64 value = bigEndian(at + 1, size);
        at += 1 + size;
        return value;
    }

    // Strings, data, arrays and dicts are decoded once and shared at every further
    // reference; scalars cost less to decode again than to remember.
    std::optional<QVariant> object(quint64 ref, int depth)
    {
        if (depth > kMaxDepth)
            return std::nullopt;
        if (const auto seen = m_decoded.constFind(ref); seen != m_decoded.cend()) {
            if (seen->bytes < 0) // still being decoded: the object holds itself
                return std::nullopt;
            if (!spend(seen->bytes))
                return std::nullopt;
            return seen->value;
        }
        const qint64 before = m_spent;
        if (!spend(kValueBytes))
            return std::nullopt;
        const std::optional<qsizetype> start = offsetOf(ref);
        if (!start)
            return std::nullopt;
        const quint8 kind = quint8(m_data.at(*start)) >> 4;
        const bool shared = kind == 0x4 || kind == 0x5 || kind == 0x6 || kind == 0xA || kind == 0xD;
        if (!shared)
            return decode(*start, depth);
        m_decoded.insert(ref, Decoded{QVariant(), -1});
        std::optional<QVariant> value = decode(*start, depth);
        if (!value)
            return std::nullopt;
        m_decoded.insert(ref, Decoded{*value, m_spent - before});
        return value;
    }

    bool spend(qint64 bytes)
    {
        m_spent += bytes;
        return m_spent <= kMaxDecodedBytes;
    }

    std::optional<QVariant> decode(qsizetype start, int depth)
    {
        qsizetype at = start;
        const quint8 marker = quint8(m_data.at(at++));
        const quint8 kind = marker >> 4;
        const quint8 low = marker & 0x0F;
        switch (kind) {
        case 0x0:
            if (marker == 0x08 || marker == 0x09)
                return QVariant(marker == 0x09);
            return std::nullopt;
        case 0x1: {
            if (low > 4)
                return std::nullopt;
            const int size = 1 << low;
            if (!inside(at, quint64(size)))
                return std::nullopt;
            // Sixteen-byte integers keep their low eight bytes.
            const quint64 raw = bigEndian(at + (size == 16 ? 8 : 0), size == 16 ? 8 : size);
            return QVariant(qint64(raw));
        }
        case 0x2: {
            if (low != 2 && low != 3)
                return std::nullopt;
            const int size = 1 << low;
            if (!inside(at, quint64(size)))
                return std::nullopt;
            const quint64 raw = bigEndian(at, size);
            if (size == 4) {
                const quint32 bits = quint32(raw);
                float f;
                std::memcpy(&f, &bits, 4);
                return QVariant(double(f));
            }
            double d;
            std::memcpy(&d, &raw, 8);
            return QVariant(d);
        }
        case 0x3: {
            if (marker != 0x33 || !inside(at, 8))
                return std::nullopt;
            const quint64 raw = bigEndian(at, 8);
            double seconds;
            std::memcpy(&seconds, &raw, 8);
            if (!(seconds > -1e12 && seconds < 1e12))
                return std::nullopt;
            return QVariant(epoch2001().addMSecs(qint64(seconds * 1000)));
        }
        case 0x4:
        case 0x5:
        case 0x6: {
            const std::optional<quint64> n = length(at, marker);
            if (!n)
                return std::nullopt;
            const quint64 bytes = kind == 0x6 ? *n * 2 : *n;
            if (*n > quint64(m_end) || !inside(at, bytes) ||
                !spend(qint64(kind == 0x4 ? *n : *n * 2)))
                return std::nullopt;
            const QByteArray raw = m_data.mid(at, qsizetype(bytes));
            if (kind == 0x4)
                return QVariant(raw);
            if (kind == 0x5)
                return QVariant(QString::fromLatin1(raw));
            QString text(qsizetype(*n), Qt::Uninitialized);
            for (qsizetype i = 0; i < qsizetype(*n); ++i)
                text[i] = QChar(char16_t((quint8(raw.at(2 * i)) << 8) | quint8(raw.at(2 * i + 1))));
            return QVariant(text);
        }
        case 0x8: {
            const int size = low + 1;
            if (!inside(at, quint64(size)))
                return std::nullopt;
            return QVariant(qint64(bigEndian(at, size)));
        }
        case 0xA:
        case 0xD: {
            const std::optional<quint64> n = length(at, marker);
            if (!n)
                return std::nullopt;
            const quint64 refs = kind == 0xD ? *n * 2 : *n;
            if (*n > quint64(m_end) || !inside(at, refs * m_refSize))
                return std::nullopt;
            auto refAt = [&](quint64 i) {
                return bigEndian(at + qsizetype(i) * m_refSize, m_refSize);
            };
            if (kind == 0xA) {
                QVariantList list;
                for (quint64 i = 0; i < *n; ++i) {
                    std::optional<QVariant> value = object(refAt(i), depth + 1);
                    if (!value)
                        return std::nullopt;
                    list.append(*value);
                }
                return QVariant(list);
            }
            QVariantMap map;
            for (quint64 i = 0; i < *n; ++i) {
                std::optional<QVariant> key = object(refAt(i), depth + 1);
                if (!key || key->typeId() != QMetaType::QString)
                    return std::nullopt;
                std::optional<QVariant> value = object(refAt(*n + i), depth + 1);
                if (!value)
                    return std::nullopt;
                map.insert(key->toString(), *value);
            }
            return QVariant(map);
        }
        default:
            return std::nullopt;
        }
    }

    const QByteArray &m_data;
    int m_offsetSize = 0;
    int m_refSize = 0;
    quint64 m_count = 0;
    qsizetype m_table = 0;
    qsizetype m_end = 0;
    struct Decoded {
        QVariant value;
        qint64 bytes = -1; // its share of the bound; -1 while it is being decoded
    };
    QHash<quint64, Decoded> m_decoded;
    qint64 m_spent = 0;
};

} // namespace

namespace PropertyList {

std::optional<QVariant> parse(const QByteArray &data)
{
    if (data.startsWith("bplist00"))
        return BinaryReader(data).read();
    return XmlReader(data).read();
}

std::optional<QVariant> readFile(const QString &path)
{
    ReadOnlyFile file;
    if (!file.open(path) || file.size() > kMaxFileBytes)
        return std::nullopt;
    QByteArray data(file.size(), Qt::Uninitialized);
    if (file.readAt(0, data.data(), data.size()) != data.size())
        return std::nullopt;
    return parse(data);
}

std::optional<QString> stringValue(const QVariant &plist, const QString &key)
{
    if (plist.typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    const QVariant value = plist.toMap().value(key);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

} // namespace PropertyList
