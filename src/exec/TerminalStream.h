#pragma once

#include <QByteArray>
#include <QString>

// Turns one output stream of a program, read in arbitrary pieces, into display text:
// UTF-8 decoded across piece boundaries and without terminal escape sequences, even
// when a character or a sequence is split between two reads. One per stream.
class TerminalStream {
public:
    // The text that the bytes read so far complete; unfinished tails wait for more.
    QString feed(const QByteArray &bytes);
    // The stream has ended: whatever is still held back, decoded as it is.
    QString finish();

private:
    QString takeText(bool atEnd);

    QByteArray m_pendingBytes; // an incomplete UTF-8 sequence at the end
    QString m_pendingText;     // an unfinished escape sequence at the end
};
