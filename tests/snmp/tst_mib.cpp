// The MIB module mibs/ORVALINK-MIB against the parameter table (so the two
// cannot drift), against libsmi's checker, and by object name through
// net-snmp against the simulator on loopback (127.0.152.x).

#include "common/SimProcess.h"
#include "snmp/ParameterTable.h"
#include "snmp/SnmpCodec.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace orvalink;

namespace {

QString sourceDir()
{
    return qEnvironmentVariable("ORVALINK_SOURCE_DIR");
}
QString mibPath()
{
    return sourceDir() + QStringLiteral("/mibs/ORVALINK-MIB");
}
// Stand-ins of the three SMIv2 base modules, which Debian's main archive
// does not ship.
QString baseModules()
{
    return sourceDir() + QStringLiteral("/tests/mibs");
}

struct MibObject {
    QString name;
    int n = 0;
    QString syntax; // as written, blanks collapsed
    QString access;
};

// The OBJECT-TYPEs under orvParameters, by parameter number; other
// OBJECT-TYPEs (under any other parent) end up in `stray`.
struct MibText {
    QMap<int, MibObject> objects;
    QStringList stray;
    QString groupObjects;
};

MibText readMib(const QString& path)
{
    MibText out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return out;
    QString text = QString::fromUtf8(f.readAll());
    text.remove(QRegularExpression(QStringLiteral("--[^\n]*")));
    static const QRegularExpression object(
        QStringLiteral("(\\w+)\\s+OBJECT-TYPE\\s+SYNTAX\\s+(.*?)\\s+(?:UNITS\\s+\"[^\"]*\"\\s+)?"
                       "MAX-ACCESS\\s+(\\S+).*?::=\\s*\\{\\s*(\\w+)\\s+(\\d+)\\s*\\}"),
        QRegularExpression::DotMatchesEverythingOption);
    for (auto it = object.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        MibObject o{m.captured(1), m.captured(5).toInt(), m.captured(2).simplified(),
                    m.captured(3)};
        if (m.captured(4) != QLatin1String("orvParameters") || out.objects.contains(o.n))
            out.stray.append(o.name);
        else
            out.objects.insert(o.n, o);
    }
    static const QRegularExpression group(
        QStringLiteral("OBJECT-GROUP\\s+OBJECTS\\s*\\{([^}]*)\\}"));
    out.groupObjects = group.match(text).captured(1);
    return out;
}

// The SYNTAX a parameter must have: what the agents serve for its form.
QRegularExpression expectedSyntax(const ParameterInfo& p)
{
    QString pattern;
    switch (p.form) {
    case ValueForm::Address:
        pattern = QStringLiteral("IpAddress");
        break;
    case ValueForm::Mac:
        pattern = QStringLiteral("(PhysAddress|OCTET STRING) \\(SIZE \\(6\\)\\)");
        break;
    case ValueForm::Text:
        if (p.n == param::Name)
            pattern = QStringLiteral("(DisplayString|OCTET STRING) \\(SIZE \\(16\\)\\)");
        else if (p.n == param::ReadCommunity || p.n == param::WriteCommunity)
            pattern = QStringLiteral("(DisplayString|OCTET STRING) \\(SIZE \\(8\\)\\)");
        else
            pattern = QStringLiteral("DisplayString");
        break;
    case ValueForm::Code:
    case ValueForm::Number:
    case ValueForm::Counter:
        pattern = QStringLiteral("Gauge32( \\(\\d+\\.\\.\\d+\\))?");
        break;
    }
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern));
}

// The test's simulated elements: 127.0.152.x.
const orvalink::testing::SimNet kNet{152};

quint16 agentPort()
{
    return kNet.agentPort();
}

using Run = orvalink::testing::ProgramRun;
Run run(const QString& program, const QStringList& args,
        const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    return orvalink::testing::runProgram(program, args, 20000, QByteArray(), env);
}

} // namespace

class TestMib : public QObject {
    Q_OBJECT
    MibText mib;

private Q_SLOTS:
    void initTestCase()
    {
        mib = readMib(mibPath());
        QVERIFY2(!mib.objects.isEmpty(), qPrintable(mibPath()));
    }

    // Catches a parameter added to, dropped from or changed in one of the
    // two without the other: every number, its access and its syntax.
    void matchesParameterTable()
    {
        QMap<int, MibObject> left = mib.objects;
        for (const ParameterInfo& p : parameterTable()) {
            QVERIFY2(left.contains(p.n), qPrintable(QStringLiteral("no object for %1").arg(p.n)));
            const MibObject o = left.take(p.n);
            const QString what =
                QStringLiteral("%1 (%2): %3, %4").arg(o.name).arg(p.n).arg(o.syntax, o.access);
            QVERIFY2(expectedSyntax(p).match(o.syntax).hasMatch(), qPrintable(what));
            QCOMPARE(o.access, p.writtenBy != OpNone ? QStringLiteral("read-write")
                                                     : QStringLiteral("read-only"));
            QVERIFY2(QRegularExpression(QStringLiteral("\\b%1\\b").arg(o.name))
                         .match(mib.groupObjects)
                         .hasMatch(),
                     qPrintable(what + QStringLiteral(" is not in the object group")));
        }
        QVERIFY2(left.isEmpty(),
                 qPrintable(QStringLiteral("numbers the table does not have: ") +
                            (left.isEmpty() ? QString() : QString::number(left.firstKey()))));
        QVERIFY2(mib.stray.isEmpty(), qPrintable(mib.stray.join(QLatin1Char(' '))));
    }

