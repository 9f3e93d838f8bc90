#pragma once

#include <QByteArray>

// Paths as text for other programs to read back. A path is bytes and need not be UTF-8:
// valid UTF-8 passes as it is, and each byte that is not part of a valid sequence is
// written as the character U+DC00 + byte (U+DC80..U+DCFF). Those are lone surrogates,
// which valid UTF-8 can never hold, so the mapping is reversible; it is the one Python's
// os.fsencode() undoes ("surrogateescape").
namespace PathText {

// A quoted JSON string: stray bytes as \udcXX, control characters escaped.
QByteArray json(const QByteArray &path);
// One byte of a JSON string: quote, backslash and control characters escaped, any other
// byte (0x80 and up too) as it is.
void appendJsonByte(QByteArray &out, unsigned char c);
// UTF-8 text: stray bytes as the six characters \udcXX, every backslash doubled, nothing
// else changed.
QByteArray escaped(const QByteArray &path);
// One RFC 4180 field: quoted (quotes doubled) when it holds a comma, a quote, CR or LF.
QByteArray csvField(const QByteArray &text);
// The length of the valid UTF-8 sequence at `p` (at most `left` bytes), 0 when invalid.
int utf8Length(const unsigned char *p, qsizetype left);

} // namespace PathText
