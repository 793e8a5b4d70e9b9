// The alarm book's rules, acknowledgement and file, without a network.
#include "monitor/AlarmBook.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include <sys/stat.h>

using namespace orvalink;

namespace {

// Only a text in the alarms: nothing is sent to it.
const QString kDecHost = QStringLiteral("127.0.0.21"); // text only

ElementEntry element(const char* section, const char* name)
{
    ElementEntry e;
    e.section = QLatin1String(section);
    e.mac = EventLog::macDigits(e.section); // the colon form is not needed here
    e.name = QLatin1String(name);
    return e;
}

Trap v1(int generic, qint64 specific = 0, const QString& enterprise = {},
        QList<TrapBinding> bindings = {})
{
    Trap t;
    t.version = Trap::Version::V1;
    t.enterprise = enterprise.isEmpty() ? QStringLiteral("1.3.6.1.4.1.44467.3") : enterprise;
    t.genericTrap = generic;
    t.specificTrap = specific;
    t.sourceAddress = 0x7F000015; // kDecHost
    t.bindings = std::move(bindings);
    return t;
}

Trap link(bool down, int ifIndex)
{
    return v1(down ? 2 : 3, 0, {},
              {{QStringLiteral("1.3.6.1.2.1.2.2.1.1.%1").arg(ifIndex), QStringLiteral("INTEGER"),
                QString::number(ifIndex)}});
}

QStringList kinds(const AlarmBook& book)
{
    QStringList out;
    for (const Alarm& a : book.alarms())
        out << a.section + QLatin1Char(' ') + a.kind + QLatin1Char(' ') + a.instance;
    return out;
}

} // namespace

