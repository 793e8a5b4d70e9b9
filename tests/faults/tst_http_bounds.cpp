// orvalink-cli monitor's HTTP side under attack on loopback (127.0.171.x):
// 3,000 idle connections from 100 addresses, 100 more from one address, and
// 20 senders of 20 MB header lines, while a well-behaved client scrapes from
// host 200. Bounded: the attack lasts a few seconds, the idle connections
// are left to the monitor's 10 s time.

#include "common/SimProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <thread>
#include <vector>

using namespace orvalink::testing;

namespace {

const SimNet kNet{171};
constexpr int kIdle = 3000;
constexpr int kIdleAddresses = 100;
constexpr int kOneAddress = 100;
constexpr int kHugeSenders = 20;
constexpr qint64 kHugeBytes = 20LL * 1024 * 1024;
constexpr int kDescriptors = 8192;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

sockaddr_in addressOf(const QString& host, quint16 port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, host.toLatin1().constData(), &a.sin_addr);
    return a;
}

// A TCP connection from `from` to `to`; a non-blocking one is not waited
// for. -1 when no socket could be made.
int connectFrom(const QString& from, const sockaddr_in& to, bool blocking)
{
    const int fd =
        ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (blocking ? 0 : SOCK_NONBLOCK), 0);
    if (fd < 0)
        return -1;
    const sockaddr_in source = addressOf(from, 0);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&source), sizeof source) != 0 ||
        (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0 &&
         errno != EINPROGRESS)) {
        ::close(fd);
        return -1;
    }
    if (blocking) {
        const timeval wait{2, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    }
    return fd;
}

// Sockets the peer has closed (they read as end of file or reset).
int closedByPeer(const std::vector<int>& fds)
{
    std::vector<pollfd> p;
    for (const int fd : fds)
        p.push_back({fd, POLLIN, 0});
    ::poll(p.data(), p.size(), 0);
    int closed = 0;
    for (const pollfd& e : p)
        closed += (e.revents & (POLLIN | POLLHUP | POLLERR)) ? 1 : 0;
    return closed;
}

// Waits until every non-blocking connect has ended; how many connected.
int connected(const std::vector<int>& fds, int timeoutMs)
{
    std::vector<pollfd> p;
    for (const int fd : fds)
        p.push_back({fd, POLLOUT, 0});
    QElapsedTimer t;
    t.start();
    int done = 0;
    while (t.elapsed() < timeoutMs) {
        ::poll(p.data(), p.size(), 100);
        done = 0;
        for (const pollfd& e : p)
            done += e.revents ? 1 : 0;
        if (done == int(p.size()))
            break;
    }
    int ok = 0;
    for (const int fd : fds) {
        int error = 0;
        socklen_t size = sizeof error;
        ok += ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0 ? 1 : 0;
    }
    return ok;
}

struct HttpReply {
    int status = 0; // 0: none
    QByteArray head;
    QByteArray body;
    qint64 ms = 0;
};

// One request from the well-behaved scraper (host 200) on a connection of
// its own, read to its end.
HttpReply request(const sockaddr_in& to, const QByteArray& text)
{
    HttpReply r;
    QElapsedTimer t;
    t.start();
    const int fd = connectFrom(kNet.host(200), to, true);
    if (fd < 0)
        return r;
    QByteArray all;
    if (::send(fd, text.constData(), size_t(text.size()), MSG_NOSIGNAL) == text.size()) {
        char buffer[65536];
        for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
            all.append(buffer, n);
    }
    ::close(fd);
    r.ms = t.elapsed();
    const qsizetype end = all.indexOf("\r\n\r\n");
    r.head = all.left(end);
    r.body = end < 0 ? QByteArray() : all.mid(end + 4);
    if (all.startsWith("HTTP/1."))
        r.status = all.mid(9, 3).toInt();
    return r;
}

long vmRssKb(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

} // namespace

class TestHttpBounds : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        rlimit limit{};
        QCOMPARE(::getrlimit(RLIMIT_NOFILE, &limit), 0);
        if (limit.rlim_cur < rlim_t(kDescriptors)) {
            limit.rlim_cur = rlim_t(kDescriptors);
            limit.rlim_max = std::max(limit.rlim_max, rlim_t(kDescriptors));
            if (::setrlimit(RLIMIT_NOFILE, &limit) != 0)
                QSKIP("cannot raise the descriptor limit to 8192 (needs root or a higher hard "
                      "limit): the attack needs as many sockets");
        }
    }

    // Faults: a header line held in memory whole (20 MB each), idle
    // connections that hold the monitor's descriptors until none is left
    // (and it spins on accept), a client that dribbles its request forever,
    // HEAD, HTTP/1.0 and "Connection: close" not honoured.
    void scrapesAnswerUnderAttack();
};