    // libsmi's checker at level 6 (errors and warnings) says nothing.
    void smilintIsQuiet()
    {
        const QString smilint = QStandardPaths::findExecutable(QStringLiteral("smilint"));
        if (smilint.isEmpty())
            QSKIP("smilint is not installed (Debian package smitools)");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("SMIPATH"), baseModules());
        const Run r = run(smilint, {QStringLiteral("-l"), QStringLiteral("6"), mibPath()}, env);
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.isEmpty() && r.err.isEmpty(), qPrintable(r.out + r.err));
    }

    // Every object, by name through net-snmp, against an encoder and a
    // decoder of the simulator: the name resolves to the OID the agents
    // serve, and the type that comes back is the one the module declares
    // (net-snmp says "Wrong Type" otherwise).
    void netSnmpByName()
    {
        const QString snmpget = QStandardPaths::findExecutable(QStringLiteral("snmpget"));
        if (snmpget.isEmpty())
            QSKIP("net-snmp's snmpget is not installed (Debian package snmp)");
        const QString simPath =
            qEnvironmentVariable("ORVALINK_BIN_DIR") + QStringLiteral("/orvalink-sim");
        if (!QFileInfo(simPath).isExecutable())
            QSKIP("orvalink-sim is not built");

        QProcess sim;
        const auto stopSim = qScopeGuard([&sim] {
            sim.kill();
            sim.waitForFinished(5000);
        });
        sim.start(simPath, {QStringLiteral("--port"), QString::number(agentPort()),
                            QStringLiteral("encoder@") + kNet.host(1),
                            QStringLiteral("decoder@") + kNet.host(2)});
        QElapsedTimer t;
        t.start();
        QByteArray simOut;
        while (!simOut.contains("orvalink-sim: ready") && t.elapsed() < 5000 &&
               sim.state() != QProcess::NotRunning) {
            sim.waitForReadyRead(50);
            simOut += sim.readAllStandardOutput();
        }
        QVERIFY2(simOut.contains("orvalink-sim: ready"), sim.readAllStandardError().constData());

        QTemporaryDir persistent; // net-snmp keeps its state files there
        QVERIFY(persistent.isValid());
        orvalink::testing::keepNetSnmpStateIn(persistent.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("MIBS"), QString()); // this module only

        QStringList names;
        for (const MibObject& o : std::as_const(mib.objects))
            names.append(o.name + QStringLiteral(".0"));
        QMap<QString, QString> answered; // object -> "Type: value"
        QString transcript;
        for (int element : {1, 2}) {
            // A v1 agent refuses the whole request for an object its role
            // lacks; snmpget then asks again without it.
            const Run r = run(
                snmpget,
                QStringList{QStringLiteral("-v1"), QStringLiteral("-r0"), QStringLiteral("-t2"),
                            QStringLiteral("-c"), QStringLiteral("morqubit"), QStringLiteral("-m"),
                            QStringLiteral("+ORVALINK-MIB"), QStringLiteral("-M"),
                            QStringLiteral("+%1:%2/mibs").arg(baseModules(), sourceDir()),
                            QStringLiteral("%1:%2").arg(kNet.host(element)).arg(agentPort())} +
                    names,
                env);
            transcript += r.out + r.err;
            QVERIFY2(!r.err.contains(QLatin1String("Unknown Object Identifier")) &&
                         !r.err.contains(QFileInfo(mibPath()).fileName() + QStringLiteral(" (")) &&
                         !r.err.contains(mibPath()),
                     qPrintable(r.err));
            static const QRegularExpression line(
                QStringLiteral("^ORVALINK-MIB::(\\w+)\\.0 = (.*)$"),
                QRegularExpression::MultilineOption);
            for (auto it = line.globalMatch(r.out); it.hasNext();) {
                const QRegularExpressionMatch m = it.next();
                answered.insert(m.captured(1), m.captured(2));
            }
        }
        for (const MibObject& o : std::as_const(mib.objects)) {
            QVERIFY2(answered.contains(o.name),
                     qPrintable(o.name + QStringLiteral(" unanswered:\n") + transcript));
            const QString value = answered.value(o.name);
            const QString type = o.syntax.startsWith(QLatin1String("Gauge32"))     ? "Gauge32: "
                                 : o.syntax.startsWith(QLatin1String("IpAddress")) ? "IpAddress: "
                                                                                   : "STRING: ";
            QVERIFY2(value.startsWith(type), qPrintable(o.name + QStringLiteral(" = ") + value));
        }
    }
};

QTEST_GUILESS_MAIN(TestMib)
#include "tst_mib.moc"
