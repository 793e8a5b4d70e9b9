// One GetSNMP (SnmpTransport::get) against orvalink-sim on loopback, against
// a plain blocking UDP round trip of the same request to the same simulator,
// measured alternately in the same run.
//
// Goal: the median exchange at most 1.5 times the median raw round trip
// (waiting in a nested event loop, binding and closing the socket per
// exchange must cost little next to the network round trip itself).

#include "snmp/SnmpCodec.h"
#include "snmp/SnmpTransport.h"

#include "BenchSim.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <cstdio>
#include <vector>

using namespace orvalink;

namespace {

constexpr int kRounds = 2000;
constexpr quint16 kAgentPort = 16179;
const char* const kAgentHost = "127.0.79.1";

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);

    QProcess sim;
    if (!bench::startSimulator(sim, {QStringLiteral("--port"), QString::number(kAgentPort),
                                     QStringLiteral("encoder@") + QLatin1String(kAgentHost)})) {
        std::fprintf(stderr,
                     "bench-snmp: orvalink-sim did not start (build it next to this program)\n");
        return 1;
    }

    Timings timings; // production timeout: a lost reply would show as 1000 ms
    SnmpTransport snmp(timings);
    snmp.setLocalAddress(QStringLiteral("127.0.0.1"));
    snmp.setPorts(bench::freePort(), kAgentPort);
    bench::RawClient raw(kAgentHost, kAgentPort);
    const QString host = QLatin1String(kAgentHost);
    const QString community = QStringLiteral("morqubit");

    // Warm up both paths.
    for (int i = 0; i < 50; ++i) {
        snmp.GetSNMP(host, community, 15);
        raw.roundTrip(encodeGetRequest(community, 15, 1).datagram);
    }

    std::vector<double> exchangeUs, rawUs;
    exchangeUs.reserve(kRounds);
    rawUs.reserve(kRounds);
    int failures = 0;
    QElapsedTimer t;
    for (int i = 0; i < kRounds; ++i) {
        const QByteArray request = encodeGetRequest(community, 15, quint8(1 + i % 250)).datagram;
        t.start();
        const bool rawOk = raw.roundTrip(request);
        rawUs.push_back(double(t.nsecsElapsed()) / 1000.0);
        t.start();
        const QString value = snmp.GetSNMP(host, community, 15).value;
        exchangeUs.push_back(double(t.nsecsElapsed()) / 1000.0);
        if (!rawOk || value.isEmpty())
            ++failures;
    }
    sim.kill();
    sim.waitForFinished();

    const double mEx = bench::median(exchangeUs);
    const double mRaw = bench::median(rawUs);
    const double ratio = mEx / mRaw;
    std::printf("GetSNMP exchange, median of %d: %8.1f us\n", kRounds, mEx);
    std::printf("raw UDP round trip, median:      %8.1f us\n", mRaw);
    std::printf("ratio exchange / raw:            %8.2f (goal <= 1.50) %s\n", ratio,
                ratio <= 1.5 ? "ok" : "MISSED");
    if (failures)
        std::printf("rounds without a reply: %d\n", failures);
    return failures == 0 ? 0 : 1;
}
