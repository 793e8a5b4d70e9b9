#include "Options.h"

#include <QSet>

namespace orvalink::sim {

namespace {

bool toNumber(const QString& text, qint64 min, qint64 max, qint64& out)
{
    bool ok = false;
    const qint64 v = text.toLongLong(&ok);
    if (!ok || v < min || v > max)
        return false;
    out = v;
    return true;
}

bool parseElement(const QString& word, ElementArg& out, QString* error)
{
    const qsizetype at = word.indexOf(QLatin1Char('@'));
    if (at < 0) {
        *error = QStringLiteral("'%1': expected ROLE@ADDR[/MAC]").arg(word);
        return false;
    }
    const QString role = word.left(at).toLower();
    if (role == QLatin1String("encoder"))
        out.role = Role::Encoder;
    else if (role == QLatin1String("decoder"))
        out.role = Role::Decoder;
    else {
        *error = QStringLiteral("'%1': role must be encoder or decoder").arg(word);
        return false;
    }
    QString rest = word.mid(at + 1);
    QString macText;
    if (const qsizetype slash = rest.indexOf(QLatin1Char('/')); slash >= 0) {
        macText = rest.mid(slash + 1);
        rest = rest.left(slash);
    }
    const QStringList parts = rest.split(QLatin1Char('.'));
    bool numeric = parts.size() == 4;
    for (const QString& p : parts)
        numeric = numeric && !p.isEmpty() && p.size() <= 3 && p.toUInt() <= 255 &&
                  std::all_of(p.begin(), p.end(), [](QChar c) { return c.isDigit(); });
    if (!numeric || !out.address.setAddress(rest)) {
        *error = QStringLiteral("'%1': '%2' is not a dotted IPv4 address").arg(word, rest);
        return false;
    }
    if (!isLocalAddress(out.address)) {
        *error = QStringLiteral("'%1': %2 is not an address of this host; use a loopback address "
                                "(127.x.y.z) or one inside a network namespace you created")
                     .arg(word, rest);
        return false;
    }
    if (macText.isEmpty()) {
        out.mac = macForAddress(out.address);
    } else {
        out.mac = parseMac(macText);
        if (out.mac.isEmpty()) {
            *error = QStringLiteral("'%1': '%2' is not a MAC address like 2E:8B:F2:00:00:16")
                         .arg(word, macText);
            return false;
        }
    }
    return true;
}

} // namespace

QString usageText()
{
    return QStringLiteral(
        "Usage: orvalink-sim [options] ROLE@ADDR[/MAC] ...\n"
        "Simulates Orvalink encoders and decoders, each with an SNMPv1 agent on its own\n"
        "address.\n"
        "\n"
        "  ROLE        encoder or decoder\n"
        "  ADDR        a local address: 127.x.y.z, or one inside a network namespace\n"
        "  MAC         the element's MAC address (default 2E:8B:F2 and the address's\n"
        "              last three octets)\n"
        "\n"
        "Options:\n"
        "  --port P          agent UDP port (default 161)\n"
        "  --state FILE      keep every element's settings in FILE: read at start, written\n"
        "                    after each accepted SET and at exit\n"
        "  --from-ini FILE   start each element with the values of its section (named by\n"
        "                    its MAC) in the element database FILE (an nms.ini); its\n"
        "                    values win over those of a --state file\n"
        "  --drop N          lose the first N replies of each agent\n"
        "  --drop-every K    lose every K-th reply of each agent\n"
        "  --loss PERCENT    lose replies at random (0 to 100)\n"
        "  --seed S          seed for --loss (default 1)\n"
        "  --delay MS        send each reply MS milliseconds late\n"
        "  --wrong-id        answer with another request-id\n"
        "  --from-port P     send replies from source port P instead of the agent port\n"
        "  --reply-community C  answer with community C instead of the request's\n"
        "  --restart-ms MS   silence of an agent restarting after parameter 50 (default 3000)\n"
        "  --refuse-set N    answer every SET of parameter N with badValue, changing nothing\n"
        "  --drop-set N      leave every SET of parameter N unanswered, changing nothing\n"
        "  --stop-after N    answer the first N requests of each agent, then fall silent\n"
        "  --single-get      answer a GET of several variables with genErr (an agent that\n"
        "                    takes one variable per request)\n"
        "  --swap-varbinds   answer a GET of several variables with the first two swapped\n"
        "  --answer-all      every element answers every parameter, whatever its role\n"
        "  --remote-port P   remote protocol: the element's port (default 2977)\n"
        "  --save-port P     remote protocol: a second port for save requests (default 2976)\n"
        "  --paging-port P   remote protocol: the paging broadcast's port (default 1901)\n"
        "  --bad-reply ADDR=short|damaged\n"
        "                    the element at ADDR answers the remote protocol with a reply\n"
        "                    cut to 30 bytes, or with an audio input of 2\n"
        "  --no-remote       no remote protocol at all\n"
        "  --counter-type T  serve the counters as gauge (default), counter32, timeticks,\n"
        "                    integer or counter64\n"
        "  --silent ADDR     the element at ADDR receives but never answers (repeatable)\n"
        "  --verbose         log every request to stderr\n"
        "  --help            show this text\n"
        "\n"
        "Traps go to the element's trap destination (parameter 39; none while it is\n"
        "0.0.0.0, and only to an address of this host), from its agent address, with its\n"
        "read community: coldStart at start and after an agent restart, linkDown and\n"
        "linkUp when its link is toggled (SIGUSR1 toggles every element's link), and\n"
        "silenceDetected (enterprise 1.3.6.1.4.1.44467.3, specific 1) when a decoder's\n"
        "silence detector fires.\n"
        "  --trap-port P        port of the trap destination (default 162)\n"
        "  --trap-version V     1 (SNMPv1 Trap-PDU, default) or 2c (SNMPv2-Trap-PDU)\n"
        "  --silence-trap-ms MS a decoder's silence detector fires every MS ms\n"
        "  --link-toggle-ms MS  each element's link goes down, then up, every MS ms\n"
        "  --trap-flood N       each element sends N silenceDetected traps a second\n"
        "\n"
        "Communities: read \"morqubit\", write \"kestrvla\" (the write community also reads).\n"
        "A request with an unknown community gets no reply. A SET with the read community,\n"
        "or on a read-only parameter, is answered with noSuchName; a SET with a wrong type\n"
        "or a value out of range with badValue.\n"
        "Remote protocol: each element answers the paging text on the paging port (a\n"
        "broadcast, or a datagram to its address) and a save request (41 bytes for a\n"
        "decoder, 37 or 38 for an encoder) with its configuration reply, sent to the\n"
        "sender's address and port. A save request's settings pass the same checks as an\n"
        "SNMP SET and are kept in the state file. A level request (\"VOL\" on the element's\n"
        "port) is answered with 401 samples (1203 bytes) of a tone whose level swells and\n"
        "fades over 4 s, with a short peak near full scale every 7 s.\n"
        "A port that cannot be bound leaves that\n"
        "element without the remote protocol (a warning), not the simulator stopped.\n"
        "Once every agent is bound a line \"orvalink-sim: ready ...\" goes to stdout.\n"
        "SIGINT and SIGTERM end the simulator cleanly, saving the state file.\n");
}

bool parseOptions(const QStringList& arguments, Options& out, QString* error)
{
    Options o;
    QList<quint32> silent;
    QString dummy;
    if (!error)
        error = &dummy;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString arg = arguments[i];
        QString value;
        bool inlineValue = false;
        if (arg.startsWith(QLatin1String("--"))) {
            if (const qsizetype eq = arg.indexOf(QLatin1Char('=')); eq > 0) {
                value = arg.mid(eq + 1);
                arg = arg.left(eq);
                inlineValue = true;
            }
        }
        auto takeValue = [&](QString& v) {
            if (inlineValue) {
                v = value;
                return true;
            }
            if (i + 1 >= arguments.size()) {
                *error = QStringLiteral("%1 needs a value").arg(arg);
                return false;
            }
            v = arguments[++i];
            return true;
        };
        auto number = [&](qint64 min, qint64 max, qint64& target) {
            QString v;
            if (!takeValue(v))
                return false;
            if (!toNumber(v, min, max, target)) {
                *error = QStringLiteral("%1: '%2' is not a number from %3 to %4")
                             .arg(arg, v)
                             .arg(min)
                             .arg(max);
                return false;
            }
            return true;
        };
        auto flag = [&] {
            if (inlineValue) {
                *error = QStringLiteral("%1 takes no value").arg(arg);
                return false;
            }
            return true;
        };

        qint64 n = 0;
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            o.help = true;
        } else if (arg == QLatin1String("--trap-port")) {
            // Traps (the element's trap destination, parameter 39).
            if (!number(1, 65535, n))
                return false;
            o.traps.port = static_cast<quint16>(n);
        } else if (arg == QLatin1String("--trap-version")) {
            if (!takeValue(value))
                return false;
            if (value != QLatin1String("1") && value != QLatin1String("2c")) {
                *error = QStringLiteral("--trap-version: '%1' is not 1 or 2c").arg(value);
                return false;
            }
            o.traps.v2c = value == QLatin1String("2c");
        } else if (arg == QLatin1String("--silence-trap-ms")) {
            if (!number(1, 86400000, n))
                return false;
            o.traps.silenceEveryMs = static_cast<int>(n);
        } else if (arg == QLatin1String("--link-toggle-ms")) {
            if (!number(1, 86400000, n))
                return false;
            o.traps.linkToggleMs = static_cast<int>(n);
        } else if (arg == QLatin1String("--trap-flood")) {
            if (!number(1, 1000000, n))
                return false;
            o.traps.floodPerSecond = static_cast<int>(n);
        } else if (arg == QLatin1String("--port")) {
            if (!number(1, 65535, n))
                return false;
            o.port = static_cast<quint16>(n);
        } else if (arg == QLatin1String("--state")) {
            if (!takeValue(o.statePath))
                return false;
            if (o.statePath.isEmpty()) {
                *error = QStringLiteral("--state needs a file name");
                return false;
            }
        } else if (arg == QLatin1String("--from-ini")) {
            if (!takeValue(o.seedIniPath))
                return false;
            if (o.seedIniPath.isEmpty()) {
                *error = QStringLiteral("--from-ini needs a file name");
                return false;
            }
        } else if (arg == QLatin1String("--drop")) {
            if (!number(0, 1000000000, n))
                return false;
            o.faults.dropFirst = static_cast<int>(n);
        } else if (arg == QLatin1String("--drop-every")) {
            if (!number(1, 1000000000, n))
                return false;
            o.faults.dropEvery = static_cast<int>(n);
        } else if (arg == QLatin1String("--loss")) {
            if (!takeValue(value))
                return false;
            bool ok = false;
            const double p = value.toDouble(&ok);
            if (!ok || p < 0 || p > 100) {
                *error =
                    QStringLiteral("--loss: '%1' is not a percentage from 0 to 100").arg(value);
                return false;
            }
            o.faults.lossPercent = p;
        } else if (arg == QLatin1String("--seed")) {
            if (!number(0, 0xFFFFFFFFll, n))
                return false;
            o.faults.seed = static_cast<quint32>(n);
        } else if (arg == QLatin1String("--delay")) {
            if (!number(0, 600000, n))
                return false;
            o.faults.delayMs = static_cast<int>(n);
        } else if (arg == QLatin1String("--wrong-id")) {
            if (!flag())
                return false;
            o.faults.wrongId = true;
        } else if (arg == QLatin1String("--from-port")) {
            if (!number(1, 65535, n))
                return false;
            o.faults.fromPort = static_cast<quint16>(n);
        } else if (arg == QLatin1String("--reply-community")) {
            if (!takeValue(value))
                return false;
            if (value.isEmpty()) {
                *error = QStringLiteral("--reply-community needs a community");
                return false;
            }
            o.faults.replyCommunity = value.toLatin1();
        } else if (arg == QLatin1String("--restart-ms")) {
            if (!number(0, 600000, n))
                return false;
            o.restartPauseMs = static_cast<int>(n);
        } else if (arg == QLatin1String("--refuse-set")) {
            if (!number(1, 127, n))
                return false;
            o.faults.refuseSet = static_cast<int>(n);
        } else if (arg == QLatin1String("--drop-set")) {
            if (!number(1, 127, n))
                return false;
            o.faults.dropSet = static_cast<int>(n);
        } else if (arg == QLatin1String("--stop-after")) {
            if (!number(1, 1000000000, n))
                return false;
            o.faults.stopAfter = static_cast<int>(n);
        } else if (arg == QLatin1String("--single-get")) {
            if (!flag())
                return false;
            o.faults.singleGet = true;
        } else if (arg == QLatin1String("--swap-varbinds")) {
            if (!flag())
                return false;
            o.faults.swapVarbinds = true;
        } else if (arg == QLatin1String("--answer-all")) {
            if (!flag())
                return false;
            o.answerAll = true;
        } else if (arg == QLatin1String("--remote-port")) {
            if (!number(1, 65535, n))
                return false;
            o.remoteConfig.elementPort = static_cast<quint16>(n);
        } else if (arg == QLatin1String("--save-port")) {
            if (!number(1, 65535, n))
                return false;
            o.remoteConfig.savePort = static_cast<quint16>(n);
        } else if (arg == QLatin1String("--paging-port")) {
            if (!number(1, 65535, n))
                return false;
            o.remoteConfig.pagingPort = static_cast<quint16>(n);
        } else if (arg == QLatin1String("--no-remote")) {
            if (!flag())
                return false;
            o.remote = false;
        } else if (arg == QLatin1String("--bad-reply")) {
            if (!takeValue(value))
                return false;
            const qsizetype eq = value.indexOf(QLatin1Char('='));
            const QString kind = eq < 0 ? QString() : value.mid(eq + 1);
            QHostAddress address;
            if (eq < 0 || !address.setAddress(value.left(eq)) ||
                address.protocol() != QAbstractSocket::IPv4Protocol ||
                (kind != QLatin1String("short") && kind != QLatin1String("damaged"))) {
                *error = QStringLiteral("--bad-reply: '%1' is not ADDR=short or ADDR=damaged")
                             .arg(value);
                return false;
            }
            o.badReplies[address.toIPv4Address()] =
                kind == QLatin1String("short") ? BadReply::Short : BadReply::Damaged;
        } else if (arg == QLatin1String("--counter-type")) {
            QString type;
            if (!takeValue(type))
                return false;
            const struct {
                const char* name;
                quint8 tag;
            } types[] = {{"gauge", 0x42},
                         {"counter32", 0x41},
                         {"timeticks", 0x43},
                         {"integer", 0x02},
                         {"counter64", 0x46}};
            bool known = false;
            for (const auto& t : types) {
                if (type == QLatin1String(t.name)) {
                    o.counterTag = t.tag;
                    known = true;
                }
            }
            if (!known) {
                *error = QStringLiteral("--counter-type: '%1' is not gauge, counter32, "
                                        "timeticks, integer or counter64")
                             .arg(type);
                return false;
            }
        } else if (arg == QLatin1String("--silent")) {
            QString address;
            if (!takeValue(address))
                return false;
            QHostAddress a;
            if (!a.setAddress(address) || a.protocol() != QAbstractSocket::IPv4Protocol) {
                *error = QStringLiteral("--silent: '%1' is not an IPv4 address").arg(address);
                return false;
            }
            silent.append(a.toIPv4Address());
        } else if (arg == QLatin1String("--verbose") || arg == QLatin1String("-v")) {
            if (!flag())
                return false;
            o.verbose = true;
        } else if (arg.startsWith(QLatin1Char('-'))) {
            *error = QStringLiteral("unknown option %1 (see --help)").arg(arg);
            return false;
        } else {
            ElementArg element;
            if (!parseElement(arg, element, error))
                return false;
            o.elements.append(element);
        }
    }
    if (o.help) {
        out = o;
        return true;
    }
    if (o.elements.isEmpty()) {
        *error = QStringLiteral("no element given (e.g. encoder@127.0.0.21); see --help");
        return false;
    }
    if (o.faults.fromPort && o.faults.fromPort == o.port) {
        *error = QStringLiteral("--from-port must differ from the agent port %1").arg(o.port);
        return false;
    }
    for (const quint32 a : silent) {
        bool found = false;
        for (ElementArg& e : o.elements) {
            if (e.address.toIPv4Address() == a) {
                e.silent = true;
                found = true;
            }
        }
        if (!found) {
            *error = QStringLiteral("--silent: %1 is not an element's address")
                         .arg(QHostAddress(a).toString());
            return false;
        }
    }
    QSet<quint32> addresses;
    QSet<QByteArray> macs;
    for (const ElementArg& e : o.elements) {
        if (addresses.contains(e.address.toIPv4Address())) {
            *error = QStringLiteral("%1 is given twice").arg(e.address.toString());
            return false;
        }
        if (macs.contains(e.mac)) {
            *error = QStringLiteral("MAC %1 is given twice")
                         .arg(QString::fromLatin1(e.mac.toHex(':').toUpper()));
            return false;
        }
        addresses.insert(e.address.toIPv4Address());
        macs.insert(e.mac);
    }
    out = o;
    return true;
}

} // namespace orvalink::sim
