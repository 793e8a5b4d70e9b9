// orvalink-sim: simulated Orvalink encoders and decoders on local addresses.

#include "Agent.h"
#include "Element.h"
#include "IniSeed.h"
#include "Options.h"
#include "Remote.h"
#include "StateFile.h"
#include "Traps.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <memory>
#include <vector>

#include <sys/socket.h>
#include <unistd.h>

using namespace orvalink::sim;

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int signal)
{
    // SIGUSR1 toggles the links; the others end the simulator.
    const char c = signal == SIGUSR1 ? 2 : 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

void say(FILE* to, const QString& line)
{
    std::fprintf(to, "orvalink-sim: %s\n", qPrintable(line));
    std::fflush(to);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments();
    arguments.removeFirst();

    Options options;
    QString error;
    if (!parseOptions(arguments, options, &error)) {
        say(stderr, error);
        return 2;
    }
    if (options.help) {
        std::fputs(qPrintable(usageText()), stdout);
        return 0;
    }

    std::unique_ptr<StateFile> state;
    if (!options.statePath.isEmpty()) {
        state = std::make_unique<StateFile>(options.statePath);
        if (!state->load(&error)) {
            say(stderr, error);
            return 2;
        }
    }

    std::unique_ptr<IniSeed> seed;
    if (!options.seedIniPath.isEmpty()) {
        seed = std::make_unique<IniSeed>();
        if (!seed->load(options.seedIniPath, &error)) {
            say(stderr, error);
            return 2;
        }
    }

    std::vector<std::unique_ptr<Element>> elements;
    std::vector<std::unique_ptr<Agent>> agents;
    std::vector<std::unique_ptr<TrapSender>> trapSenders;
    QList<const Element*> all;
    for (const ElementArg& given : options.elements) {
        auto element = std::make_unique<Element>(given.role, given.address, given.mac);
        element->setAnswersAll(options.answerAll);
        if (state) {
            for (const QString& problem : state->restore(*element))
                say(stderr, problem);
            if (!isLocalAddress(element->agentAddress())) {
                say(stderr, QStringLiteral("%1: stored agent address %2 is not local, using %3")
                                .arg(element->macText(), element->agentAddress().toString(),
                                     given.address.toString()));
                element->setAgentAddress(given.address);
            }
        }
        // The database wins over a state file: the station stores there
        // what an element confirmed, and a state file may be older.
        if (seed) {
            for (const QString& problem : seed->seed(*element))
                say(stderr, problem);
        }
        all << element.get();
        elements.push_back(std::move(element));
    }

    auto save = [&] {
        QString saveError;
        if (state && !state->save(all, &saveError))
            say(stderr, saveError);
    };

    QStringList ready;
    Agent::Config config;
    config.port = options.port;
    config.faults = options.faults;
    config.restartPauseMs = options.restartPauseMs;
    config.verbose = options.verbose;
    for (size_t i = 0; i < elements.size(); ++i) {
        Element* element = elements[i].get();
        element->setCounterTag(options.counterTag);
        Agent::Config elementConfig = config;
        if (options.elements.at(qsizetype(i)).silent)
            elementConfig.faults.lossPercent = 100;
        auto agent = std::make_unique<Agent>(*element, elementConfig);
        if (!agent->start(&error)) {
            say(stderr, element->label() + QStringLiteral(": ") + error);
            return 1;
        }
        QObject::connect(agent.get(), &Agent::settingsChanged, &app, save);
        QObject::connect(agent.get(), &Agent::restarted, &app,
                         [](const QString& message) { say(stdout, message); });
        auto trapSender = std::make_unique<TrapSender>(*element, options.traps, options.verbose);
        QObject::connect(agent.get(), &Agent::restarted, trapSender.get(), &TrapSender::restarted);
        trapSenders.push_back(std::move(trapSender));
        ready << agent->endpoint();
        agents.push_back(std::move(agent));
    }
    std::vector<std::unique_ptr<RemoteResponder>> responders;
    std::unique_ptr<PagingListener> paging;
    if (options.remote) {
        RemoteConfig remoteConfig = options.remoteConfig;
        remoteConfig.verbose = options.verbose;
        QList<RemoteResponder*> answering;
        for (auto& element : elements) {
            auto responder = std::make_unique<RemoteResponder>(
                *element, remoteConfig,
                options.badReplies.value(element->agentAddress().toIPv4Address(), BadReply::None));
            if (!responder->start(&error)) {
                // The SNMP agent works without it.
                say(stderr, element->label() + QStringLiteral(": ") + error);
                continue;
            }
            QObject::connect(responder.get(), &RemoteResponder::settingsChanged, &app, save);
            answering << responder.get();
            responders.push_back(std::move(responder));
        }
        paging = std::make_unique<PagingListener>(answering, remoteConfig.pagingPort);
        if (!answering.isEmpty() && !paging->start(&error))
            say(stderr, error);
    }
    save(); // the file lists every running element from the start

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) {
        say(stderr, QStringLiteral("cannot set up signal handling"));
        return 1;
    }
    QSocketNotifier notifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&] {
        char c = 1;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &c, 1);
        if (c == 2) {
            for (auto& sender : trapSenders)
                sender->toggleLink();
            return;
        }
        app.quit();
    });
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGUSR1, &sa, nullptr);

    // Every element has started: coldStart to its trap destination.
    for (auto& sender : trapSenders)
        sender->start();

    say(stdout, QStringLiteral("ready ") + ready.join(QLatin1Char(' ')));
    const int rc = app.exec();
    if (options.traps.floodPerSecond > 0) {
        quint64 sent = 0;
        for (auto& sender : trapSenders)
            sent += sender->sent();
        say(stdout, QStringLiteral("%1 trap(s) sent").arg(sent));
    }
    save();
    trapSenders.clear();
    paging.reset();
    responders.clear();
    agents.clear();
    return rc;
}
