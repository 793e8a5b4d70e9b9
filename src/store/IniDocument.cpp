#include "store/IniDocument.h"

#include "core/Cp1252.h"

#include <QVarLengthArray>

#include <array>
#include <cstring>

namespace orvalink {

namespace {

bool isIniSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

bool isIniSpace(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x80 && isIniSpace(char(u));
}

void trim(const char* p, int& b, int& e)
{
    while (b < e && isIniSpace(p[b]))
        ++b;
    while (e > b && isIniSpace(p[e - 1]))
        --e;
}

// Names are compared as Unicode text without regard to case: each byte is
// folded as the character it stands for, and so is each character asked for.
const std::array<char16_t, 256>& foldTable()
{
    static const std::array<char16_t, 256> table = [] {
        std::array<char16_t, 256> t{};
        for (int b = 0; b < 256; ++b) {
            const char byte = char(b);
            t[b] = cp1252::decode(QByteArrayView(&byte, 1)).at(0).toCaseFolded().unicode();
        }
        return t;
    }();
    return table;
}

char16_t fold(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80)
        return (u >= u'A' && u <= u'Z') ? u + 32 : u;
    return c.toCaseFolded().unicode();
}

uint hashOf(QStringView name)
{
    uint h = 0;
    for (const QChar c : name)
        h = h * 31 + fold(c);
    return h;
}

uint hashOf(const char* p, int size, const std::array<char16_t, 256>& table)
{
    uint h = 0;
    for (int i = 0; i < size; ++i)
        h = h * 31 + table[uchar(p[i])];
    return h;
}

// The end of the line starting at from, and where the next one starts.
// Where every CR stands before an LF, a line ends at the next LF (found the
// fast way) less the CR before it.
int lineEnd(const char* p, int from, int n, bool loneCr, int* next)
{
    if (!loneCr) {
        const void* lf = std::memchr(p + from, '\n', size_t(n - from));
        if (!lf) {
            *next = n;
            return n > from && p[n - 1] == '\r' ? n - 1 : n;
        }
        const int i = int(static_cast<const char*>(lf) - p);
        *next = i + 1;
        return i > from && p[i - 1] == '\r' ? i - 1 : i;
    }
    int i = from;
    while (i < n && p[i] != '\n' && p[i] != '\r')
        ++i;
    *next = i >= n ? n : i + ((p[i] == '\r' && i + 1 < n && p[i + 1] == '\n') ? 2 : 1);
    return i;
}

// True when a CR in bytes ends a line by itself (not followed by an LF).
bool hasLoneCr(const QByteArray& bytes)
{
    const char* p = bytes.constData();
    const qsizetype n = bytes.size();
    for (const char* cr = p;
         (cr = static_cast<const char*>(std::memchr(cr, '\r', size_t(n - (cr - p))))); ++cr) {
        if (cr + 1 == p + n || cr[1] != '\n')
            return true;
    }
    return false;
}

// A name as a rewritten file holds it: a character the code page lacks
// becomes "?".
QString asStored(QStringView name)
{
    return cp1252::decode(cp1252::encode(IniDocument::trimmed(name)));
}

} // namespace

