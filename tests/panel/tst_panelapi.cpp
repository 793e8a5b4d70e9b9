// What the main window may use of the element panel now that its controls
// are its own: the values for an apply and for the remote protocol, an
// element's confirmation, the commands, the encoder list and level polling;
// and the order in which Tab walks the panel, which the parts must keep.

#include "PanelFixture.h"

#include <QSignalSpy>

using namespace orvalink;
using orvalink::testing::PanelControls;
using orvalink::testing::PanelFixture;

namespace {

QStringList decoderKeys()
{
    return {QStringLiteral("NAME=STUDIO 1"),   QStringLiteral("IP=127.0.0.21"),
            QStringLiteral("MASK=255.0.0.0"),  QStringLiteral("GW=127.0.0.1"),
            QStringLiteral("ROLE=2"),          QStringLiteral("TYPE=1"),
            QStringLiteral("MULTI=239.1.2.3"), QStringLiteral("ATT=200"),
            QStringLiteral("BUF=3"),           QStringLiteral("SDL=100"),
            QStringLiteral("SDT=220"),         QStringLiteral("SDM=2"),
            QStringLiteral("SFN=1"),           QStringLiteral("LLO=0"),
            QStringLiteral("SN=D-0042"),       QStringLiteral("VER=3.50")};
}

} // namespace

