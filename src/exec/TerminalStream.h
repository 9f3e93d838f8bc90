#pragma once

#include <QByteArray>
#include <QString>

// Turns one output stream of a program, read in arbitrary pieces, into display text:
// UTF-8 decoded across piece boundaries and without terminal escape sequences, even
// when a character or a sequence is split between two reads. One per stream.
class TerminalStream {
public:
    // The text that the bytes read so far complete; an unfinished character waits for
    // more, and an unfinished sequence is remembered, never shown.
    QString feed(const QByteArray &bytes);
    // The stream has ended: a character cut short shows as one replacement mark, a
    // sequence cut short is dropped.
    QString finish();

private:
    // Where the reader is in the escape sequences, as a terminal tracks it.
    enum class State : quint8 {
        Text,
        Escape,             // after ESC
        EscapeIntermediate, // ESC and blank to "/", as in "ESC ( B"
        ControlSequence,    // ESC [ up to its final byte
        String,             // OSC, DCS, SOS, PM, APC up to ESC \ (OSC also BEL)
    };

    void take(QChar c, QString &out);

    QByteArray m_pendingBytes; // an incomplete UTF-8 sequence at the end
    State m_state = State::Text;
    bool m_bellEnds = false; // the string is an OSC
};
