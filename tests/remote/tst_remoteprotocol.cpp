// The remote protocol's reply handling and requests, with a scripted MAC
// table, a panel of plain values and scripted message boxes; and the whole
// exchange against orvalink-sim on loopback.

#include "common/ScriptedPrompt.h"
#include "common/SimProcess.h"
#include "core/Text.h"
#include "netutil/MacResolver.h"
#include "remote/DiscoveryOperation.h"
#include "remote/RemoteCodec.h"
#include "remote/RemotePanel.h"
#include "remote/RemoteProtocol.h"
#include "snmp/SnmpTransport.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <sys/stat.h>

using namespace orvalink;
using orvalink::testing::ScriptedPrompt;

namespace {

// The test's loopback addresses: 127.0.144.x; the station is host(250).
const orvalink::testing::SimNet kNet{144};
const QString kNms = kNet.host(250);

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

const QString kEncIp = QStringLiteral("10.231.0.3");
const QString kEncMac = QStringLiteral("2E:8B:F2:E7:00:03");
const QString kDecMac = QStringLiteral("2E:8B:F2:E7:00:02");

QByteArray decoderReply()
{
    return hex("0ae70002 ffffff00 0ae70001 efc00a01 01 00 01") + "DEC TWO         " +
           hex("02 10000002 c8 03 33 01 0a 02 3c 1e 0000000000 01");
}

QByteArray encoderReply(const char* name = "ENC THREE       ")
{
    return hex("0ae70003 ffffff00 0ae70001 0ae70064 00 01 00") + QByteArray(name) +
           hex("01 10000003 03 32 00 07 01");
}

class FakeTable : public MacResolver {
public:
    QMap<quint32, QByteArray> entries;

protected:
    bool lookup(quint32 address, QByteArray* out) override
    {
        *out = entries.value(address);
        return !out->isEmpty();
    }
};

class FakePanel : public RemotePanel {
public:
    RemotePanelState state;
    QList<RemoteConfirmed> shown;
    RemotePanelState remotePanelState() const override { return state; }
    void showConfirmed(const RemoteConfirmed& v) override { shown << v; }
};

// The encoder of encoderReply() as the panel shows it.
RemotePanelState encoderPanel()
{
    RemotePanelState s;
    s.mac = kEncMac;
    s.roleCaption = QStringLiteral("ENCODER");
    s.name = QStringLiteral("ENC THREE");
    s.ip = kEncIp;
    s.mask = QStringLiteral("255.255.255.0");
    s.gw = QStringLiteral("10.231.0.1");
    s.remote = QStringLiteral("10.231.0.100");
    s.input = 0;
    s.type = 1;
    s.tx = 0;
    return s;
}

// Scripted boxes; while the next one is shown, whileShown runs (once) as the
// operator would take time to read it, with the event loop running.
class SlowPrompt : public ScriptedPrompt {
public:
    std::function<void()> whileShown;
    PromptAnswer ask(const PromptRequest& request) override
    {
        if (const auto run = std::exchange(whileShown, {}))
            run();
        return ScriptedPrompt::ask(request);
    }
};

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// An element on loopback that answers the paging text with the replies it
// is given (none: it stays silent).
struct PagedElement {
    QUdpSocket socket;
    QList<QByteArray> replies;
    QHostAddress station;
    quint16 stationPort = 0;
    PagedElement()
    {
        socket.bind(QHostAddress(kNet.host(2)), 0);
        QObject::connect(&socket, &QUdpSocket::readyRead, &socket, [this] {
            while (socket.hasPendingDatagrams()) {
                QByteArray d(int(socket.pendingDatagramSize()), '\0');
                socket.readDatagram(d.data(), d.size(), &station, &stationPort);
                for (const QByteArray& r : std::as_const(replies))
                    send(r);
            }
        });
    }
    void send(const QByteArray& reply) { socket.writeDatagram(reply, station, stationPort); }
};

struct Harness {
    QTemporaryDir dir;
    IniStore store;
    Database db{store, dir.filePath(QStringLiteral("nms.ini"))};
    SlowPrompt prompt;
    FakeTable table;
    FakePanel panel;
    Timings timings;
    RemoteEndpoint endpoint;
    std::unique_ptr<RemoteProtocol> protocol;

