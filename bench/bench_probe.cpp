// The probe of "Add new element" (ProbeOperation) against orvalink-sim on
// loopback with the production intervals, against 26 plain blocking UDP
// round trips of the same requests to the same simulator, measured
// alternately in the same run; then one probe of an address that never
// answers.
//
// Goals: a probe of a device that answers takes at most 1.5 times its 26 raw
// round trips (no idle waits, each key written as it arrives costs little);
// a probe of a silent address ends after the one SNMP wait (about 1 s).

#include "core/Prompt.h"
#include "devops/ProbeOperation.h"
#include "snmp/ParameterTable.h"
#include "snmp/SnmpCodec.h"
#include "snmp/SnmpTransport.h"

#include "BenchSim.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

using namespace orvalink;

namespace {

constexpr int kRounds = 100;
constexpr quint16 kAgentPort = 16181;
const char* const kAgentHost = "127.0.79.11";
const char* const kSilentHost = "127.0.79.12";

class NoPrompt : public Prompt {
public:
    PromptAnswer ask(const PromptRequest& r) override { return r.defaultAnswer; }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);

    QProcess sim;
    if (!bench::startSimulator(sim, {QStringLiteral("--port"), QString::number(kAgentPort),
                                     QStringLiteral("encoder@") + QLatin1String(kAgentHost)})) {
        std::fprintf(stderr,
                     "bench-probe: orvalink-sim did not start (build it next to this program)\n");
        return 1;
    }

    QTemporaryDir dir;
    IniStore store;
    Database db(store, dir.filePath(QStringLiteral("nms.ini")));
    NoPrompt prompt;
    const Timings timings; // production intervals
    SnmpTransport snmp(timings);
    snmp.setLocalAddress(QStringLiteral("127.0.0.1"));
    snmp.setPorts(bench::freePort(), kAgentPort);
    ProbeOperation probe(snmp, db, prompt, timings);
    bench::RawClient raw(kAgentHost, kAgentPort);
    const QString host = QLatin1String(kAgentHost);
    const QString community = ProbeOperation::kDefaultCommunity;

    QList<QByteArray> requests;
    quint8 id = 1;
    for (const OperationStep& s : probeSteps())
        requests << encodeGetRequest(community, s.n, id++).datagram;

    for (int i = 0; i < 5; ++i)
        probe.run(host, community);

    std::vector<double> probeMs, rawMs, exchangeMs;
    int failures = 0;
    QElapsedTimer t;
    for (int i = 0; i < kRounds; ++i) {
        t.start();
        bool rawOk = true;
        for (const QByteArray& r : requests)
            rawOk = raw.roundTrip(r) && rawOk;
        rawMs.push_back(double(t.nsecsElapsed()) / 1e6);
        t.start();
        for (const OperationStep& s : probeSteps())
            rawOk = snmp.GetSNMP(host, community, s.n).answered() && rawOk;
        exchangeMs.push_back(double(t.nsecsElapsed()) / 1e6);
        t.start();
        const bool ok = probe.run(host, community) == ProbeOperation::Result::Success;
        probeMs.push_back(double(t.nsecsElapsed()) / 1e6);
        if (!rawOk || !ok)
            ++failures;
    }
    sim.kill();
    sim.waitForFinished();

    // An address that takes the requests and never answers.
    QUdpSocket silent;
    silent.bind(QHostAddress(QLatin1String(kSilentHost)), kAgentPort);
    t.start();
    const ProbeOperation::Result r = probe.run(QLatin1String(kSilentHost), community);
    const double silentMs = double(t.nsecsElapsed()) / 1e6;

    const double mProbe = bench::median(probeMs);
    const double mRaw = bench::median(rawMs);
    const double ratio = mProbe / mRaw;
    std::printf("probe of an encoder (%d exchanges), median of %d: %8.2f ms\n",
                int(requests.size()), kRounds, mProbe);
    std::printf("the same %d raw UDP round trips, median:        %8.2f ms\n", int(requests.size()),
                mRaw);
    std::printf("ratio probe / raw:                               %8.2f (goal <= 1.50) %s\n", ratio,
                ratio <= 1.5 ? "ok" : "MISSED");
    // What the probe adds to its exchanges (the keys written, the status
    // texts), apart from what each exchange costs over a raw round trip.
    std::printf("the same %d GetSNMP exchanges alone, median:    %8.2f ms (probe / these: %.2f)\n",
                int(requests.size()), bench::median(exchangeMs),
                mProbe / bench::median(exchangeMs));
    std::printf("probe of a silent address:                       %8.1f ms (goal about %d) %s\n",
                silentMs, timings.snmpTimeoutMs,
                r == ProbeOperation::Result::NoResponse && silentMs < 1.2 * timings.snmpTimeoutMs
                    ? "ok"
                    : "MISSED");
    if (failures)
        std::printf("rounds that failed: %d\n", failures);
    return failures == 0 ? 0 : 1;
}
