#pragma once
// The element database nms.ini: its shared text forms and the list of
// elements that the tree, the hidden section list and the encoder list show.

#include <QList>
#include <QPair>
#include <QString>

#include <functional>

namespace orvalink {

class IniStore;

// Dotted-decimal IPv4 check: exactly four parts, each a whole number 0..255
// (leading zeros and blanks (spaces) around the digits accepted).
bool IsValidIPAddress(const QString& strIPAddress);
// "2e:8b:f2:0a:0b:0c" -> "2E8BF20A0B0C"; any text not 17 characters long -> "".
QString Encode_MAC(const QString& srcMAC);
// "2e8bf2001a2b" -> "2E:8B:F2:00:1A:2B"; any text not 12 characters long -> "".
QString Decode_MAC(const QString& srcSection);
// Exactly 16 characters, upper case, padded with blanks or cut. A letter
// whose upper-case form the database's code page cannot hold stays as it is.
QString Encode_Name(const QString& srcName);

// Where the database lives: nms.ini in the program's folder for a copy run
// from its own folder, when it may write there; otherwise nms.ini in the
// user's data folder (on Linux ~/.local/share/Quorvane/Orvalink NMS, created
// when missing). A program installed under /usr, /usr/local or /opt always
// keeps it in the user's data folder, whoever runs it.
struct DatabaseLocation {
    QString path;
    // Set only by the call that has just copied nms.ini from beside the
    // program into the user's data folder: what to tell the operator, once.
    QString notice;
};
// The choice for given folders. With adopt, a readable nms.ini beside the
// program that is not used there is copied (with its mode) into the user's
// data folder when that holds none yet; the original is left untouched.
DatabaseLocation chooseDatabaseLocation(const QString& programDir, const QString& userDataDir,
                                        bool adopt);
// The choice for this program, adopting a database left beside it: what a
// program uses at start.
DatabaseLocation defaultDatabaseLocation();
// Only the path, copying nothing (what --help shows).
QString chooseDatabasePath(const QString& programDir, const QString& userDataDir);
QString defaultDatabasePath();

// What an element's section gives when it holds no agent address or write
// community: the devices' factory settings.
inline const QString kDefaultAgentAddress = QStringLiteral("192.168.1.15");
inline const QString kDefaultWriteCommunity = QStringLiteral("kestrvla");

enum class ElementRole { Unknown = 0, Encoder = 1, Decoder = 2 };

// The keys the program's own operations write into an element's section
// (probe, discovery, apply, SNMP properties, SFN adjustment), lower case.
const QStringList& elementKeys();
// More keys than this beside elementKeys() make a section damaged.
inline constexpr int kMaxForeignKeys = 24;
// A section the panel will not show and the remote protocol will not save
// to: more than kMaxForeignKeys keys that none of the program's operations
// writes. A section written by discovery and then a probe (26 keys of our
// own) is no damaged section.
bool sectionIsDamaged(const IniStore& store, const QString& section, const QString& path);

// The kind a stored role text names: its leading number 1 is an ENCODER,
// 2 a DECODER; anything else, a missing role included, is Unknown.
ElementRole roleFromText(const QString& roleText);
// "ENCODER", "DECODER", or "UNKNOWN" for any other role, as the panel shows
// it; and back (any other caption is Unknown).
QString roleCaption(ElementRole role);
ElementRole roleOfCaption(const QString& caption);

struct ElementEntry {
    QString section;  // 12 hex digits as in the file
    QString mac;      // colon form: the tree node key
    QString name;     // stored name, trimmed
    QString roleText; // stored role text, trimmed ("" when missing)
    ElementRole role = ElementRole::Unknown;
    QString nodeText; // name + " [" + mac + "]"
    QString ip;       // the element's own address (key ip), as stored
    QString snmpIp;   // the address of its SNMP agent (key snmpip), as stored
    bool isEncoder() const { return role == ElementRole::Encoder; }
};

struct ElementList {
    // Why the file cannot be read (it exists, but is no database this
    // program can read); the list is then empty, but that is an error.
    QString error;
    bool empty = true; // missing file or no sections: "Local database is empty."
    QList<ElementEntry> entries;
};

// Reads every section of the database in file order.
ElementList loadElementList(const IniStore& store, const QString& path);
// The same list handed to visit one element at a time, as each is read,
// keeping none of them (a list printed as it is read costs the file, not
// the file and the list). The result holds no entries.
ElementList visitElementList(const IniStore& store, const QString& path,
                             const std::function<void(ElementEntry&)>& visit);

// nms.ini at one path, read and written through one store: what device
// operations and the command-line verbs are handed. It keeps no copy; every
// read sees the file as it is, every write goes to the file at once.
class Database {
public:
    Database(IniStore& store, const QString& path) : m_store(store), m_path(path) {}

    QString read(const QString& section, const QString& key, const QString& def = QString()) const;
    // True when nms.ini now holds the value; otherwise lastError() says why
    // and the file is unchanged.
    bool write(const QString& section, const QString& key, const QString& value);
    // Several keys of one section in one rewrite: all of them, or none.
    bool writeKeys(const QString& section, const QList<QPair<QString, QString>>& keyValues);
    QString lastError() const;
    bool sectionExists(const QString& section) const;

    IniStore& store() const { return m_store; }
    const QString& path() const { return m_path; }

private:
    IniStore& m_store;
    QString m_path;
};

} // namespace orvalink