    Harness()
    {
        timings.remoteSentMs = 150;
        timings.pagingMs = 400;
        timings.getMacMs = 10;
        endpoint.setLocalAddress(kNms);
        endpoint.setLocalPort(0);
        protocol = std::make_unique<RemoteProtocol>(endpoint, db, prompt, table, timings);
        protocol->setPanel(&panel);
        table.entries[0x0AE70002] = hex("2e8bf2e70002");
        table.entries[0x0AE70003] = hex("2e8bf2e70003");
    }
    QStringList keys(const QString& mac) const
    {
        return store.sectionKeys(Encode_MAC(mac), db.path());
    }
    QString value(const QString& mac, const char* key) const
    {
        return db.read(Encode_MAC(mac), QLatin1String(key));
    }
    std::unique_ptr<DiscoveryOperation> discovery(PagedElement& element)
    {
        auto d = std::make_unique<DiscoveryOperation>(*protocol, timings);
        d->setPagingTarget(kNet.host(2), element.socket.localPort());
        return d;
    }
};

} // namespace

class TestRemoteProtocol : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void discoveryCreatesOneSectionPerReply();
    void saveConfirmationComparesFieldByField();
    void repliesDuringTheMacWaitAreHandledAfterIt();
    void discoveryNeverLosesThePreviousDatabase();
    void repliesHeldBackByABoxStillBelongToTheDiscovery();
    void requestFailuresAndTimeout();
    void damagedSectionRefusedBeforeSending();
    void remoteSaveFromTheCommandLine();
    void againstTheSimulator();
};

void TestRemoteProtocol::discoveryCreatesOneSectionPerReply()
{
    Harness h;
    h.protocol->AutoDiscoverAwaiting = true;
    QSignalSpy reload(h.protocol.get(), &RemoteProtocol::reloadRequested);
    h.protocol->HandleRemoteReply(decoderReply());
    h.protocol->HandleRemoteReply(encoderReply());
    // Fault: keys missing, decoder keys in an encoder's section, the remote
    // address under the wrong key.
    QCOMPARE(h.keys(kDecMac),
             (QStringList{"NAME", "IP", "MASK", "GW", "INPUT", "TYPE", "TX", "MULTI", "ROLE", "SN",
                          "VER", "SFN", "BUF", "ATT", "SDM", "SDL", "SDT", "LLO"}));
    QCOMPARE(h.keys(kEncMac), (QStringList{"NAME", "IP", "MASK", "GW", "INPUT", "TYPE", "TX",
                                           "REMOTE", "ROLE", "SN", "VER", "SFN", "BUF", "LLO"}));
    QCOMPARE(h.value(kDecMac, "sn"), QStringLiteral("268435458"));
    QCOMPARE(h.value(kDecMac, "ver"), QStringLiteral("3.51"));
    QCOMPARE(h.value(kEncMac, "remote"), QStringLiteral("10.231.0.100"));
    QCOMPARE(h.db.read(Encode_MAC(kEncMac), QStringLiteral("name"), QString()),
             QStringLiteral("ENC THREE"));
    QCOMPARE(reload.count(), 0); // the paging window reloads once, at its end

    // No MAC for the sender: reported, nothing stored.
    QByteArray stranger = encoderReply();
    stranger[3] = char(9);
    h.prompt.expect(QStringLiteral("An error occured while retrieving 'Element MAC':\rFeedback "
                                   "is corrupted."));
    h.protocol->HandleRemoteReply(stranger);
    QVERIFY(h.prompt.done());
    QCOMPARE(h.store.sectionNames(h.db.path()).size(), 2);
}