QStringView IniDocument::trimmed(QStringView s)
{
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && isIniSpace(s[b]))
        ++b;
    while (e > b && isIniSpace(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

// Text this store would misread and then corrupt on the next write: the
// database is single-byte text. A UTF-8 byte-order mark is skipped instead.
QString IniDocument::whyNotText(const QByteArray& bytes)
{
    const auto starts = [&](const char* mark, qsizetype size) {
        return bytes.startsWith(QByteArrayView(mark, size));
    };
    QString kind;
    if (starts("\xFF\xFE\x00\x00", 4) || starts("\x00\x00\xFE\xFF", 4))
        kind = QStringLiteral("UTF-32");
    else if (starts("\xFF\xFE", 2) || starts("\xFE\xFF", 2))
        kind = QStringLiteral("UTF-16");
    if (!kind.isEmpty())
        return QStringLiteral("is %1 text (it starts with a %1 byte-order mark); an element "
                              "database is ANSI (Windows-1252) text. Save it in that encoding, "
                              "or name another file")
            .arg(kind);
    // A file that is no text at all (a program, an image, random bytes):
    // read as a database it would list as empty, and the next write would
    // replace it. Text never holds a NUL byte; other control characters may
    // stand in a name and are no sign of a wrong file.
    if (bytes.contains('\0'))
        return QStringLiteral("is not a text file (it holds NUL bytes); an element database "
                              "is text. Name another file");
    return {};
}

IniDocument::IniDocument() : m_eol("\r\n")
{
    parse();
}

IniDocument::IniDocument(QByteArray bytes) : m_bytes(std::move(bytes)), m_eol("\r\n")
{
    // The first line end of the file is the one rewritten lines get.
    const char* p = m_bytes.constData();
    const int n = int(m_bytes.size());
    for (int i = 0; i < n; ++i) {
        if (p[i] == '\n') {
            m_eol = "\n";
            break;
        }
        if (p[i] == '\r') {
            m_eol = (i + 1 < n && p[i + 1] == '\n') ? QByteArray("\r\n") : QByteArray("\r");
            break;
        }
    }
    m_finalEol = n == 0 || p[n - 1] == '\n' || p[n - 1] == '\r';
    parse();
}

void IniDocument::parse()
{
    m_loneCr = hasLoneCr(m_bytes);
    m_sections.clear();
    const auto& table = foldTable();
    const char* p = m_bytes.constData();
    const int n = int(m_bytes.size());
    // A section starts at a "[" that is the first thing on its line, after
    // blanks (and on the first line after a UTF-8 byte-order mark an editor
    // left): the text is searched for "[", and only lines holding one are
    // looked at.
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; };
    for (int at = 0; at < n;) {
        const void* bracket = std::memchr(p + at, '[', size_t(n - at));
        if (!bracket)
            break;
        const int b = int(static_cast<const char*>(bracket) - p);
        int start = b;
        while (start > 0 && blank(p[start - 1]))
            --start;
        if (start >= 3 && std::memcmp(p + start - 3, "\xEF\xBB\xBF", 3) == 0) {
            int before = start - 3;
            while (before > 0 && blank(p[before - 1]))
                --before;
            if (before == 0)
                start = 0;
        }
        if (start > 0 && p[start - 1] != '\n' && p[start - 1] != '\r') {
            at = b + 1; // within a line
            continue;
        }
        int next = 0;
        const int end = lineEnd(p, start, n, m_loneCr, &next);
        int e = end;
        while (e > b && isIniSpace(p[e - 1]))
            --e;
        int nb = b + 1;
        const void* close = std::memchr(p + nb, ']', size_t(e - nb));
        int ne = close ? int(static_cast<const char*>(close) - p) : e;
        trim(p, nb, ne);
        Section s;
        s.nameBegin = nb;
        s.nameSize = ne - nb;
        s.headerBegin = start;
        s.headerEnd = end;
        s.bodyBegin = next;
        s.hash = hashOf(p + nb, ne - nb, table);
        m_sections.push_back(s);
        at = next;
    }
    // A section ends where the next one's header line starts.
    for (size_t i = 0; i < m_sections.size(); ++i)
        m_sections[i].end = i + 1 < m_sections.size() ? m_sections[i + 1].headerBegin : n;

    // The index of names: the first section of each name is the one found.
    size_t size = 16;
    while (size < m_sections.size() * 2)
        size *= 2;
    m_slots.assign(size, 0);
    const size_t mask = size - 1;
    for (size_t i = 0; i < m_sections.size(); ++i) {
        Section& s = m_sections[i];
        size_t slot = s.hash & mask;
        bool taken = false;
        while (m_slots[slot] != 0) {
            const Section& other = m_sections[size_t(m_slots[slot] - 1)];
            if (other.hash == s.hash && other.nameSize == s.nameSize &&
                std::equal(p + other.nameBegin, p + other.nameBegin + other.nameSize,
                           p + s.nameBegin,
                           [&](char a, char b) { return table[uchar(a)] == table[uchar(b)]; })) {
                taken = true;
                break;
            }
            slot = (slot + 1) & mask;
        }
        if (!taken) {
            m_slots[slot] = int(i) + 1;
            s.first = true;
        }
    }
}

bool IniDocument::sameName(qsizetype begin, qsizetype size, QStringView name) const
{
    if (size != name.size())
        return false;
    const auto& table = foldTable();
    const char* p = m_bytes.constData() + begin;
    for (qsizetype i = 0; i < size; ++i) {
        if (table[uchar(p[i])] != fold(name[i]))
            return false;
    }
    return true;
}

const IniDocument::Section* IniDocument::find(QStringView name) const
{
    const QStringView t = trimmed(name);
    const uint h = hashOf(t);
    const size_t mask = m_slots.size() - 1;
    for (size_t slot = h & mask; m_slots[slot] != 0; slot = (slot + 1) & mask) {
        const Section& s = m_sections[size_t(m_slots[slot] - 1)];
        if (s.hash == h && sameName(s.nameBegin, s.nameSize, t))
            return &s;
    }
    return nullptr;
}

QString IniDocument::nameOf(const Section& s) const
{
    return cp1252::decode(QByteArrayView(m_bytes.constData() + s.nameBegin, s.nameSize));
}

bool IniDocument::nextKeyLine(const Section& s, int* from, KeyLine* k) const
{
    const char* p = m_bytes.constData();
    while (*from < s.end) {
        int next = 0;
        const int end = lineEnd(p, *from, s.end, m_loneCr, &next);
        int b = *from;
        int e = end;
        trim(p, b, e);
        const int begin = *from;
        *from = next;
        if (b < e && p[b] != ';') {
            const void* eq = std::memchr(p + begin, '=', size_t(end - begin));
            *k = KeyLine{begin, end, eq ? int(static_cast<const char*>(eq) - p) : -1};
            return true;
        }
    }
    return false;
}

int IniDocument::keyLineCount(const Section& s) const
{
    int count = 0;
    forEachKeyLine(s, [&](const KeyLine&) {
        ++count;
        return true;
    });
    return count;
}

int IniDocument::lineAt(int offset) const
{
    const char* p = m_bytes.constData();
    const int n = int(m_bytes.size());
    int line = 0;
    for (int pos = 0; pos < offset && pos < n; ++line) {
        int next = 0;
        lineEnd(p, pos, n, m_loneCr, &next);
        pos = next;
    }
    return line;
}

QByteArrayView IniDocument::keyBytes(const KeyLine& k) const
{
    const char* p = m_bytes.constData();
    int b = k.begin;
    int e = k.eq < 0 ? k.end : k.eq;
    trim(p, b, e);
    return QByteArrayView(p + b, e - b);
}

bool IniDocument::findKey(const Section& s, QStringView key, KeyLine* found) const
{
    bool hit = false;
    findKeys(s, &key, 1, found, &hit);
    return hit;
}

void IniDocument::findKeys(const Section& s, const QStringView* keys, qsizetype count,
                           KeyLine* found, bool* hit) const
{
    constexpr qsizetype kBatch = 32;
    if (count > kBatch) {
        findKeys(s, keys, kBatch, found, hit);
        findKeys(s, keys + kBatch, count - kBatch, found + kBatch, hit + kBatch);
        return;
    }
    // Which of the wanted keys a line's first byte may begin: a line is
    // looked at closely only then (an empty key: every line).
    const auto& table = foldTable();
    std::array<quint32, 256> candidates{};
    quint32 any = 0;
    QVarLengthArray<QStringView, kBatch> wanted;
    for (qsizetype i = 0; i < count; ++i) {
        wanted.append(trimmed(keys[i]));
        hit[i] = false;
        const quint32 bit = quint32(1) << i;
        if (wanted[i].isEmpty()) {
            any |= bit;
            continue;
        }
        const char16_t initial = fold(wanted[i].front());
        if (initial < 0x80) { // only ASCII folds to ASCII in the code page
            candidates[initial] |= bit;
            if (initial >= u'a' && initial <= u'z')
                candidates[initial - 32] |= bit;
            continue;
        }
        for (int b = 0x80; b < 0x100; ++b) {
            if (table[b] == initial)
                candidates[b] |= bit;
        }
    }
    const char* p = m_bytes.constData();
    quint32 open = count == kBatch ? ~quint32(0) : (quint32(1) << count) - 1;
    for (int from = s.bodyBegin; from < s.end && open != 0;) {
        int next = 0;
        const int end = lineEnd(p, from, s.end, m_loneCr, &next);
        int b = from;
        while (b < end && isIniSpace(p[b]))
            ++b;
        quint32 maybe = b < end && p[b] != ';' ? (candidates[uchar(p[b])] | any) & open : 0;
        if (maybe != 0) {
            const void* eq = std::memchr(p + from, '=', size_t(end - from));
            const KeyLine k{from, end, eq ? int(static_cast<const char*>(eq) - p) : -1};
            const QByteArrayView name = keyBytes(k);
            for (; maybe != 0; maybe &= maybe - 1) {
                const int i = int(qCountTrailingZeroBits(maybe));
                if (sameName(name.data() - p, name.size(), wanted[i])) {
                    found[i] = k;
                    hit[i] = true;
                    open &= ~(quint32(1) << i);
                }
            }
        }
        from = next;
    }
}

QString IniDocument::keyOf(const KeyLine& k) const
{
    return cp1252::decode(keyBytes(k));
}

QByteArrayView IniDocument::rawValueOf(const KeyLine& k) const
{
    if (k.eq < 0)
        return {};
    return QByteArrayView(m_bytes.constData() + k.eq + 1, k.end - k.eq - 1);
}

QByteArrayView IniDocument::lineOf(const KeyLine& k) const
{
    return QByteArrayView(m_bytes.constData() + k.begin, k.end - k.begin);
}

QByteArrayView IniDocument::headerOf(const Section& s) const
{
    return QByteArrayView(m_bytes.constData() + s.headerBegin, s.headerEnd - s.headerBegin);
}

void IniDocument::spliceLines(int from, int to, const QList<QByteArray>& inserted)
{
    QByteArray out;
    out.reserve(m_bytes.size() + 64 * (inserted.size() + 1));
    int count = 0;
    const auto add = [&](QByteArrayView text) {
        if (count++ > 0)
            out += m_eol;
        out += text;
    };
    const char* p = m_bytes.constData();
    const int n = int(m_bytes.size());
    int line = 0;
    for (int pos = 0; pos < n; ++line) {
        int next = 0;
        const int end = lineEnd(p, pos, n, m_loneCr, &next);
        if (line == from) {
            for (const QByteArray& text : inserted)
                add(text);
        }
        if (line < from || line >= to)
            add(QByteArrayView(p + pos, end - pos));
        pos = next;
    }
    if (from >= line) {
        for (const QByteArray& text : inserted)
            add(text);
    }
    if (m_finalEol && count > 0)
        out += m_eol;
    m_bytes = std::move(out);
    parse();
}

void IniDocument::replaceLine(int begin, const QByteArray& text)
{
    const int line = lineAt(begin);
    spliceLines(line, line + 1, {text});
}

bool IniDocument::setValue(QStringView section, QStringView key, QByteArrayView value)
{
    const QString name = asStored(section);
    const Section* s = find(name);
    const QByteArray upper = cp1252::encode(cp1252::toUpper(trimmed(key)));
    if (!s) {
        const int count = lineAt(int(m_bytes.size()));
        spliceLines(count, count,
                    {'[' + cp1252::encode(name) + ']', upper + '=' + value.toByteArray()});
        return true;
    }
    KeyLine k;
    if (findKey(*s, asStored(key), &k)) {
        // In place: the key keeps its spelling and the rest of the file its bytes.
        const QByteArrayView old = lineOf(k);
        const QByteArray line =
            k.eq < 0 ? old.toByteArray() + '=' + value.toByteArray()
                     : old.first(k.eq + 1 - k.begin).toByteArray() + value.toByteArray();
        if (old == QByteArrayView(line))
            return false;
        replaceLine(k.begin, line);
        return true;
    }
    int last = -1;
    forEachKeyLine(*s, [&](const KeyLine& l) {
        last = l.begin;
        return true;
    });
    const int at = last < 0 ? lineAt(s->bodyBegin) : lineAt(last) + 1;
    spliceLines(at, at, {upper + '=' + value.toByteArray()});
    return true;
}

bool IniDocument::removeSection(QStringView section)
{
    const QStringView name = trimmed(section);
    QList<std::pair<int, int>> ranges;
    for (const Section& s : m_sections) {
        if (sameName(s.nameBegin, s.nameSize, name))
            ranges.append({lineAt(s.headerBegin), lineAt(s.end)});
    }
    for (qsizetype i = ranges.size() - 1; i >= 0; --i)
        spliceLines(ranges.at(i).first, ranges.at(i).second, {});
    return !ranges.isEmpty();
}

bool IniDocument::removeKey(QStringView section, QStringView key)
{
    const Section* s = find(section);
    if (!s)
        return false;
    const QStringView k = trimmed(key);
    QList<int> lines;
    forEachKeyLine(*s, [&](const KeyLine& l) {
        const QByteArrayView name = keyBytes(l);
        if (sameName(name.data() - m_bytes.constData(), name.size(), k))
            lines.append(lineAt(l.begin));
        return true;
    });
    for (qsizetype i = lines.size() - 1; i >= 0; --i)
        spliceLines(lines.at(i), lines.at(i) + 1, {});
    return !lines.isEmpty();
}

} // namespace orvalink
