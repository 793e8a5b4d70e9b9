// Read-outs of the panel's scroll bars in engineering units, and the reading
// of stored numbers.

#include "core/Readouts.h"

#include <QTest>

using namespace orvalink::readouts;

class TestReadouts : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void attenuation_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("point");
        QTest::addColumn<QString>("expected");
        const QString dot = QStringLiteral(".");
        const QString comma = QStringLiteral(",");
        QTest::newRow("lowest is mute") << 14 << dot << "Mute";
        QTest::newRow("one above mute") << 15 << dot << "-120 dB";
        QTest::newRow("half step") << 200 << dot << "-27.5 dB";
        QTest::newRow("one step below top") << 254 << dot << "-0.5 dB";
        QTest::newRow("top is 0 dB, not -0") << 255 << dot << "0 dB";
        QTest::newRow("comma separator") << 254 << comma << "-0,5 dB";
        QTest::newRow("whole number has no separator") << 253 << comma << "-1 dB";
    }
    void attenuation()
    {
        QFETCH(int, position);
        QFETCH(QString, point);
        QFETCH(QString, expected);
        QCOMPARE(attenuationText(position, point), expected);
    }

    void latency_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<bool>("gpsOrSfn");
        QTest::addColumn<bool>("lowLatency");
        QTest::addColumn<QString>("point");
        QTest::addColumn<QString>("expected");
        const QString dot = QStringLiteral(".");
        QTest::newRow("plain 0") << 0 << false << false << dot << "5mS";
        QTest::newRow("plain 1") << 1 << false << false << dot << "7.5mS";
        QTest::newRow("plain 3") << 3 << false << false << dot << "12.5mS";
        QTest::newRow("plain 22") << 22 << false << false << dot << "60mS";
        QTest::newRow("sfn 3") << 3 << true << false << dot << "10mS";
        QTest::newRow("gps max 23") << 23 << true << false << dot << "60mS";
        QTest::newRow("low latency 1") << 1 << false << true << dot << "3.75mS";
        QTest::newRow("low latency 3") << 3 << false << true << dot << "6.25mS";
        QTest::newRow("low latency wins over sfn") << 3 << true << true << dot << "6.25mS";
        QTest::newRow("low latency max 44") << 44 << false << true << dot << "57.5mS";
        QTest::newRow("comma") << 3 << false << false << QStringLiteral(",") << "12,5mS";
        QTest::newRow("comma two decimals")
            << 1 << false << true << QStringLiteral(",") << "3,75mS";
    }
    void latency()
    {
        QFETCH(int, position);
        QFETCH(bool, gpsOrSfn);
        QFETCH(bool, lowLatency);
        QFETCH(QString, point);
        QFETCH(QString, expected);
        QCOMPARE(latencyText(position, gpsOrSfn, lowLatency, point), expected);
    }

    void silence_data()
    {
        QTest::addColumn<bool>("level"); // true: threshold, false: timeout
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("expected");
        QTest::newRow("threshold 1") << true << 1 << "-49.8dBu";
        QTest::newRow("threshold 37") << true << 37 << "-18.4dBu";
        QTest::newRow("threshold 100") << true << 100 << "-9.8dBu";
        QTest::newRow("threshold 154 whole") << true << 154 << "-6dBu";
        QTest::newRow("timeout 1") << false << 1 << "0.5Sec";
        QTest::newRow("timeout 43") << false << 43 << "19.6Sec";
        QTest::newRow("timeout 220") << false << 220 << "100.1Sec";
    }
    void silence()
    {
        QFETCH(bool, level);
        QFETCH(int, position);
        QFETCH(QString, expected);
        const QString dot = QStringLiteral(".");
        QCOMPARE(level ? silenceLevelText(position, dot) : silenceTimeText(position, dot),
                 expected);
    }

    // Every position of both silence bars gives a read-out with at most one
    // decimal and never "-0".
    void silenceWholeRangeIsShortest()
    {
        const QString dot = QStringLiteral(".");
        for (int p = kSilDetLevelMin; p <= kSilDetTimeMax; ++p) {
            QStringList texts{silenceTimeText(p, dot)};
            if (p <= kSilDetLevelMax)
                texts << silenceLevelText(p, dot);
            for (const QString& t : texts) {
                const int point = t.indexOf(QLatin1Char('.'));
                QVERIFY2(point < 0 || !t.at(point + 1).isDigit() || !t.at(point + 2).isDigit(),
                         qPrintable(t));
                QVERIFY2(!t.contains(QLatin1String(".0")), qPrintable(t));
                QVERIFY2(!t.startsWith(QLatin1String("-0d")), qPrintable(t));
            }
        }
    }

    void decimalRounding_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("expected");
        // Halves go away from zero on the decimal value, also where the
        // binary double lies just below the half.
        QTest::newRow("0.05") << 0.05 << "0.1";
        QTest::newRow("-0.05") << -0.05 << "-0.1";
        QTest::newRow("1.25 exact") << 1.25 << "1.3";
        QTest::newRow("-18.35") << -18.35 << "-18.4";
        QTest::newRow("tiny negative is 0") << -0.04 << "0";
        QTest::newRow("whole") << 60.0 << "60";
    }
    void decimalRounding()
    {
        QFETCH(double, value);
        QFETCH(QString, expected);
        QCOMPARE(formatDecimal(roundToTenth(value), 1, QStringLiteral(".")), expected);
    }

    void storedNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isNumber");
        QTest::addColumn<int>("value");
        QTest::newRow("plain") << "37" << true << 37;
        QTest::newRow("blanks") << "  3 " << true << 3;
        QTest::newRow("negative") << "-5" << true << -5;
        QTest::newRow("plus") << "+2" << true << 2;
        QTest::newRow("trailing text") << "12abc" << true << 12;
        QTest::newRow("empty") << "" << false << 0;
        QTest::newRow("letters") << "abc" << false << 0;
        QTest::newRow("sign only") << "-" << false << 0;
        QTest::newRow("huge saturates") << "99999999999999999999" << true << 2147483647;
        QTest::newRow("huge negative") << "-99999999999999999999" << true << -2147483647;
    }
    void storedNumbers()
    {
        QFETCH(QString, text);
        QFETCH(bool, isNumber);
        QFETCH(int, value);
        const std::optional<int> n = storedInteger(text);
        QCOMPARE(n.has_value(), isNumber);
        if (isNumber)
            QCOMPARE(*n, value);
    }
};

QTEST_APPLESS_MAIN(TestReadouts)
#include "tst_readouts.moc"