void TestRemoteProtocol::saveConfirmationComparesFieldByField()
{
    Harness h;
    QSignalSpy finished(h.protocol.get(), &RemoteProtocol::saveFinished);
    const auto outcome = [&] {
        return finished.takeLast().at(0).value<RemoteProtocol::SaveOutcome>();
    };

    // Everything matches; the name only in case and blanks.
    h.panel.state = encoderPanel();
    h.panel.state.name = QStringLiteral("  enc three ");
    h.prompt.expect(QStringLiteral("New configuration has been sucessfuly saved and loaded!"));
    h.protocol->HandleRemoteReply(encoderReply());
    QVERIFY(h.prompt.done());
    QCOMPARE(outcome(), RemoteProtocol::SaveOutcome::Confirmed);
    QCOMPARE(h.value(kEncMac, "name"), QStringLiteral("ENC THREE"));
    QCOMPARE(h.value(kEncMac, "remote"), QStringLiteral("10.231.0.100"));
    const RemoteConfirmed shown = h.panel.shown.last();
    QCOMPARE(shown.typeCaption, QStringLiteral("ENCODER"));
    QCOMPARE(shown.version, QStringLiteral("3.50"));
    // Encoder replies carry no decoder fields: brought into the bars' ranges.
    QCOMPARE((QList<int>{shown.att, shown.silDetLevel, shown.silDetTime}), (QList<int>{14, 1, 1}));

    // Two fields differ: two messages, the rest stored, no success.
    QFile::remove(h.db.path());
    h.panel.state = encoderPanel();
    h.panel.state.mask = QStringLiteral("255.255.0.0");
    h.panel.state.remote = QStringLiteral("10.231.0.101");
    h.prompt.expect(QStringLiteral("An error occured while saving 'Element Mask':\rFeedback is "
                                   "corrupted."));
    h.prompt.expect(QStringLiteral("An error occured while saving 'Remote IP':"));
    h.protocol->HandleRemoteReply(encoderReply());
    QVERIFY(h.prompt.done());
    QCOMPARE(outcome(), RemoteProtocol::SaveOutcome::Mismatch);
    QCOMPARE(h.value(kEncMac, "mask"), QString());
    QCOMPARE(h.value(kEncMac, "remote"), QString());
    QCOMPARE(h.value(kEncMac, "gw"), QStringLiteral("10.231.0.1"));

    // Role 0: shown as UNKNOWN, no success message.
    QByteArray roleless = encoderReply();
    roleless[35] = char(0);
    h.panel.state = encoderPanel();
    h.protocol->HandleRemoteReply(roleless);
    QVERIFY(h.prompt.done());
    QCOMPARE(h.panel.shown.last().typeCaption, QStringLiteral("UNKNOWN"));
    QCOMPARE(outcome(), RemoteProtocol::SaveOutcome::Mismatch);

    // Another element's reply, or a damaged section: nothing stored.
    h.panel.state.mac = kDecMac;
    h.prompt.expect(QStringLiteral("The response received does not match the selected element."
                                   "\rCannot save this element info."));
    h.protocol->HandleRemoteReply(encoderReply());
    QVERIFY(h.prompt.done());
    QCOMPARE(h.store.sectionNames(h.db.path()), QStringList{Encode_MAC(kEncMac)});
    h.panel.state = encoderPanel();
    for (int i = 0; i < 25; ++i)
        h.db.write(Encode_MAC(kEncMac), QStringLiteral("X%1").arg(i), QStringLiteral("1"));
    h.prompt.expect(QStringLiteral("is corrupted."));
    h.protocol->HandleRemoteReply(encoderReply());
    QVERIFY(h.prompt.done());
    QCOMPARE(outcome(), RemoteProtocol::SaveOutcome::Rejected);

    // A silence detector mode the list has no position for (3) is neither
    // stored nor shown; the rest is confirmed.
    h.panel.state = encoderPanel();
    h.panel.state.mac = kDecMac;
    h.panel.state.roleCaption = QStringLiteral("DECODER");
    h.panel.state.name = QStringLiteral("DEC TWO");
    h.panel.state.ip = QStringLiteral("10.231.0.2");
    h.panel.state.remote = QStringLiteral("239.192.10.1");
    h.panel.state.input = 1;
    h.panel.state.type = 0;
    h.panel.state.tx = 1;
    h.panel.state.silDetMode = 1;
    QByteArray mode3 = decoderReply();
    mode3[45] = char(3);
    h.prompt.expect(QStringLiteral("New configuration has been sucessfuly saved"));
    h.protocol->HandleRemoteReply(mode3);
    QVERIFY(h.prompt.done());
    QCOMPARE(h.value(kDecMac, "sdl"), QStringLiteral("60"));
    QCOMPARE(h.value(kDecMac, "sdm"), QString());
    QCOMPARE(h.panel.shown.last().silDetMode, 1);
}

