#include "exec/TerminalStream.h"

namespace {

constexpr char16_t kBell = 0x07;
constexpr char16_t kCancel = 0x18;     // CAN
constexpr char16_t kSubstitute = 0x1a; // SUB
constexpr char16_t kEscape = 0x1b;

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

bool within(char16_t c, char16_t first, char16_t last)
{
    return c >= first && c <= last;
}

} // namespace

QString TerminalStream::feed(const QByteArray &bytes)
{
    m_pendingBytes += bytes;
    const qsizetype tail = incompleteTail(m_pendingBytes);
    // Decode only whole sequences: a decoder fed half a character guesses wrong about
    // the byte that follows.
    const QString text =
        QString::fromUtf8(m_pendingBytes.constData(), m_pendingBytes.size() - tail);
    m_pendingBytes = m_pendingBytes.right(tail);
    QString out;
    out.reserve(text.size());
    for (const QChar c : text)
        take(c, out);
    return out;
}

QString TerminalStream::finish()
{
    QString out;
    if (!m_pendingBytes.isEmpty())
        take(QChar(QChar::ReplacementCharacter), out);
    m_pendingBytes.clear();
    m_state = State::Text;
    return out;
}

void TerminalStream::take(QChar qc, QString &out)
{
    const char16_t c = qc.unicode();
    // Anywhere in a sequence ESC starts a new one, and CAN or SUB abandon it.
    if (m_state != State::Text) {
        if (c == kEscape) {
            m_state = State::Escape;
            return;
        }
        if (c == kCancel || c == kSubstitute) {
            m_state = State::Text;
            return;
        }
    }
    switch (m_state) {
    case State::Text:
        if (c == kEscape)
            m_state = State::Escape;
        else
            out += qc;
        return;
    case State::Escape:
        if (c == u'[') {
            m_state = State::ControlSequence;
        } else if (c == u']' || c == u'P' || c == u'X' || c == u'^' || c == u'_') {
            m_state = State::String;
            m_bellEnds = c == u']';
        } else if (within(c, 0x20, 0x2f)) {
            m_state = State::EscapeIntermediate;
        } else if (within(c, 0x30, 0x7e)) {
            m_state = State::Text; // two characters: ESC =, ESC 7, the ESC \ ending a string
        } else if (c < 0x20) {
            out += qc; // a terminal acts on a line feed even inside a sequence
        } else {
            m_state = State::Text; // not a sequence after all
            out += qc;
        }
        return;
    case State::EscapeIntermediate:
        if (within(c, 0x30, 0x7e)) {
            m_state = State::Text;
        } else if (c < 0x20) {
            out += qc;
        } else if (!within(c, 0x20, 0x2f)) {
            m_state = State::Text;
            out += qc;
        }
        return;
    case State::ControlSequence:
        if (within(c, 0x40, 0x7e)) {
            m_state = State::Text;
        } else if (c < 0x20) {
            out += qc;
        } else if (!within(c, 0x20, 0x3f)) {
            m_state = State::Text;
            out += qc;
        }
        return;
    case State::String:
        // Everything up to the end is the string's own (a title, an image).
        if (c == kBell && m_bellEnds)
            m_state = State::Text;
        return;
    }
}
