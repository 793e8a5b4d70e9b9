// The parameter table and the per-operation lists, checked against the
// documented table and against each other.

#include "snmp/ParameterTable.h"
#include "snmp/SnmpCodec.h"

#include <QSet>
#include <QTest>

using namespace orvalink;

class TestParameterTable : public QObject {
    Q_OBJECT

    static QList<int> numbers(const QList<OperationStep>& steps)
    {
        QList<int> out;
        for (const OperationStep& s : steps)
            out.append(s.n);
        return out;
    }
    static QList<int> numbers(std::span<const OperationStep> steps)
    {
        return numbers(QList<OperationStep>(steps.begin(), steps.end()));
    }

private Q_SLOTS:
    void invariants()
    {
        QSet<int> seen;
        int previous = 0;
        for (const ParameterInfo& p : parameterTable()) {
            QVERIFY2(p.n > previous, "table in parameter order without duplicates");
            previous = p.n;
            seen.insert(p.n);
            QVERIFY(p.n >= 1 && p.n <= 50);
            QVERIFY(p.setTag == 0 || p.setTag == snmptag::OctetString ||
                    p.setTag == snmptag::IpAddress || p.setTag == snmptag::Gauge);
            // Written exactly when it has a SET tag; the tag fits the form.
            QCOMPARE(p.writtenBy != OpNone, p.setTag != 0);
            if (p.form == ValueForm::Address && p.setTag)
                QCOMPARE(p.setTag, snmptag::IpAddress);
            if ((p.form == ValueForm::Code || p.form == ValueForm::Number) && p.setTag)
                QCOMPARE(p.setTag, snmptag::Gauge);
            if (p.form == ValueForm::Counter || p.form == ValueForm::Mac)
                QCOMPARE(p.writtenBy, unsigned(OpNone));
        }
        for (int unused : {28, 29, 44})
            QVERIFY(!findParameter(unused));
        QCOMPARE(seen.size(), 47);
        QVERIFY(!findParameter(0));
        QVERIFY(!findParameter(51));
    }