// Catches a discovery that loses the database it replaces: a hostile path
// read or written, a backup readable by others, a run that finds nothing or
// fails to store an element or is cancelled and leaves an empty or partial
// database, an empty database written over the only backup.
void TestRemoteProtocol::discoveryNeverLosesThePreviousDatabase()
{
    Harness h;
    h.timings.pagingMs = 150;
    PagedElement element;
    const QString path = h.db.path();
    const QString bak = DiscoveryOperation::backupPath(path);
    const auto sections = [&] { return h.store.sectionNames(path); };

    // Not a file that can be read: refused at once, nothing touched.
    QVERIFY(::mkfifo(qPrintable(h.dir.filePath(QStringLiteral("fifo"))), 0600) == 0);
    QVERIFY(QDir(h.dir.path()).mkdir(QStringLiteral("folder")));
    for (const QString& hostile :
         {h.dir.filePath(QStringLiteral("fifo")), QStringLiteral("/dev/zero"),
          h.dir.filePath(QStringLiteral("folder"))}) {
        Database other(h.store, hostile);
        RemoteProtocol protocol(h.endpoint, other, h.prompt, h.table, h.timings);
        DiscoveryOperation discovery(protocol, h.timings);
        discovery.setPagingTarget(kNet.host(2), element.socket.localPort());
        h.prompt.expect(QStringLiteral("cannot be used"));
        QElapsedTimer t;
        t.start();
        QCOMPARE(discovery.runBlocking(), DiscoveryOperation::Result::Refused);
        QVERIFY(t.elapsed() < 2000);
        QVERIFY(h.prompt.done());
    }
    struct stat st {};
    QVERIFY(::stat(qPrintable(h.dir.filePath(QStringLiteral("fifo"))), &st) == 0 &&
            S_ISFIFO(st.st_mode));
    QCOMPARE(QDir(h.dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
             (QStringList{"fifo", "folder"}));

    // No element answers: the database is put back, the backup is its
    // owner's only.
    QVERIFY(h.db.writeKeys(QStringLiteral("2E8BF2000001"),
                           {{QStringLiteral("name"), QStringLiteral("KEPT")},
                            {QStringLiteral("community"), QStringLiteral("secret")}}));
    const QByteArray previous = readFile(path);
    h.prompt.expect(QStringLiteral("No Network Element was found.\rThe previous element database "
                                   "was put back."));
    QCOMPARE(h.discovery(element)->runBlocking(), DiscoveryOperation::Result::NoAnswer);
    QVERIFY(h.prompt.done());
    QCOMPARE(readFile(path), previous);
    QCOMPARE(readFile(bak), previous);
    QCOMPARE(QFile::permissions(bak) & 0x0077, QFileDevice::Permissions());

    // An empty database is never written over the backup.
    QVERIFY(writeFile(path, QByteArray()));
    h.prompt.expect(QStringLiteral("was put back"));
    QCOMPARE(h.discovery(element)->runBlocking(), DiscoveryOperation::Result::NoAnswer);
    QCOMPARE(readFile(bak), previous);
    QVERIFY(QFileInfo::exists(path) && readFile(path).isEmpty());

    // An element that cannot be stored: the database is put back.
    QVERIFY(writeFile(path, previous));
    element.replies = {decoderReply()};
    h.store.injectWriteFault(10);
    h.prompt.expect(QStringLiteral("could not be stored"));
    QCOMPARE(h.discovery(element)->runBlocking(), DiscoveryOperation::Result::WriteFailed);
    h.store.injectWriteFault(-1);
    QVERIFY(h.prompt.done());
    QCOMPARE(readFile(path), previous);

    // Cancelled after the first element was stored: put back as well.
    auto discovery = h.discovery(element);
    QObject::connect(h.protocol.get(), &RemoteProtocol::elementDiscovered, discovery.get(),
                     &DiscoveryOperation::cancel, Qt::QueuedConnection);
    h.prompt.expect(QStringLiteral("The discovery was interrupted."));
    QCOMPARE(discovery->runBlocking(), DiscoveryOperation::Result::Cancelled);
    QCOMPARE(readFile(path), previous);

    // And a discovery that finds one replaces the database.
    discovery = h.discovery(element);
    QCOMPARE(discovery->runBlocking(), DiscoveryOperation::Result::Found);
    QCOMPARE(sections(), QStringList{Encode_MAC(kDecMac)});
    QCOMPARE(readFile(bak), previous);
    QVERIFY(h.prompt.done());
}

// Catches replies handled inside the socket's read handler: a message box
// opened for one reply during a discovery held back every reply that came
// meanwhile, and once the collection had ended they were taken for save
// confirmations ("does not match the selected element") and their elements
// were missing from the new database.
void TestRemoteProtocol::repliesHeldBackByABoxStillBelongToTheDiscovery()
{
    Harness h;
    h.timings.pagingMs = 500;
    h.protocol->setMacWaiter([&](const QString& address) {
        QString mac;
        h.table.ResolveMAC(address, QStringLiteral(":"), &mac);
        return mac;
    });
    PagedElement element;
    QByteArray damaged = encoderReply();
    damaged[16] = char(2);
    element.replies = {damaged};
    QByteArray late = encoderReply("LATE            ");
    late[3] = char(2); // the decoder's address: a known MAC, not the shown element
    h.prompt.whileShown = [&] {
        element.send(decoderReply());
        element.send(encoderReply());
        QTest::qWait(h.timings.pagingMs + 300); // the collection ends meanwhile
        element.send(late);
        QTest::qWait(100);
    };
    h.prompt.expect(QStringLiteral("An error occured while retrieving 'Audio Input':"));
    // Only the reply after the collection is a save confirmation.
    h.prompt.expect(QStringLiteral("does not match the selected element"));
    auto discovery = h.discovery(element);
    QCOMPARE(discovery->runBlocking(), DiscoveryOperation::Result::Found);
    QTRY_VERIFY_WITH_TIMEOUT(h.prompt.done(), 2000);
    QCOMPARE(discovery->found(), 2);
    QCOMPARE(h.value(kDecMac, "name"), QStringLiteral("DEC TWO"));
    QCOMPARE(h.value(kEncMac, "name"), QStringLiteral("ENC THREE"));
    QCOMPARE(h.store.sectionNames(h.db.path()).size(), 2);
}

void TestRemoteProtocol::repliesDuringTheMacWaitAreHandledAfterIt()
{
    // Fault: a reply arriving during the waiting window overwrites the
    // record the first handling still uses, or is handled inside it.
    Harness h;
    h.panel.state = encoderPanel();
    QStringList asked;
    int depth = 0;
    int deepest = 0;
    h.protocol->setMacWaiter([&](const QString& address) {
        deepest = qMax(deepest, ++depth);
        asked << address;
        if (asked.size() == 1) {
            h.protocol->HandleRemoteReply(decoderReply());
            h.protocol->HandleRemoteReply(encoderReply("ENC THREE AGAIN "));
        }
        QString mac;
        h.table.ResolveMAC(address, QStringLiteral(":"), &mac);
        --depth;
        return mac;
    });
    h.prompt.expect(QStringLiteral("New configuration has been sucessfuly saved"));
    h.prompt.expect(QStringLiteral("does not match the selected element"));
    h.prompt.expect(QStringLiteral("An error occured while saving 'Element Name':"));
    h.protocol->HandleRemoteReply(encoderReply());
    QVERIFY(h.prompt.done());
    QCOMPARE(asked, (QStringList{kEncIp, QStringLiteral("10.231.0.2"), kEncIp}));
    QCOMPARE(deepest, 1);
    QVERIFY(!h.protocol->isHandling());
    // The decoder's values never reached the encoder's section.
    QCOMPARE(h.value(kEncMac, "sn"), QStringLiteral("268435459"));
    QCOMPARE(h.value(kEncMac, "ver"), QStringLiteral("3.50"));
    QCOMPARE(h.value(kEncMac, "name"), QStringLiteral("ENC THREE"));
}

// Catches: a section written by discovery and then a probe (26 keys of the
// program's own) taken as damaged, so that every remote-save changes the
// element and then ends "corrupted"; and a damaged section refused only
// after the element was sent the new configuration.
void TestRemoteProtocol::damagedSectionRefusedBeforeSending()
{
    Harness h;
    QSignalSpy finished(h.protocol.get(), &RemoteProtocol::saveFinished);
    h.panel.state = encoderPanel();
    const QString section = Encode_MAC(kEncMac);
    QList<QPair<QString, QString>> keys;
    for (const QString& key : elementKeys())
        keys.append({key, QStringLiteral("1")});
    keys.append({QStringLiteral("ip"), kNet.host(8)}); // nothing listens there
    QVERIFY(h.db.writeKeys(section, keys));
    QVERIFY(h.store.sectionKeyCount(section, h.db.path()) > kMaxForeignKeys);
    QCOMPARE(h.protocol->SendSaveRequest(), RemoteProtocol::RequestResult::Sent);
    h.prompt.expect(QStringLiteral("New configuration has been sucessfuly saved and loaded!"));
    h.protocol->HandleRemoteReply(encoderReply());
    QVERIFY(h.prompt.done());
    QCOMPARE(finished.takeLast().at(0).value<RemoteProtocol::SaveOutcome>(),
             RemoteProtocol::SaveOutcome::Confirmed);

    for (int i = 0; i <= kMaxForeignKeys; ++i)
        QVERIFY(h.db.write(section, QStringLiteral("X%1").arg(i), QStringLiteral("1")));
    h.prompt.expect(QStringLiteral("is corrupted.\rCannot save this element info."));
    QCOMPARE(h.protocol->SendSaveRequest(), RemoteProtocol::RequestResult::Refused);
    QVERIFY(h.prompt.done());
    QVERIFY(!h.protocol->timerRemoteSent->isActive());
}

void TestRemoteProtocol::requestFailuresAndTimeout()
{
    Harness h;
    QSignalSpy fatal(h.protocol.get(), &RemoteProtocol::fatalEndpointFailure);
    QSignalSpy finished(h.protocol.get(), &RemoteProtocol::saveFinished);
    h.panel.state = encoderPanel();
    h.db.write(Encode_MAC(kEncMac), QStringLiteral("name"), QStringLiteral("ENC THREE"));

    // No stored "ip": reported, dropped, not fatal, no timeout later.
    h.prompt.expect(QStringLiteral("The element has no stored IP address."));
    QCOMPARE(h.protocol->SendSaveRequest(), RemoteProtocol::RequestResult::NotSent);
    QVERIFY(!h.protocol->timerRemoteSent->isActive());
    QCOMPARE(fatal.count(), 0);

    // A list without selection never becomes a byte.
    // An address nothing listens on.
    h.db.write(Encode_MAC(kEncMac), QStringLiteral("ip"), kNet.host(9));
    h.panel.state.input = -1;
    h.prompt.expect(QStringLiteral("'Audio Input' has no selection."));
    QCOMPARE(h.protocol->SendSaveRequest(), RemoteProtocol::RequestResult::Refused);

    // Sent, and a damaged reply does not stop the clock: it times out.
    h.panel.state = encoderPanel();
    QCOMPARE(h.protocol->SendSaveRequest(), RemoteProtocol::RequestResult::Sent);
    QVERIFY(h.protocol->timerRemoteSent->isActive());
    QByteArray damaged = encoderReply();
    damaged[16] = char(2);
    h.prompt.expect(QStringLiteral("'Audio Input'"));
    h.protocol->HandleRemoteReply(damaged);
    QVERIFY(h.protocol->timerRemoteSent->isActive());
    h.prompt.expect(
        QStringLiteral("Waiting for a response from Network Element has timed out!\rCannot save."));
    QVERIFY(finished.wait(2000));
    QCOMPARE(h.prompt.shown().last().title, QStringLiteral("Error!"));
    QCOMPARE(finished.last().at(0).value<RemoteProtocol::SaveOutcome>(),
             RemoteProtocol::SaveOutcome::TimedOut);

    // The port taken by another program ends the program, once.
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress(kNms), 0));
    h.endpoint.setLocalPort(holder.localPort());
    h.prompt.expect(QStringLiteral("Unable to use UDP port 2976: occupied."));
    QCOMPARE(h.protocol->SendLevelRequest(), RemoteProtocol::RequestResult::NotSent);
    QCOMPARE(fatal.count(), 1);
    QVERIFY(h.prompt.done());

    // The level request reaches the element's port 2977 and its answer the
    // level path, whatever its length beyond 1200 bytes.
    QUdpSocket element;
    if (!element.bind(QHostAddress(kNet.host(9)), remote::kElementPort))
        QSKIP("port 2977 on the test's own address is taken by another program");
    h.endpoint.setLocalPort(0);
    QSignalSpy level(h.protocol.get(), &RemoteProtocol::levelData);
    QCOMPARE(h.protocol->SendLevelRequest(), RemoteProtocol::RequestResult::Sent);
    QVERIFY(element.waitForReadyRead(2000));
    QByteArray got(16, '\0');
    QHostAddress from;
    quint16 port = 0;
    got.truncate(element.readDatagram(got.data(), got.size(), &from, &port));
    QCOMPARE(got, QByteArray("VOL"));
    element.writeDatagram(QByteArray(1203, '\x7f'), from, port);
    QVERIFY(level.wait(2000));
    QCOMPARE(level.first().at(0).toByteArray().size(), 1203);
}

