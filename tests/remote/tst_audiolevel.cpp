// The level meter: which samples count, the bar and the label, and that the
// panel blanks the meter whenever polling is not running.

#include "panel/PanelFixture.h"
#include "remote/AudioLevel.h"

#include <QCheckBox>
#include <QLabel>
#include <QTimer>

#include <cmath>

using namespace orvalink;
using namespace orvalink::testing;

namespace {

QByteArray samples(const QList<quint32>& values)
{
    QByteArray d;
    for (quint32 v : values)
        d.append(char(v >> 16)).append(char(v >> 8)).append(char(v));
    return d;
}

// A level datagram of 401 samples (1203 bytes) of `fill`, with `last` as the
// final sample.
QByteArray datagram(quint32 fill, quint32 last)
{
    QList<quint32> v(400, fill);
    v.append(last);
    return samples(v);
}

} // namespace

class TestAudioLevel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void meterReadings_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("peak");
        QTest::addColumn<int>("bar");
        QTest::addColumn<QString>("label");
        QTest::newRow("full scale") << datagram(0x7FFFFF, 0x7FFFFF) << 8388607 << 2100 << "0dBFS";
        QTest::newRow("half scale") << datagram(4194304, 0) << 4194304 << 1050 << "-6dBFS";
        // Negative samples (first byte 0x80..0xFF) never count, however large.
        QTest::newRow("only negative") << datagram(0x800000, 0xFFFFFF) << 0 << 0 << "-oodBFS";
        // A sample is read only when a byte follows it: the last three bytes
        // of a datagram whose length is a multiple of 3 never count...
        QTest::newRow("last sample of a 3n-byte datagram unread")
            << datagram(1000, 2097152) << 1000 << 0 << "-78.5dBFS";
        // ...while before a trailing partial sample (itself unread) it does.
        QTest::newRow("last sample before a partial one read")
            << datagram(1000, 2097152) + QByteArray("\x7F\xFF", 2) << 2097152 << 525 << "-12dBFS";
        QTest::newRow("empty") << QByteArray() << 0 << 0 << "-oodBFS";
    }
    void meterReadings()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, peak);
        QFETCH(int, bar);
        QFETCH(QString, label);
        QCOMPARE(audiolevel::peakOf(data), peak);
        if (peak > 0)
            QCOMPARE(audiolevel::barTwips(peak), bar);
        QCOMPARE(audiolevel::labelText(peak, QStringLiteral(".")), label);
    }

    // The operator's decimal separator; exact halves go to the even
    // neighbour (away from zero would give 263 twips here).
    void separatorAndHalves()
    {
        const qint32 peak = qint32(8388608.0 * std::pow(10.0, -0.06 / 20.0));
        QCOMPARE(audiolevel::labelText(peak, QStringLiteral(",")), QStringLiteral("-0,1dBFS"));
        QCOMPARE(audiolevel::barTwips(1048576), 262); // 262.5 twips
    }

    // The panel: polling starts and stops with the check box; a datagram that
    // arrives after polling stopped only blanks the meter.
    void panelFollowsThePolling()
    {
        PanelFixture fx;
        const PanelControls& p = *fx.controls;
        p.chkGetVolume->setChecked(true);
        QVERIFY(p.tmrVolume->isActive());
        fx.panel->ShowAudioLevel(datagram(4194304, 0));
        QCOMPARE(p.lblVolume->text(), QStringLiteral("-6dBFS"));
        QCOMPARE(fx.panel->vuMeterWidthTwips(), 1050);

        p.chkGetVolume->setChecked(false);
        QVERIFY(!p.tmrVolume->isActive());
        QCOMPARE(p.lblVolume->text(), QStringLiteral("-oodBFS"));
        QCOMPARE(fx.panel->vuMeterWidthTwips(), 0);
        fx.panel->ShowAudioLevel(datagram(0x7FFFFF, 0x7FFFFF)); // late
        QCOMPARE(p.lblVolume->text(), QStringLiteral("-oodBFS"));
        QCOMPARE(fx.panel->audioPeak(), 8388607);
    }

    // Showing an element hides the level box unless the operator asked for
    // the control; either way it stops the polling.
    void levelControlOption()
    {
        PanelFixture fx;
        fx.writeElement({QStringLiteral("ROLE=2"), QStringLiteral("NAME=STUDIO 1")});
        const PanelControls& p = *fx.controls;
        p.chkGetVolume->setChecked(true);
        fx.show();
        QVERIFY(!p.tmrVolume->isActive());
        QVERIFY(p.chkGetVolume->isHidden());
        fx.panel->setLevelControlOffered(true);
        fx.show();
        QVERIFY(!p.chkGetVolume->isHidden());
        QVERIFY(!p.chkGetVolume->isChecked());
    }
};

QTEST_MAIN(TestAudioLevel)
#include "tst_audiolevel.moc"