void TestHttpBounds::scrapesAnswerUnderAttack()
{
    SimProcess sim;
    QVERIFY2(sim.start(kNet.agentPort(), {QStringLiteral("encoder@") + kNet.host(1)}),
             qPrintable(sim.errors()));
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("nms.ini"));
    {
        QFile f(db);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("[%1]\r\nNAME=LIVE\r\nROLE=1\r\nSFN=0\r\nSNMPIP=%2\r\n"
                               "SNMPRO=morqubit\r\n")
                    .arg(kNet.section(1), kNet.host(1))
                    .toLatin1());
    }
    QProcess monitor;
    monitor.setReadChannel(QProcess::StandardError);
    monitor.start(binPath("orvalink-cli"),
                  {QStringLiteral("--db"), db, QStringLiteral("--nms"), kNet.host(250),
                   QStringLiteral("--port"), QString::number(kNet.agentPort()),
                   QStringLiteral("monitor"), QStringLiteral("--listen"),
                   kNet.host(250) + QStringLiteral(":0"), QStringLiteral("--interval"),
                   QStringLiteral("1"), QStringLiteral("--trap-port"), QStringLiteral("0")});
    QString err;
    QRegularExpressionMatch ready;
    QElapsedTimer t;
    t.start();
    while (!ready.hasMatch() && t.elapsed() < 10000 && monitor.state() != QProcess::NotRunning) {
        monitor.waitForReadyRead(50);
        err += QString::fromUtf8(monitor.readAllStandardError());
        ready = QRegularExpression(QStringLiteral("metrics at http://[0-9.]+:(\\d+)/")).match(err);
    }
    QVERIFY2(ready.hasMatch(), qPrintable(err));
    const sockaddr_in to = addressOf(kNet.host(250), quint16(ready.captured(1).toUInt()));
    const QByteArray scrape("GET /metrics HTTP/1.1\r\nHost: monitor\r\nConnection: close\r\n\r\n");
    HttpReply r;
    for (t.restart(); t.elapsed() < 15000 && r.status != 200; QTest::qWait(100))
        r = request(to, scrape);
    QCOMPARE(r.status, 200);
    QVERIFY(r.body.contains("orvalink_up{"));

    // The protocol: HEAD has the headers of a GET and no body; HTTP/1.0
    // and "Connection: close" end with the answer (request() reads to the
    // end, so a kept connection would take its 2 s wait); a head over
    // 16 KB is refused with 431.
    const HttpReply head =
        request(to, "HEAD /metrics HTTP/1.1\r\nHost: m\r\nConnection: close\r\n\r\n");
    QCOMPARE(head.status, 200);
    QVERIFY(head.body.isEmpty());
    QVERIFY2(head.head.contains("Content-Length: ") && !head.head.contains("Content-Length: 0"),
             head.head.constData());
    const HttpReply old = request(to, "GET /metrics HTTP/1.0\r\n\r\n");
    QCOMPARE(old.status, 200);
    QVERIFY2(old.ms < 1500 && r.ms < 1500,
             qPrintable(QStringLiteral("%1 %2").arg(old.ms).arg(r.ms)));
    const HttpReply huge =
        request(to, "GET /metrics HTTP/1.1\r\nHost: m\r\nX-Huge: " + QByteArray(20 * 1024, 'a') +
                        "\r\n\r\n");
    QCOMPARE(huge.status, 431);
    QCOMPARE(request(to, "DELETE /metrics HTTP/1.1\r\nHost: m\r\n\r\n").status, 405);

    // The attack. Idle connections: 30 from each of 100 addresses, and 100
    // from one address (more than one address may hold).
    const qint64 pid = monitor.processId();
    const long rssBefore = vmRssKb(pid);
    QElapsedTimer idleSince;
    idleSince.start();
    std::vector<int> idle;
    std::vector<int> crowd;
    for (int i = 0; i < kIdle; ++i)
        idle.push_back(connectFrom(kNet.host(10 + i % kIdleAddresses), to, false));
    for (int i = 0; i < kOneAddress; ++i)
        crowd.push_back(connectFrom(kNet.host(120), to, false));
    QVERIFY(std::count(idle.begin(), idle.end(), -1) == 0);
    QVERIFY(std::count(crowd.begin(), crowd.end(), -1) == 0);

    std::atomic<bool> stop{false};
    std::atomic<int> attempts{0};
    std::atomic<int> refused{0};
    std::atomic<qint64> mostSent{0};
    std::vector<std::thread> senders;
    for (int s = 0; s < kHugeSenders; ++s) {
        senders.emplace_back([&, s] {
            const QByteArray chunk(64 * 1024, 'a');
            for (int round = 0; round < 200 && !stop; ++round) {
                const int fd = connectFrom(kNet.host(150 + s), to, true);
                if (fd < 0)
                    return;
                const QByteArray start("GET /metrics HTTP/1.1\r\nHost: m\r\nX-Huge: ");
                qint64 sent = ::send(fd, start.constData(), size_t(start.size()), MSG_NOSIGNAL);
                while (!stop && sent > 0 && sent < kHugeBytes) {
                    const ssize_t n =
                        ::send(fd, chunk.constData(), size_t(chunk.size()), MSG_NOSIGNAL);
                    if (n <= 0)
                        break;
                    sent += n;
                }
                char answer[64] = {};
                if (::recv(fd, answer, sizeof answer - 1, 0) > 0 &&
                    qstrncmp(answer, "HTTP/1.1 431", 12) == 0)
                    ++refused;
                ::close(fd);
                ++attempts;
                qint64 most = mostSent;
                while (sent > most && !mostSent.compare_exchange_weak(most, sent)) {
                }
            }
        });
    }
    const int idleConnected = connected(idle, 10000);
    const int crowdConnected = connected(crowd, 5000);

    qint64 slowest = 0;
    long rssMost = 0;
    int failed = 0;
    for (int i = 0; i < 10; ++i) {
        const HttpReply a = request(to, scrape);
        failed += a.status == 200 && a.body.contains("orvalink_up{") ? 0 : 1;
        slowest = std::max(slowest, a.ms);
        rssMost = std::max(rssMost, vmRssKb(pid));
        QTest::qWait(300);
    }
    stop = true;
    for (std::thread& s : senders)
        s.join();
    rssMost = std::max(rssMost, vmRssKb(pid));
    const int descriptors = int(QDir(QStringLiteral("/proc/%1/fd").arg(pid))
                                    .entryList(QDir::NoDotAndDotDot | QDir::AllEntries)
                                    .size());
    const int idleHeld = idleConnected - closedByPeer(idle);
    const int crowdHeld = crowdConnected - closedByPeer(crowd);
    qInfo("under attack: %d scrapes failed, slowest %lld ms; monitor RSS %ld kB before, at most "
          "%ld kB; %d descriptors; idle connections held %d of %d, from one address %d of %d; "
          "%d huge-header connections, %d answered 431, at most %lld bytes sent on one",
          failed, slowest, rssBefore, rssMost, descriptors, idleHeld, idleConnected, crowdHeld,
          crowdConnected, int(attempts), int(refused), qlonglong(mostSent.load()));
    QCOMPARE(failed, 0);
    QVERIFY2(slowest < 1000, qPrintable(QString::number(slowest)));
    if (!kSanitized)
        QVERIFY2(rssMost < 100 * 1024, qPrintable(QString::number(rssMost)));
    QCOMPARE(idleConnected, kIdle);
    QVERIFY2(idleHeld > kIdle * 9 / 10, qPrintable(QString::number(idleHeld))); // not a bound hit
    QVERIFY2(crowdHeld <= 64, qPrintable(QString::number(crowdHeld)));

    QVERIFY(refused > 0);

    // The idle ones are closed by the monitor after 10 s.
    QTRY_VERIFY_WITH_TIMEOUT(closedByPeer(idle) == idleConnected, 16000 - int(idleSince.elapsed()));
    qInfo("idle connections closed by the monitor after %lld ms", idleSince.elapsed());
    QVERIFY(idleSince.elapsed() > 9000);
    for (const int fd : idle)
        ::close(fd);
    for (const int fd : crowd)
        ::close(fd);
    QCOMPARE(request(to, scrape).status, 200);

    ::kill(pid_t(pid), SIGTERM);
    QVERIFY(monitor.waitForFinished(5000));
    QCOMPARE(monitor.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestHttpBounds)
#include "tst_http_bounds.moc"