void TestRemoteProtocol::againstTheSimulator()
{
    // The element side is the simulator's own code: discovery finds it by
    // a paging datagram, a save request is taken, echoed, and kept where
    // SNMP reads it; a damaged element is reported.
    const QString encIp = kNet.host(3);
    const QString badIp = kNet.host(4);
    const quint16 base = kNet.port(0);
    QProcess sim;
    sim.start(QString::fromLocal8Bit(qgetenv("ORVALINK_BIN_DIR")) + QStringLiteral("/orvalink-sim"),
              {QStringLiteral("--port"), QString::number(base), QStringLiteral("--remote-port"),
               QString::number(base + 1), QStringLiteral("--paging-port"),
               QString::number(base + 2), QStringLiteral("--bad-reply"),
               badIp + QStringLiteral("=damaged"), QStringLiteral("encoder@") + encIp,
               QStringLiteral("decoder@") + badIp});
    QByteArray out;
    QElapsedTimer t;
    t.start();
    while (!out.contains("ready") && t.elapsed() < 5000 && sim.state() != QProcess::NotRunning) {
        sim.waitForReadyRead(50);
        out += sim.readAllStandardOutput();
    }
    QVERIFY2(out.contains("ready"), sim.readAllStandardError().constData());
    const auto stopSim = qScopeGuard([&] {
        sim.terminate();
        sim.waitForFinished(5000);
    });

    Harness h;
    quint32 enc = 0;
    QVERIFY(parseIPv4(encIp, &enc));
    h.table.entries[enc] = QByteArray::fromHex(kNet.section(3).toLatin1());
    const QString mac = FormatMAC(h.table.entries[enc], QStringLiteral(":"));
    h.db.write(QStringLiteral("2E8BF2FFFFFF"), QStringLiteral("NAME"), QStringLiteral("OLD"));

    DiscoveryOperation discovery(*h.protocol, h.timings);
    discovery.setPagingTarget(encIp, base + 2);
    QCOMPARE(discovery.runBlocking(), DiscoveryOperation::Result::Found);
    QCOMPARE(h.store.sectionNames(h.db.path()), QStringList{Encode_MAC(mac)});
    QVERIFY(QFile(DiscoveryOperation::backupPath(h.db.path())).open(QIODevice::ReadOnly));
    QCOMPARE(h.endpoint.remotePort(), quint16(0)); // restored

    // Save with a new name and low latency: confirmed, then read by SNMP.
    h.panel.state = encoderPanel();
    h.panel.state.mac = mac;
    h.panel.state.ip = encIp;
    h.panel.state.gw = h.value(mac, "gw");
    h.panel.state.mask = h.value(mac, "mask");
    h.panel.state.remote = h.value(mac, "remote");
    h.panel.state.input = h.value(mac, "input").toInt();
    h.panel.state.type = 1;
    h.panel.state.name = QStringLiteral("Studio b");
    h.panel.state.lowLatency = true;
    h.protocol->setMacWaiter([&](const QString& a) {
        QString m;
        h.table.ResolveMAC(a, QStringLiteral(":"), &m);
        return m;
    });
    // The save request goes to the element's port 2976.
    QSignalSpy finished(h.protocol.get(), &RemoteProtocol::saveFinished);
    h.prompt.expect(QStringLiteral("New configuration has been sucessfuly saved"));
    QCOMPARE(h.protocol->SendSaveRequest(), RemoteProtocol::RequestResult::Sent);
    QVERIFY(finished.wait(3000));
    QVERIFY(h.prompt.done());
    QCOMPARE(h.value(mac, "name"), QStringLiteral("STUDIO B"));
    QCOMPARE(h.value(mac, "llo"), QStringLiteral("1"));
    SnmpTransport snmp(Timings{});
    snmp.setLocalAddress(kNms);
    snmp.setPorts(0, base);
    QCOMPARE(snmp.GetSNMP(encIp, QStringLiteral("morqubit"), 35).value, QStringLiteral("STUDIO B"));
    QCOMPARE(snmp.GetSNMP(encIp, QStringLiteral("morqubit"), 8).value, QStringLiteral("1"));

    // The damaged element's reply is refused with its field's message, and
    // with nothing found the database is put back.
    h.protocol->AutoDiscoverAwaiting = true;
    h.prompt.expect(QStringLiteral("An error occured while retrieving 'Audio Input':"));
    h.prompt.expect(QStringLiteral("No Network Element was found.\rThe previous element database "
                                   "was put back."));
    discovery.setPagingTarget(badIp, base + 2);
    QCOMPARE(discovery.runBlocking(), DiscoveryOperation::Result::Busy);
    h.protocol->AutoDiscoverAwaiting = false;
    QCOMPARE(discovery.runBlocking(), DiscoveryOperation::Result::NoAnswer);
    QVERIFY(h.prompt.done());
    QCOMPARE(h.store.sectionNames(h.db.path()), QStringList{Encode_MAC(mac)});
}

