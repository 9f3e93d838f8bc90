#include "exec/TerminalStream.h"

#include "exec/ProcessRunner.h"

#include <QRegularExpression>

namespace {

// Bytes at the end that begin a UTF-8 sequence the data does not finish yet.
qsizetype incompleteTail(const QByteArray &bytes)
{
    const qsizetype size = bytes.size();
    for (qsizetype i = size - 1; i >= 0 && i >= size - 4; --i) {
        const auto byte = uchar(bytes.at(i));
        if ((byte & 0xC0) == 0x80)
            continue; // a continuation byte: look further back for its lead
        if (byte < 0xC0)
            return 0;
        const qsizetype needed = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : 2;
        return size - i < needed ? size - i : 0;
    }
    return 0;
}

// The start of an escape sequence at the end of `text` that more input may finish.
qsizetype unfinishedEscape(const QString &text)
{
    const qsizetype escape = text.lastIndexOf(QChar(0x1b));
    if (escape < 0 || text.size() - escape > 32)
        return -1;
    static const QRegularExpression partial(
        QStringLiteral("^\\x1b(\\[[0-?]*[ -/]*|\\][^\\x07\\x1b]*)?$"));
    return partial.match(QStringView(text).mid(escape)).hasMatch() ? escape : -1;
}

QString stripped(const QString &text)
{
    // Beyond the colours: private modes (cursor on/off), window titles, charset picks.
    static const QRegularExpression more(QStringLiteral(
        "\\x1b\\[[0-?]*[ "
        "-/]*[@-~]|\\x1b\\][^\\x07\\x1b]*(\\x07|\\x1b\\\\)|\\x1b[()][0-9A-Za-z]|\\x1b[=>78]"));
    QString result = strippingANSI(text);
    if (result.contains(QChar(0x1b)))
        result.remove(more);
    return result;
}

} // namespace

QString TerminalStream::feed(const QByteArray &bytes)
{
    m_pendingBytes += bytes;
    const qsizetype tail = incompleteTail(m_pendingBytes);
    // Decode only whole sequences: a decoder fed half a character guesses wrong about
    // the byte that follows.
    m_pendingText += QString::fromUtf8(m_pendingBytes.constData(), m_pendingBytes.size() - tail);
    m_pendingBytes = m_pendingBytes.right(tail);
    return takeText(false);
}

QString TerminalStream::finish()
{
    // Whatever is left is one character cut short: one replacement mark.
    if (!m_pendingBytes.isEmpty())
        m_pendingText += QChar(QChar::ReplacementCharacter);
    m_pendingBytes.clear();
    return takeText(true);
}

QString TerminalStream::takeText(bool atEnd)
{
    QString text;
    const qsizetype hold = atEnd ? -1 : unfinishedEscape(m_pendingText);
    if (hold < 0) {
        text = std::move(m_pendingText);
        m_pendingText.clear();
    } else {
        text = m_pendingText.left(hold);
        m_pendingText = m_pendingText.mid(hold);
    }
    return stripped(text);
}