class TestPanelApi : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Catches a value handed over from the wrong control (mask for gateway,
    // level for time), or a range that does not follow the start mode.
    void valuesForAnApplyAndTheRemoteProtocol()
    {
        PanelFixture fx;
        fx.panel->setBufferMaximum(44);
        fx.writeElement(decoderKeys());
        fx.show();
        const PanelControls& p = *fx.controls;
        p.txtElementName->setText(QStringLiteral("RENAMED"));

        const EditedValues v = fx.panel->editedValues();
        QCOMPARE(v.name, QStringLiteral("RENAMED"));
        QCOMPARE(v.ip, QStringLiteral("127.0.0.21"));
        QCOMPARE(v.mask, QStringLiteral("255.0.0.0"));
        QCOMPARE(v.gw, QStringLiteral("127.0.0.1"));
        QCOMPARE(v.remoteIP, QStringLiteral("239.1.2.3"));
        QCOMPARE(v.type, 1);
        QCOMPARE(v.input, -1);
        QCOMPARE(v.sfn, 1);
        QCOMPARE(v.llo, 0);
        QCOMPARE(v.att, 200);
        QCOMPARE(v.buf, 3);
        QCOMPARE(v.sdl, 100);
        QCOMPARE(v.sdt, 220);
        QCOMPARE(v.sdm, 2);
        // A decoder's hidden audio-source list goes to "Digital" for an apply.
        fx.panel->selectDigitalInput();
        QCOMPARE(fx.panel->editedValues().input, 0);

        const RemotePanelState s = fx.panel->remotePanelState();
        QCOMPARE(s.mac, QStringLiteral("2E:8B:F2:00:1A:2B"));
        QCOMPARE(s.roleCaption, QStringLiteral("DECODER"));
        QCOMPARE(s.name, QStringLiteral("RENAMED"));
        QCOMPARE(s.mask, QStringLiteral("255.0.0.0"));
        QCOMPARE(s.gw, QStringLiteral("127.0.0.1"));
        QCOMPARE(s.remote, QStringLiteral("239.1.2.3"));
        QVERIFY(s.sfn && !s.lowLatency);
        QCOMPARE(QList<int>({s.input, s.type, s.buffer, s.silDetMode, s.silDetLevel, s.silDetTime}),
                 QList<int>({0, 1, 3, 2, 100, 220}));
        QCOMPARE(QList<int>({s.silDetModeCount, s.attMin, s.bufferMax, s.levelMin, s.levelMax,
                             s.timeMin, s.timeMax}),
                 QList<int>({3, 14, 44, 1, 154, 1, 220}));
    }

    // An element's confirmation switches the form when the role differs,
    // and every read-out follows its confirmed position, also one equal to
    // where the bar already stood (the encoder's form leaves the silence
    // bars at their minimum showing no value).
    void confirmationShowsItsValues()
    {
        PanelFixture fx;
        fx.writeElement({QStringLiteral("ROLE=1"), QStringLiteral("TX=0")});
        fx.show();
        const PanelControls& p = *fx.controls;
        RemoteConfirmed confirmed;
        confirmed.typeCaption = QStringLiteral("DECODER");
        confirmed.serialNumber = QStringLiteral("257");
        confirmed.version = QStringLiteral("3.51");
        confirmed.att = 254;
        confirmed.buffer = 2;
        confirmed.silDetMode = 3; // beyond the list: nothing selected
        confirmed.silDetLevel = 1;
        confirmed.silDetTime = 1;
        fx.panel->showConfirmed(confirmed);
        QCOMPARE(fx.panel->roleCaption(), QStringLiteral("DECODER"));
        QCOMPARE(p.Label9->text(), QStringLiteral("Audio atten:"));
        QVERIFY(!p.scrlAtten->isHidden());
        QCOMPARE(p.lblSerialNumber->text(), QStringLiteral("257"));
        QCOMPARE(p.lblVersion->text(), QStringLiteral("3.51"));
        QCOMPARE(p.lblAttenDB->text(), QStringLiteral("-0.5 dB"));
        QCOMPARE(p.lblLatency->text(), QStringLiteral("10mS"));
        QCOMPARE(p.cmbSilDetMode->currentIndex(), -1);
        QCOMPARE(p.lblSilDetLevel->text(), QStringLiteral("-49.8dBu"));
        QCOMPARE(p.lblSilDetTime->text(), QStringLiteral("0.5Sec"));
    }

    // Catches a menu command that opens statistics or the adjustment while
    // the panel's button is off (no element shown, or not a decoder with
    // SFN), and ping feedback that does not reach the button.
    void commandsOnlyWhileOffered()
    {
        PanelFixture fx;
        const PanelControls& p = *fx.controls;
        QSignalSpy ping(fx.panel.get(), &ElementPanel::pingClicked);
        QSignalSpy stats(fx.panel.get(), &ElementPanel::getStatsClicked);
        QSignalSpy adjust(fx.panel.get(), &ElementPanel::adjustClicked);
        fx.panel->ClearElementPanel();
        QVERIFY(!fx.panel->statisticsOffered() && !fx.panel->adjustOffered());
        fx.panel->clickGetStats();
        fx.panel->clickAdjust();
        fx.panel->clickPing();
        QCOMPARE(QList<qsizetype>({ping.size(), stats.size(), adjust.size()}),
                 QList<qsizetype>({1, 0, 0}));
        QCOMPARE(fx.panel->shownMac(), QStringLiteral("-"));
        QCOMPARE(fx.panel->roleCaption(), QStringLiteral("-"));

        fx.writeElement(decoderKeys());
        fx.show();
        QVERIFY(fx.panel->statisticsOffered() && fx.panel->adjustOffered());
        fx.panel->clickGetStats();
        fx.panel->clickAdjust();
        QCOMPARE(QList<qsizetype>({ping.size(), stats.size(), adjust.size()}),
                 QList<qsizetype>({1, 1, 1}));
        QCOMPARE(fx.panel->shownMac(), QStringLiteral("2E:8B:F2:00:1A:2B"));

        fx.panel->setPingToolTip(QStringLiteral("Ping to 127.0.0.21"));
        fx.panel->setPingCaption(QStringLiteral("7 ms"));
        fx.panel->setPingColour(QColor(0, 255, 0));
        QCOMPARE(p.cmdPing->text(), QStringLiteral("7 ms"));
        QCOMPARE(p.cmdPing->toolTip(), QStringLiteral("Ping to 127.0.0.21"));
        QVERIFY(p.cmdPing->styleSheet().contains(QStringLiteral("#00ff00")));
    }

    void encoderListFollowsTheTree()
    {
        PanelFixture fx;
        const PanelControls& p = *fx.controls;
        fx.panel->addEncoder(QStringLiteral("ENC 1 [2E:8B:F2:00:01:01]"));
        fx.panel->clearEncoders();
        fx.panel->addEncoder(QStringLiteral("ENC 2 [2E:8B:F2:00:01:02]"));
        QCOMPARE(p.cmbEncoders->count(), 2);
        QCOMPARE(p.cmbEncoders->itemText(0), QStringLiteral("<None>"));
        QCOMPARE(p.cmbEncoders->itemText(1), QStringLiteral("ENC 2 [2E:8B:F2:00:01:02]"));
        p.cmbEncoders->setCurrentIndex(1);
        fx.panel->ClearElementPanel();
        QCOMPARE(p.cmbEncoders->currentIndex(), 0);
    }

    // Catches level requests that stop reaching the main window, or go on
    // after the box is cleared.
    void levelRequestsWhilePolling()
    {
        PanelFixture fx;
        const PanelControls& p = *fx.controls;
        QSignalSpy requests(fx.panel.get(), &ElementPanel::levelRequested);
        p.Slider1->setValue(5);
        p.chkGetVolume->setChecked(true);
        QTRY_VERIFY(requests.size() >= 2);
        p.chkGetVolume->setChecked(false);
        const qsizetype stopped = requests.size();
        QTest::qWait(30);
        QCOMPARE(requests.size(), stopped);
    }

    // Tab walks the panel top to bottom, left to right, as the forms read;
    // building the parts in another order would scramble it.
    void tabOrder()
    {
        PanelFixture fx;
        ElementPanel& panel = *fx.panel;
        QStringList chain;
        for (QWidget* w = panel.nextInFocusChain(); w != &panel; w = w->nextInFocusChain())
            if (w->focusPolicy() & Qt::TabFocus)
                chain << w->objectName();
        QCOMPARE(chain,
                 QStringList({"txtElementName", "txtElementIP",    "txtElementMask", "txtElementGW",
                              "txtVLAN_Audio",  "txtVLAN_OM",      "txtRemoteIP",    "cmbAudioType",
                              "cmbAudioInput",  "scrlAtten",       "cmbAudioTX",     "cmbEncoders",
                              "chkSFNEnabled",  "cmdAdjust",       "chkLowLatency",  "scrlBuffer",
                              "cmbSilDetMode",  "scrlSilDetLevel", "scrlSilDetTime", "cmdPing",
                              "cmdGetStats",    "chkGetVolume",    "Slider1"}));
    }
};

QTEST_MAIN(TestPanelApi)
#include "tst_panelapi.moc"