// Catches remote-save usage errors that exit 1 like a failed exchange (an
// element not in the database, an --nms that is no address), and a -v trace
// that does not say when a reply came from another address than it carries.
void TestRemoteProtocol::remoteSaveFromTheCommandLine()
{
    const auto at = [](int host) { return kNet.host(40 + host); };
    QUdpSocket element;
    QUdpSocket other;
    if (!element.bind(QHostAddress(at(3)), remote::kSavePort) || !other.bind(QHostAddress(at(4))))
        QSKIP("port 2976 on a loopback address is taken by another program");
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("nms.ini"));
    IniStore store;
    QVERIFY(store.writeKeys(Encode_MAC(kEncMac),
                            {{"name", "ENC THREE"},
                             {"ip", at(3)},
                             {"mask", "255.255.255.0"},
                             {"gw", at(1)},
                             {"remote", at(9)},
                             {"role", "1"},
                             {"input", "0"},
                             {"type", "1"},
                             {"tx", "0"}},
                            db));
    const auto cli = [&](const QStringList& args) {
        auto p = std::make_unique<QProcess>();
        p->start(QString::fromLocal8Bit(qgetenv("ORVALINK_BIN_DIR")) +
                     QStringLiteral("/orvalink-cli"),
                 QStringList{"-v", "--db", db, "--wait", "150"} + args);
        return p;
    };
    for (const QStringList& wrong :
         {QStringList{"--nms", at(1), "remote-save", "2E:8B:F2:00:00:99"},
          QStringList{"--nms", "garbage", "remote-save", kEncMac}}) {
        auto p = cli(wrong);
        QVERIFY(p->waitForFinished(5000));
        QCOMPARE(p->exitCode(), 2);
    }

    auto p = cli({"--nms", at(1), "remote-save", kEncMac});
    QVERIFY2(element.waitForReadyRead(5000), "no save request came");
    QHostAddress station;
    quint16 port = 0;
    QByteArray request(64, '\0');
    element.readDatagram(request.data(), request.size(), &station, &port);
    QByteArray reply = encoderReply();
    quint32 carried = 0;
    QVERIFY(parseIPv4(at(3), &carried));
    for (int i = 0; i < 4; ++i)
        reply[i] = char(carried >> (24 - 8 * i));
    reply[16] = char(2); // refused at once: no MAC look-up to wait for
    other.writeDatagram(reply, station, port);
    QVERIFY(p->waitForFinished(10000));
    const QString err = QString::fromUtf8(p->readAllStandardError());
    QVERIFY2(err.contains(QStringLiteral("the datagram came from %1, not from the address it "
                                         "carries; it is taken as %2's")
                              .arg(at(4), at(3))),
             qPrintable(err));
    QCOMPARE(p->exitCode(), 1);
}

QTEST_GUILESS_MAIN(TestRemoteProtocol)
#include "tst_remoteprotocol.moc"