class TstAlarmBook : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Catches: an alarm that never clears (or clears on the wrong event),
    // a linkUp clearing another interface's linkDown, a repeated trap
    // raised twice, a restart alarm that stays, an enterprise trap not
    // named from the MIB (or a foreign one raised), an acknowledgement that
    // clears an alarm whose condition still holds, and alarms lost, changed
    // or readable by others across a restart of the program.
    void rulesAcknowledgementAndFile()
    {
        QTemporaryDir dir;
        const QString path = AlarmBook::pathFor(dir.filePath(QStringLiteral("nms.ini")));
        QCOMPARE(path, dir.filePath(QStringLiteral("alarms.json")));
        Timings t;
        t.alarmRestartedMs = 150;
        AlarmBook book(t);
        QVERIFY(book.open(path));
        QSignalSpy raised(&book, &AlarmBook::raised);
        QSignalSpy cleared(&book, &AlarmBook::cleared);
        const ElementEntry enc = element("2E8BF2000101", "ENC");
        const ElementEntry dec = element("2E8BF2000201", "DEC");

        // Unreachable until it answers again; the same finding is one alarm.
        book.setReachable(dec.section, dec.mac, dec.name, kDecHost, false,
                          QStringLiteral("no reply from ") + kDecHost);
        book.setReachable(dec.section, dec.mac, dec.name, kDecHost, false);
        QCOMPARE(raised.size(), 1);
        AlarmSeverity worst = AlarmSeverity::Warning;
        QVERIFY(book.worst(dec.section, &worst));
        QCOMPARE(worst, AlarmSeverity::Critical);
        book.setReachable(dec.section, dec.mac, dec.name, kDecHost, true);
        QCOMPARE(cleared.size(), 1);
        QCOMPARE(book.count(), 0);

        // linkDown holds until the linkUp of the same interface.
        book.trapReceived(link(true, 1), enc);
        book.trapReceived(link(true, 2), enc);
        book.trapReceived(link(true, 2), enc); // again: counted, not raised
        book.trapReceived(link(false, 1), enc);
        book.trapReceived(link(false, 7), enc); // no such link down
        QCOMPARE(kinds(book), QStringList{QStringLiteral("2E8BF2000101 linkDown 2")});
        QCOMPARE(book.alarms().at(0).count, 2);
        QCOMPARE(book.alarms().at(0).severity, AlarmSeverity::Major);

        // The devices' own traps: named from the MIB, or by number; another
        // enterprise's trap and a trap of no element raise nothing.
        book.trapReceived(v1(6, 1, {},
                             {{QStringLiteral("1.3.6.1.4.1.44467.1.1.0"),
                               QStringLiteral("OCTET STRING"), QStringLiteral("STUDIO\nA")}}),
                          dec);
        book.trapReceived(v1(6, 9), dec);
        book.trapReceived(v1(6, 1, QStringLiteral("1.3.6.1.4.1.9.9")), dec);
        book.trapReceived(v1(4), ElementEntry{});
        book.trapReceived(v1(4), dec); // authenticationFailure
        QCOMPARE(
            kinds(book),
            (QStringList{QStringLiteral("2E8BF2000101 linkDown 2"),
                         QStringLiteral("2E8BF2000201 authenticationFailure "),
                         QStringLiteral("2E8BF2000201 enterpriseSpecific 1.3.6.1.4.1.44467.3.0.9"),
                         QStringLiteral("2E8BF2000201 silenceDetected 1.3.6.1.4.1.44467.3.0.1")}));
        const Alarm silence = book.alarms().at(3);
        QCOMPARE(silence.text, QStringLiteral("ORVALINK-MIB::silenceDetected "
                                              "(1.3.6.1.4.1.44467.3.0.1): "
                                              "1.3.6.1.4.1.44467.1.1.0 = STUDIO A"));
        QVERIFY(book.alarms().at(2).text.contains(QStringLiteral("1.3.6.1.4.1.44467.3.0.9")));

        // Acknowledged: a link down stays (marked), a notice goes.
        const int clearedBefore = int(cleared.size());
        QVERIFY(book.acknowledge(book.alarms().at(0).id()));
        QVERIFY(book.alarms().at(0).acknowledged);
        QVERIFY(book.acknowledge(silence.id()));
        QCOMPARE(cleared.size(), clearedBefore + 1);
        QCOMPARE(book.count(), 3);

        // The file: readable by its owner only, and the same alarms at the
        // next start.
        const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                          QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
        QCOMPARE(QFile::permissions(path) & others, QFile::Permissions());
        {
            AlarmBook again(t);
            QVERIFY(again.open(path));
            QCOMPARE(again.alarms(), book.alarms());
        }

        // A restart clears itself after its time, here and in a book that
        // reads it from the file after that time.
        book.trapReceived(v1(0), enc);
        QCOMPARE(book.count(), 4);
        AlarmBook later(t);
        QTest::qWait(t.alarmRestartedMs + 20);
        QVERIFY(later.open(path));
        QCOMPARE(later.count(), 3);
        QTRY_COMPARE_WITH_TIMEOUT(book.count(), 3, 2000);

        // A damaged file is moved aside, never overwritten, and reported.
        QFile damaged(path);
        QVERIFY(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
        damaged.write("{\"version\": 1, \"alarms\": [{\"kind\": 3}");
        damaged.close();
        AlarmBook fresh(t);
        QVERIFY(!fresh.open(path));
        QVERIFY(fresh.error().contains(QStringLiteral("alarms.json.bad")));
        QVERIFY(QFile::exists(path + QStringLiteral(".bad")));
        QCOMPARE(fresh.count(), 0);

        // A pipe in its place is refused at once: a read of it would wait
        // for a writer, and the window would never start.
        QFile::remove(path);
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        AlarmBook piped(t);
        QVERIFY(!piped.open(path));
        QVERIFY2(piped.error().contains(QStringLiteral("not a regular file")),
                 qPrintable(piped.error()));
    }

    // Catches: an alarm (and a row of the window, a series of the monitor)
    // for every number a sender invents, the numbers' alarms of one element
    // crowding out another's, and a named trap or a repeated number taken
    // into the fold.
    void numberedTrapsAreBoundedPerElement()
    {
        AlarmBook book;
        QSignalSpy raised(&book, &AlarmBook::raised);
        const ElementEntry enc = element("2E8BF2000101", "ENC");
        const ElementEntry dec = element("2E8BF2000201", "DEC");
        for (int n = 100; n < 1100; ++n)
            book.trapReceived(v1(6, n), enc);
        const int bound = AlarmBook::kNumberedAlarmsPerElement;
        QCOMPARE(book.count(), bound + 1);
        QCOMPARE(raised.size(), bound + 1);
        const Alarm folded = book.alarms().at(bound); // ids sort "1.3..." before "further"
        QCOMPARE(folded.instance, QStringLiteral("further"));
        QCOMPARE(folded.count, 1000 - bound);
        QVERIFY2(folded.text.contains(QStringLiteral("1.3.6.1.4.1.44467.3.0.1099")),
                 qPrintable(folded.text));

        // A number it holds counts there; a name is never folded; another
        // element has bounds of its own.
        book.trapReceived(v1(6, 100), enc);
        book.trapReceived(v1(6, 1), enc);
        book.trapReceived(v1(6, 5), dec);
        QCOMPARE(book.count(), bound + 3);
        QStringList expected{QStringLiteral("2E8BF2000101 silenceDetected 1.3.6.1.4.1.44467.3.0.1"),
                             QStringLiteral("2E8BF2000201 enterpriseSpecific "
                                            "1.3.6.1.4.1.44467.3.0.5")};
        for (const QString& k : expected)
            QVERIFY2(kinds(book).contains(k), qPrintable(kinds(book).join('\n')));
        const auto first = std::find_if(book.alarms().cbegin(), book.alarms().cend(),
                                        [](const Alarm& a) { return a.instance.endsWith(".100"); });
        QVERIFY(first != book.alarms().cend());
        QCOMPARE(first->count, 2);

        QCOMPARE(namedTrapKind(v1(6, 7)), QString());
        QCOMPARE(namedTrapKind(v1(6, 7, QStringLiteral("1.3.6.1.4.1.9.9"))), QString());
        QCOMPARE(namedTrapKind(v1(9)), QString()); // no generic number of the protocol
        QCOMPARE(namedTrapKind(v1(2)), QStringLiteral("linkDown"));
    }
};

QTEST_GUILESS_MAIN(TstAlarmBook)
#include "tst_alarmbook.moc"
