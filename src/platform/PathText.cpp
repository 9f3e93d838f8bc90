#include "platform/PathText.h"

namespace {

const char kHex[] = "0123456789abcdef";

void appendStray(QByteArray &out, unsigned char byte)
{
    out += "\\udc";
    out += kHex[byte >> 4];
    out += kHex[byte & 15];
}

} // namespace

namespace PathText {

int utf8Length(const unsigned char *p, qsizetype left)
{
    const unsigned char c = p[0];
    if (c < 0x80)
        return 1;
    int length = 0;
    unsigned char low = 0x80, high = 0xBF; // the second byte's range
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0)
            low = 0xA0; // no overlong forms
        else if (c == 0xED)
            high = 0x9F; // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0)
            low = 0x90;
        else if (c == 0xF4)
            high = 0x8F; // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (left < length || p[1] < low || p[1] > high)
        return 0;
    for (int i = 2; i < length; ++i) {
        if (p[i] < 0x80 || p[i] > 0xBF)
            return 0;
    }
    return length;
}

void appendJsonByte(QByteArray &out, unsigned char c)
{
    switch (c) {
    case '"':
        out += "\\\"";
        break;
    case '\\':
        out += "\\\\";
        break;
    case '\n':
        out += "\\n";
        break;
    case '\r':
        out += "\\r";
        break;
    case '\t':
        out += "\\t";
        break;
    case '\b':
        out += "\\b";
        break;
    case '\f':
        out += "\\f";
        break;
    default:
        if (c < 0x20 || c == 0x7F) {
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += char(c);
        }
    }
}

QByteArray json(const QByteArray &path)
{
    QByteArray out;
    out.reserve(path.size() + 2);
    out += '"';
    const auto *p = reinterpret_cast<const unsigned char *>(path.constData());
    const qsizetype n = path.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c >= 0x80) {
            const int length = utf8Length(p + i, n - i);
            if (length == 0) {
                appendStray(out, c);
                ++i;
            } else {
                out.append(reinterpret_cast<const char *>(p + i), length);
                i += length;
            }
            continue;
        }
        appendJsonByte(out, c);
        ++i;
    }
    out += '"';
    return out;
}

QByteArray escaped(const QByteArray &path)
{
    QByteArray out;
    out.reserve(path.size());
    const auto *p = reinterpret_cast<const unsigned char *>(path.constData());
    const qsizetype n = path.size();
    for (qsizetype i = 0; i < n;) {
        const int length = utf8Length(p + i, n - i);
        if (length == 0) {
            appendStray(out, p[i]);
            ++i;
        } else {
            if (p[i] == '\\')
                out += '\\';
            out.append(reinterpret_cast<const char *>(p + i), length);
            i += length;
        }
    }
    return out;
}

QByteArray csvField(const QByteArray &text)
{
    bool quote = false;
    for (const char c : text) {
        if (c == ',' || c == '"' || c == '\r' || c == '\n') {
            quote = true;
            break;
        }
    }
    if (!quote)
        return text;
    QByteArray out;
    out.reserve(text.size() + 2);
    out += '"';
    for (const char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

} // namespace PathText
