#pragma once
// A database of `elements` made-up elements for the benchmarks: one section
// per MAC, each holding `keys` (a numbered name, a role that alternates,
// addresses for every other key), in nms.ini's CRLF lines.

#include <QByteArray>

#include <span>

namespace orvalink::bench {

inline QByteArray syntheticDatabase(int elements, std::span<const char* const> keys)
{
    QByteArray file;
    file.reserve(qsizetype(elements) * qsizetype(keys.size()) * 20);
    for (int i = 0; i < elements; ++i) {
        file += '[' + QByteArray::number(0x2E8BF2000000LL + i, 16).toUpper() + "]\r\n";
        for (const char* key : keys) {
            file += key;
            file += '=';
            if (qstrcmp(key, "NAME") == 0)
                file += QByteArray("ELEMENT ") + QByteArray::number(i).leftJustified(8, ' ');
            else if (qstrcmp(key, "ROLE") == 0)
                file += (i % 2) ? "1" : "2";
            else
                file += "10.20." + QByteArray::number(i / 250) + '.' + QByteArray::number(i % 250);
            file += "\r\n";
        }
    }
    return file;
}

} // namespace orvalink::bench
