#pragma once
// The text of one INI file and where its sections and keys stand in it.
//
// The document keeps the file's bytes (Windows-1252) as they are and, per
// section, where it starts and ends; a key is found by looking through the
// lines of its section when it is asked for, and only what is asked for is
// decoded. A file of any size costs its bytes and a few words per section.
//
// The rules of the text: a line ends with CR LF, LF or CR alone. Blanks
// (space, tab, vertical tab, form feed) around a line, a name or a value
// are not part of it. A line starting with ";" is a comment. A line
// starting with "[" begins a section named by what follows, up to the first
// "]". Every other line of a section that is not blank is a key line, its
// key what comes before the first "=" (the whole line when there is none).
// A UTF-8 byte-order mark before the first line is no part of it. Names are
// compared without regard to case; where a name occurs more than once, the
// first occurrence counts.
//
// An edit rewrites the text with every line ended by the file's first line
// end (CR LF for a new file), and keeps a missing line end at the end of the
// file missing.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace orvalink {

class IniDocument {
public:
    // Places are byte offsets into bytes() (a file is at most 64 MB).
    struct Section {
        int nameBegin = 0; // the trimmed name
        int nameSize = 0;
        int headerBegin = 0; // the header line, without its line end
        int headerEnd = 0;
        int bodyBegin = 0; // the first byte after the header line
        int end = 0;       // one past the section's last line
        uint hash = 0;
        bool first = false; // the first section of its name
    };
    struct KeyLine {
        int begin = 0; // the line, without its line end
        int end = 0;
        int eq = -1; // the first "=", or -1
    };

    // Why bytes are no text this model can hold and write back unchanged
    // (UTF-16 or UTF-32, NUL bytes), as a predicate of "the element
    // database"; empty when they are.
    static QString whyNotText(const QByteArray& bytes);
    // A section or key name without the blanks around it (space, tab, CR,
    // VT, FF), as every lookup takes it.
    static QStringView trimmed(QStringView name);

    IniDocument();
    explicit IniDocument(QByteArray bytes);

    // The text as it would be written.
    const QByteArray& bytes() const { return m_bytes; }

    const std::vector<Section>& sections() const { return m_sections; }
    const Section* find(QStringView name) const;
    QString nameOf(const Section& s) const;
    // The first key line of s whose key is key.
    bool findKey(const Section& s, QStringView key, KeyLine* found) const;
    // The first key line of each of count keys in s, in one look through
    // it: hit[i] tells whether keys[i] was found, found[i] where.
    void findKeys(const Section& s, const QStringView* keys, qsizetype count, KeyLine* found,
                  bool* hit) const;
    // Every key line of s in file order; visit returns false to stop.
    template <typename Visit> void forEachKeyLine(const Section& s, Visit visit) const
    {
        int from = s.bodyBegin;
        KeyLine k;
        while (nextKeyLine(s, &from, &k)) {
            if (!visit(k))
                return;
        }
    }
    int keyLineCount(const Section& s) const;
    QString keyOf(const KeyLine& k) const;
    QByteArrayView keyBytes(const KeyLine& k) const;
    // What follows the "=" (nothing for a line without one), untrimmed.
    QByteArrayView rawValueOf(const KeyLine& k) const;

    // Edits; each returns whether the text changed. Names are matched as a
    // written file would hold them (a character the code page lacks as "?").
    // Sets key of section to value (bytes as stored), creating section and
    // key (in upper case) as needed; an existing key line keeps its spelling.
    bool setValue(QStringView section, QStringView key, QByteArrayView value);
    // Removes every section of that name.
    bool removeSection(QStringView section);
    // Removes every key line of that key from the first section of its name.
    bool removeKey(QStringView section, QStringView key);
    // Replaces the line starting at byte begin by another text.
    void replaceLine(int begin, const QByteArray& text);
    QByteArrayView lineOf(const KeyLine& k) const;
    QByteArrayView headerOf(const Section& s) const;

private:
    // The first key line of s at or after *from; *from moves past it.
    // False at the end of the section.
    bool nextKeyLine(const Section& s, int* from, KeyLine* k) const;
    void parse();
    // The number of the line starting at byte offset (the count of lines
    // when offset is the end of the text).
    int lineAt(int offset) const;
    // The text with lines [from, to) replaced by inserted, parsed again.
    void spliceLines(int from, int to, const QList<QByteArray>& inserted);
    bool sameName(qsizetype begin, qsizetype size, QStringView name) const;

    QByteArray m_bytes;
    QByteArray m_eol;       // the line end edits write
    bool m_finalEol = true; // the last line ends with a line end
    bool m_loneCr = false;  // a CR ends a line by itself somewhere
    std::vector<Section> m_sections;
    std::vector<int> m_slots; // open hash of section names: index + 1, 0 for empty
};

} // namespace orvalink