    void spotChecks_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("tag");
        QTest::addColumn<int>("form");
        QTest::newRow("att") << 1 << "att" << 0x42 << int(ValueForm::Number);
        QTest::newRow("input") << 7 << "input" << 0x42 << int(ValueForm::Code);
        QTest::newRow("remote") << 11 << "remote" << 0x40 << int(ValueForm::Address);
        QTest::newRow("mac") << 15 << "" << 0 << int(ValueForm::Mac);
        QTest::newRow("delay avg") << 24 << "delay_avg" << 0 << int(ValueForm::Counter);
        QTest::newRow("dly") << 31 << "dly" << 0x42 << int(ValueForm::Number);
        QTest::newRow("name") << 35 << "name" << 0x04 << int(ValueForm::Text);
        QTest::newRow("serial") << 38 << "sn" << 0 << int(ValueForm::Text);
        QTest::newRow("snmpro") << 40 << "snmpro" << 0x04 << int(ValueForm::Text);
        QTest::newRow("current dns") << 45 << "snmpdn" << 0 << int(ValueForm::Address);
        QTest::newRow("new agent ip") << 48 << "snmpip" << 0x40 << int(ValueForm::Address);
        QTest::newRow("restart") << 50 << "" << 0x42 << int(ValueForm::Code);
    }
    void spotChecks()
    {
        QFETCH(int, n);
        QFETCH(QString, key);
        QFETCH(int, tag);
        QFETCH(int, form);
        const ParameterInfo* p = findParameter(n);
        QVERIFY(p);
        QCOMPARE(QString::fromLatin1(p->key), key);
        QCOMPARE(int(p->setTag), tag);
        QCOMPARE(int(setTagOf(n)), tag);
        QCOMPARE(int(p->form), form);
    }

    void keyLookup()
    {
        QCOMPARE(findParameterByKey(QStringLiteral("NAME"))->n, quint8(35));
        QCOMPARE(findParameterByKey(QStringLiteral("snmpnm"))->n, quint8(42)); // the current one
        QCOMPARE(findParameterByKey(QStringLiteral("multi"))->n, quint8(10));
        QVERIFY(!findParameterByKey(QStringLiteral("role")));
        QVERIFY(!findParameterByKey(QString()));
    }

    // Every operation touches only parameters the table gives it, with the
    // table's tag when it writes.
    void operationsAgreeWithTable()
    {
        const struct {
            std::span<const OperationStep> steps;
            unsigned op;
            bool writes;
        } ops[] = {
            {probeSteps(), OpProbe, false},
            {applySteps(), OpApply, true},
            {statisticsSteps(), OpStatistics, false},
            {snmpPropertiesSteps(), OpSnmpProperties, true},
            {sfnReadSteps(), OpSfnAdjust, false},
        };
        for (const auto& o : ops) {
            for (const OperationStep& s : o.steps) {
                const ParameterInfo* p = findParameter(s.n);
                QVERIFY2(p, qPrintable(QString::number(s.n)));
                QVERIFY2((o.writes ? p->writtenBy : p->readBy) & o.op,
                         qPrintable(QString::number(s.n)));
            }
        }
        QVERIFY(findParameter(param::SfnDelay)->writtenBy & OpSfnAdjust);
        QCOMPARE(numbers(probeSteps()),
                 (QList<int>{15, 35, 14, 13, 18, 30, 31, 32, 9,  8,  7,  1,  12,
                             11, 10, 2,  33, 34, 36, 37, 38, 41, 42, 43, 45, 39}));
        QCOMPARE(numbers(sfnReadSteps()), (QList<int>{26, 25, 24, 31}));
    }

    void operationLists_data()
    {
        QTest::addColumn<int>("which"); // 0 apply, 1 statistics, 2 SNMP properties
        QTest::addColumn<int>("role");
        QTest::addColumn<int>("tx");
        QTest::addColumn<bool>("flag"); // sfn, or agent settings changed
        QTest::addColumn<QList<int>>("expected");
        const int enc = int(ElementRole::Encoder), dec = int(ElementRole::Decoder),
                  unk = int(ElementRole::Unknown);
        QTest::newRow("apply encoder unicast")
            << 0 << enc << 0 << false << QList<int>{35, 14, 18, 13, 7, 8, 12, 11, 30, 9};
        QTest::newRow("apply encoder multicast")
            << 0 << enc << 1 << false << QList<int>{35, 14, 18, 13, 7, 8, 12, 10, 30, 9};
        QTest::newRow("apply encoder without tx")
            << 0 << enc << -1 << false << QList<int>{35, 14, 18, 13, 7, 8, 12, 30, 9};
        QTest::newRow("apply decoder")
            << 0 << dec << 1 << false
            << QList<int>{35, 14, 18, 13, 8, 11, 30, 9, 1, 2, 33, 34, 32, 1};
        QTest::newRow("statistics encoder")
            << 1 << enc << 0 << false << QList<int>{20, 19, 17, 16, 6, 5};
        QTest::newRow("statistics unknown, sfn")
            << 1 << unk << 0 << true << QList<int>{20, 19, 17, 16, 6, 5, 23};
        QTest::newRow("statistics decoder, sfn")
            << 1 << dec << 0 << true << QList<int>{20, 19, 17, 16, 4, 3, 23, 21, 22, 27};
        QTest::newRow("statistics decoder")
            << 1 << dec << 0 << false << QList<int>{20, 19, 17, 16, 4, 3};
        QTest::newRow("properties, agent same") << 2 << enc << 0 << false << QList<int>{39, 40, 41};
        QTest::newRow("properties, agent changed")
            << 2 << enc << 0 << true << QList<int>{39, 40, 41, 48, 46, 47, 49, 50};
    }
    void operationLists()
    {
        QFETCH(int, which);
        QFETCH(int, role);
        QFETCH(int, tx);
        QFETCH(bool, flag);
        QFETCH(QList<int>, expected);
        StepContext c;
        c.role = ElementRole(role);
        c.tx = tx;
        c.sfn = which == 1 && flag;
        c.agentChanged = which == 2 && flag;
        const std::span<const OperationStep> steps[] = {applySteps(), statisticsSteps(),
                                                        snmpPropertiesSteps()};
        QCOMPARE(numbers(selectSteps(steps[which], c)), expected);
    }

    // A decoder's multicast group goes to 11 but is kept under multi.
    void decoderMulticastKey()
    {
        StepContext c;
        c.role = ElementRole::Decoder;
        for (const OperationStep& s : selectSteps(applySteps(), c)) {
            if (s.n == 11)
                QCOMPARE(QByteArray(s.key), QByteArray("multi"));
        }
    }

    void probeRole_data()
    {
        QTest::addColumn<QList<int>>("answered");
        QTest::addColumn<int>("role");
        QTest::newRow("nothing answered") << QList<int>{} << int(ElementRole::Encoder);
        QTest::newRow("encoder parameters only") << QList<int>{7, 12} << int(ElementRole::Encoder);
        QTest::newRow("decoder parameters only")
            << QList<int>{32, 1, 2, 34} << int(ElementRole::Decoder);
        QTest::newRow("one decoder parameter") << QList<int>{34} << int(ElementRole::Decoder);
        QTest::newRow("everything") << QList<int>{32, 1, 2, 34, 7, 12} << int(ElementRole::Unknown);
        QTest::newRow("one of each") << QList<int>{2, 12} << int(ElementRole::Unknown);
        QTest::newRow("others do not count") << QList<int>{15, 35, 14} << int(ElementRole::Encoder);
    }
    void probeRole()
    {
        QFETCH(QList<int>, answered);
        QFETCH(int, role);
        QSet<quint8> set;
        for (int n : answered)
            set.insert(quint8(n));
        QCOMPARE(int(roleFromProbe(set)), role);
    }
};

QTEST_GUILESS_MAIN(TestParameterTable)
#include "tst_parametertable.moc"
