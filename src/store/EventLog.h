#pragma once
// The event log: what every operation of the window and of the CLI ended
// with, kept in events.log beside the element database.
//
// One line per event, fields separated by tabs, in this order:
//
//     time  operation  outcome  mac  name  host  cause  key  old  new
//
// time is UTC with milliseconds ("2026-12-08T14:03:07.125Z"). Inside a field
// a backslash is written "\\", a tab "\t", a line feed "\n", a carriage
// return "\r" and any other control character "\xNN", so a name or a cause
// can never end a line or add a field. Readers take lines with at least these
// ten fields and ignore fields after them, so fields can be added later.
//
// Several processes append to the same file (the desktop program, every CLI
// run): each append takes the file's lock (events.log.lock), rotates the file
// when it would grow past its size limit and adds its line in one write to a
// file opened for appending. Rotation keeps events.log.1 .. .N.

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

class QTimer;

namespace orvalink {

struct Event {
    QDateTime time;    // UTC, to the millisecond; set at append when null
    QString operation; // a short word: probe, apply, set, delete, ping, ...
    QString outcome;   // "ok", "failed", or another short word ("cancelled")
    QString mac;       // the element's MAC in the colon form, empty when unknown
    QString name;      // the element's name, without the padding of nms.ini
    QString host;      // the address the operation talked to, if any
    QString cause;     // why it failed; for an "ok", what it did ("12 ms")
    // A confirmed SET: the nms.ini key and the values before and after.
    QString key;
    QString oldValue;
    QString newValue;

    bool isSet() const { return !key.isEmpty(); }
    bool operator==(const Event&) const = default;
};

class EventLog : public QObject {
    Q_OBJECT
public:
    // Size and number of files; the defaults are the product's.
    struct Limits {
        qint64 maxBytes = 1024 * 1024; // a file is rotated before it grows past this
        int rotatedFiles = 3;          // events.log.1 .. .3 are kept
        int lockTimeoutMs = 1000;      // how long an append waits for another writer
        int historySize = 1000;        // events kept in memory for the window
    };

    explicit EventLog(const QString& logPath, QObject* parent = nullptr);
    EventLog(const QString& logPath, const Limits& limits, QObject* parent = nullptr);

    // events.log beside the database at dbPath (beside the file a symbolic
    // link points to, as the database's lock is). Empty when the database is
    // there but is no regular file (a device, a pipe, a folder): such a
    // database is refused, and no log is made beside it (/dev/events.log).
    // A log on an empty path keeps its history but writes and reads no file.
    static QString pathFor(const QString& dbPath);

    const QString& path() const { return m_path; }
    const Limits& limits() const { return m_limits; }

    // Writes the event as one line; false when it could not be written
    // (lastError() says why). The event joins the history and appended() is
    // emitted either way: what happened is shown even when the file failed.
    bool append(const Event& event);
    QString lastError() const { return m_error; }

    // Every readable event of the file and its rotated files, oldest first;
    // only those at or after since (when valid) and of the element mac (when
    // not empty; colon form or 12 digits). A file of them that is there but
    // cannot be read (a pipe, a folder, no permission) is skipped and named
    // in *error when given. A file larger than the reading bound (64 MB) is
    // read in part, its newest lines, and *note says so.
    QList<Event> read(const QDateTime& since = {}, const QString& mac = {},
                      QString* error = nullptr, QString* note = nullptr) const;

    // The newest events, oldest first: filled from the files by
    // loadHistory(), then by every append().
    const QList<Event>& history() const { return m_history; }
    void loadHistory();

    // Events that other processes (orvalink-cli runs) appended since
    // loadHistory() or the last call join the history and are emitted with
    // appended(), once each; this process's own lines are already there.
    // Returns how many joined.
    int takeOtherAppends();
    // Calls takeOtherAppends() every intervalMs (0 stops it).
    void followFile(int intervalMs);

    // The line of an event (without its line feed) and back; parse returns
    // false for a line that is not an event.
    static QByteArray format(const Event& event);
    static bool parse(const QByteArray& line, Event* event);
    // A MAC in either form as 12 upper-case digits, or "" when it is none.
    static QString macDigits(const QString& mac);

Q_SIGNALS:
    void appended(const orvalink::Event& event);

private:
    QStringList filesOldestFirst() const;
    static QList<Event> readFile(const QString& path, const QDateTime& since,
                                 const QString& macDigits, QString* error = nullptr,
                                 QString* note = nullptr);
    bool write(const QByteArray& line);
    bool rotate();
    void remember(const Event& event);
    bool inHistory(const Event& event) const;

    QString m_path;
    Limits m_limits;
    QString m_error;
    QList<Event> m_history;
    qint64 m_readOffset = 0; // bytes of events.log the history has seen
    QTimer* m_followTimer = nullptr;
};

} // namespace orvalink
