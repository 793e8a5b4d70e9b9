#include "core/Cp1252.h"

namespace orvalink::cp1252 {

namespace {

// Characters of the bytes 0x80..0x9F; 0xA0..0xFF are the same as Latin-1.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

int byteOf(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (int i = 0; i < 32; ++i) {
        if (kHigh[i] == c)
            return 0x80 + i;
    }
    return -1;
}

} // namespace

QString decode(QByteArrayView bytes)
{
    // Latin-1 first (fast), then the 32 bytes where the code page differs.
    QString text = QString::fromLatin1(bytes);
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    char16_t* out = nullptr;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const unsigned b = in[i];
        if (b - 0x80u < 0x20u) {
            if (!out)
                out = reinterpret_cast<char16_t*>(text.data());
            out[i] = kHigh[b - 0x80];
        }
    }
    return text;
}

QByteArray encode(QStringView text)
{
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char* out = bytes.data();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int b = byteOf(text[i].unicode());
        out[i] = char(b < 0 ? '?' : b);
    }
    return bytes;
}

bool canEncode(QChar c)
{
    return byteOf(c.unicode()) >= 0;
}

bool canEncodeAll(QStringView text)
{
    for (const QChar c : text) {
        if (!canEncode(c))
            return false;
    }
    return true;
}

QString toUpper(QStringView text)
{
    QString result = text.toString();
    for (QChar& c : result) {
        const QChar up = c.toUpper();
        if (up != c && canEncode(up))
            c = up;
    }
    return result;
}

} // namespace orvalink::cp1252
