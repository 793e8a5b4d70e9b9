// The element panel: filling it from the database by role, the layout
// switch, the editors' read-outs and checks, and bad stored data.

#include "PanelFixture.h"
#include "common/SimProcess.h"
#include "core/Readouts.h"
#include "store/ElementDatabase.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>

using namespace orvalink;
using orvalink::testing::PanelControls;
using orvalink::testing::PanelFixture;
using Mode = ElementPanel::ShowMode;

namespace {

// The test's loopback addresses, only ever texts here: 127.0.143.x.
const orvalink::testing::SimNet kNet{143};

const QColor kLightRed(255, 128, 128);

QColor baseOf(const QLineEdit* field)
{
    return field->palette().color(QPalette::Base);
}

QColor windowBase(const QLineEdit* field)
{
    return QApplication::palette(field).color(QPalette::Base);
}

QStringList decoderKeys(const QStringList& extra = {})
{
    return QStringList{QStringLiteral("NAME=STUDIO 1        "),
                       QStringLiteral("IP=") + kNet.host(21),
                       QStringLiteral("MASK=255.0.0.0"),
                       QStringLiteral("GW=") + kNet.host(1),
                       QStringLiteral("ROLE=2"),
                       QStringLiteral("TYPE=1"),
                       QStringLiteral("MULTI=239.1.2.3"),
                       QStringLiteral("ATT=200"),
                       QStringLiteral("SN=D-0042"),
                       QStringLiteral("VER=3.50")} +
           extra;
}

QStringList encoderKeys(const QStringList& extra = {})
{
    return QStringList{QStringLiteral("NAME=STUDIO 1"),
                       QStringLiteral("IP=") + kNet.host(11),
                       QStringLiteral("MASK=255.0.0.0"),
                       QStringLiteral("GW=") + kNet.host(1),
                       QStringLiteral("ROLE=1"),
                       QStringLiteral("TYPE=0"),
                       QStringLiteral("INPUT=1"),
                       QStringLiteral("MULTI=239.1.2.3"),
                       QStringLiteral("REMOTE=") + kNet.host(21)} +
           extra;
}

} // namespace

class TestElementPanel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void decoderLatencyAndAdjust_data()
    {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<bool>("gps");
        QTest::addColumn<QString>("latency");
        QTest::addColumn<bool>("adjust");
        QTest::addColumn<bool>("lowLatencyActive");
        QTest::newRow("buf 3 plain")
            << QStringList{"BUF=3", "SFN=0", "LLO=0"} << false << "12.5mS" << false << false;
        QTest::newRow("buf 3 low latency")
            << QStringList{"BUF=3", "SFN=0", "LLO=1"} << false << "6.25mS" << false << true;
        QTest::newRow("buf 3 sfn")
            << QStringList{"BUF=3", "SFN=1", "LLO=0"} << false << "10mS" << true << false;
        QTest::newRow("buf 3 gps") << QStringList{"BUF=3"} << true << "10mS" << false << false;
        QTest::newRow("sfn and low latency")
            << QStringList{"BUF=3", "SFN=1", "LLO=1"} << false << "6.25mS" << true << true;
        QTest::newRow("buf missing is 1") << QStringList{} << false << "7.5mS" << false << false;
    }
    void decoderLatencyAndAdjust()
    {
        QFETCH(QStringList, keys);
        QFETCH(bool, gps);
        QFETCH(QString, latency);
        QFETCH(bool, adjust);
        QFETCH(bool, lowLatencyActive);
        PanelFixture fx;
        fx.flags.GPSMode = gps;
        fx.writeElement(decoderKeys(keys));
        fx.show();
        const PanelControls& p = *fx.controls;
        QCOMPARE(p.lblElementType->text(), QStringLiteral("DECODER"));
        QCOMPARE(p.lblLatency->text(), latency);
        QVERIFY(p.lblLatency->isEnabled());
        QCOMPARE(p.cmdAdjust->isEnabled(), adjust);
        QCOMPARE(fx.flags.LowLatencyActive, lowLatencyActive);
        QVERIFY(fx.prompt.done());
    }

    void decoderFieldsAndLayout()
    {
        PanelFixture fx;
        fx.writeElement(decoderKeys({"SDL=100", "SDT=220", "SDM=0", "BUF=2"}));
        fx.show();
        const PanelControls& p = *fx.controls;
        QCOMPARE(p.txtElementName->text(), QStringLiteral("STUDIO 1"));
        QCOMPARE(p.txtElementIP->text(), kNet.host(21));
        QCOMPARE(p.txtElementMask->text(), QStringLiteral("255.0.0.0"));
        QCOMPARE(p.txtElementGW->text(), kNet.host(1));
        QCOMPARE(p.cmbAudioType->currentIndex(), 1);
        QCOMPARE(p.lblVersion->text(), QStringLiteral("3.50"));
        QCOMPARE(p.lblSerialNumber->text(), QStringLiteral("D-0042"));
        QCOMPARE(p.lblElementMAC->text(), QStringLiteral("2E:8B:F2:00:1A:2B"));
        QCOMPARE(p.Label7->text(), QStringLiteral("Multicast IP:"));
        QCOMPARE(p.txtRemoteIP->text(), QStringLiteral("239.1.2.3"));
        QCOMPARE(p.Label9->text(), QStringLiteral("Audio atten:"));
        QCOMPARE(p.scrlAtten->value(), 200);
        QCOMPARE(p.lblAttenDB->text(), QStringLiteral("-27.5 dB"));
        QCOMPARE(p.lblSilDetLevel->text(), QStringLiteral("-9.8dBu"));
        QCOMPARE(p.lblSilDetTime->text(), QStringLiteral("100.1Sec"));
        QVERIFY(!p.scrlAtten->isHidden());
        QVERIFY(!p.lblAttenDB->isHidden());
        QVERIFY(p.cmbAudioInput->isHidden());
        QVERIFY(p.cmbAudioTX->isHidden());
        QVERIFY(p.scrlBuffer->isEnabled());
        QVERIFY(p.cmbSilDetMode->isEnabled());
        QVERIFY(p.scrlSilDetLevel->isEnabled());
        QVERIFY(!p.VUMeter->isEnabled());
        QVERIFY(p.cmdGetStats->isEnabled());
        QCOMPARE(p.cmdPing->text(), QStringLiteral("<Click to test>"));
        QVERIFY(p.cmdPing->toolTip().isEmpty());
        QCOMPARE(fx.panel->pingColour(), QColor(255, 255, 192));
    }

    void encoderLayout_data()
    {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("label7");
        QTest::addColumn<QString>("remote");
        QTest::newRow("unicast") << QStringList{"TX=0"} << "Decoder IP:" << kNet.host(21);
        QTest::newRow("multicast") << QStringList{"TX=1"} << "Multicast IP:"
                                   << "239.1.2.3";
        QTest::newRow("tx missing") << QStringList{} << "Decoder IP:" << kNet.host(21);
    }
    void encoderLayout()
    {
        QFETCH(QStringList, keys);
        QFETCH(QString, label7);
        QFETCH(QString, remote);
        PanelFixture fx;
        fx.writeElement(encoderKeys(keys << QStringLiteral("BUF=9") << QStringLiteral("SFN=1")));
        fx.controls->chkGetVolume->setChecked(true);
        fx.controls->tmrVolume->start();
        fx.panel->setVUMeterWidthTwips(1000);
        fx.controls->lblVolume->setText(QStringLiteral("-3dBFS"));
        fx.show();
        const PanelControls& p = *fx.controls;
        QCOMPARE(p.lblElementType->text(), QStringLiteral("ENCODER"));
        QCOMPARE(p.Label7->text(), label7);
        QCOMPARE(p.txtRemoteIP->text(), remote);
        QCOMPARE(p.Label9->text(), QStringLiteral("Audio source:"));
        QCOMPARE(p.cmbAudioInput->currentIndex(), 1);
        QVERIFY(!p.cmbAudioInput->isHidden());
        QVERIFY(!p.cmbAudioTX->isHidden());
        QVERIFY(p.scrlAtten->isHidden());
        // Buffer and latency are fixed for an encoder, whatever is stored.
        QCOMPARE(p.scrlBuffer->value(), 0);
        QVERIFY(!p.scrlBuffer->isEnabled());
        QCOMPARE(p.lblLatency->text(), QStringLiteral("2.5mS"));
        QVERIFY(!p.lblLatency->isEnabled());
        QVERIFY(!p.cmdAdjust->isEnabled());
        for (QWidget* w :
             {static_cast<QWidget*>(p.cmbSilDetMode), static_cast<QWidget*>(p.scrlSilDetLevel),
              static_cast<QWidget*>(p.scrlSilDetTime), static_cast<QWidget*>(p.lblSilDetLevel),
              static_cast<QWidget*>(p.lblThreshold), static_cast<QWidget*>(p.lblBufferSize)})
            QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
        // The level meter is reset and its switch hidden.
        QVERIFY(!p.chkGetVolume->isChecked());
        QVERIFY(p.chkGetVolume->isHidden());
        QVERIFY(!p.tmrVolume->isActive());
        QCOMPARE(fx.panel->vuMeterWidthTwips(), 0);
        QCOMPARE(p.lblVolume->text(), QStringLiteral("-oodBFS"));
        QVERIFY(p.VUMeter->isEnabled());
    }

    // Missing keys take their defaults; a missing or too low attenuation is
    // raised to the bar's minimum in the file as well.
    void decoderDefaultsAndAttenuationWriteBack_data()
    {
        QTest::addColumn<QString>("attLine");
        QTest::newRow("att missing") << QString();
        QTest::newRow("att zero") << QStringLiteral("ATT=0");
        QTest::newRow("att 13") << QStringLiteral("ATT=13");
        QTest::newRow("att not a number") << QStringLiteral("ATT=loud");
    }
    void decoderDefaultsAndAttenuationWriteBack()
    {
        QFETCH(QString, attLine);
        PanelFixture fx;
        QStringList keys{QStringLiteral("ROLE=2")};
        if (!attLine.isEmpty())
            keys << attLine;
        fx.writeElement(keys);
        fx.show();
        const PanelControls& p = *fx.controls;
        QCOMPARE(p.scrlAtten->value(), 14);
        QCOMPARE(p.lblAttenDB->text(), QStringLiteral("Mute"));
        QCOMPARE(fx.store.read(QStringLiteral("2E8BF2001A2B"), QStringLiteral("att"), fx.path,
                               QString()),
                 QStringLiteral("14"));
        QVERIFY(fx.fileText().contains("ATT=14"));
        QCOMPARE(p.scrlBuffer->value(), 1);
        QCOMPARE(p.scrlSilDetLevel->value(), 37);
        QCOMPARE(p.lblSilDetLevel->text(), QStringLiteral("-18.4dBu"));
        QCOMPARE(p.scrlSilDetTime->value(), 43);
        QCOMPARE(p.lblSilDetTime->text(), QStringLiteral("19.6Sec"));
        QCOMPARE(p.cmbSilDetMode->currentIndex(), 0);
        QCOMPARE(p.lblVersion->text(), QStringLiteral("2.00"));
        QCOMPARE(p.txtRemoteIP->text(), QStringLiteral("239.255.255.239"));
        QVERIFY(!p.chkSFNEnabled->isChecked());
        QVERIFY(!p.chkLowLatency->isChecked());
        QCOMPARE(p.cmbAudioType->currentIndex(), -1);
    }

    void attenuationInRangeIsNotRewritten()
    {
        PanelFixture fx;
        fx.writeElement(decoderKeys());
        const QByteArray before = fx.fileText();
        fx.show();
        QCOMPARE(fx.fileText(), before);
    }

    // Catches a section of the program's own keys only (discovery and a
    // probe write 26 together) refused as damaged, and one with more than
    // 24 keys of no operation of ours shown.
    void keyCountLimit_data()
    {
        QTest::addColumn<int>("foreign");
        QTest::addColumn<bool>("everyOwnKey");
        QTest::addColumn<bool>("refused");
        QTest::newRow("24 foreign keys shown") << 24 << false << false;
        QTest::newRow("25 foreign keys refused") << 25 << false << true;
        QTest::newRow("every key of ours shown") << 0 << true << false;
    }
    void keyCountLimit()
    {
        QFETCH(int, foreign);
        QFETCH(bool, everyOwnKey);
        QFETCH(bool, refused);
        PanelFixture fx;
        QStringList lines = decoderKeys();
        if (everyOwnKey) {
            QStringList present;
            for (const QString& line : std::as_const(lines))
                present << line.section(u'=', 0, 0).toLower();
            for (const QString& key : elementKeys()) {
                if (!present.contains(key))
                    lines << key.toUpper() + QStringLiteral("=1");
            }
            QVERIFY(lines.size() > kMaxForeignKeys);
        }
        for (int i = 0; i < foreign; ++i)
            lines << QStringLiteral("X%1=1").arg(i);
        fx.writeElement(lines);
        fx.controls->txtElementName->setText(QStringLiteral("BEFORE"));
        if (refused)
            fx.prompt.expect(QStringLiteral("corrupted (1)"));
        fx.show();
        QVERIFY(fx.prompt.done());
        if (refused) {
            const PromptRequest& shown = fx.prompt.shown().constFirst();
            QCOMPARE(shown.icon, PromptIcon::Critical);
            QCOMPARE(shown.text,
                     QStringLiteral("Cannot load this element info.\rThe data stored in your "
                                    "computer about this element, is corrupted (1)."));
            QCOMPARE(fx.controls->txtElementName->text(), QStringLiteral("BEFORE"));
            QCOMPARE(fx.controls->lblElementType->text(), QStringLiteral("-"));
        } else {
            QCOMPARE(fx.controls->txtElementName->text(), QStringLiteral("STUDIO 1"));
            QCOMPARE(fx.controls->lblElementType->text(), QStringLiteral("DECODER"));
        }
    }

    // An element whose role is not 1 or 2 shows "UNKNOWN" and leaves the
    // fields that depend on the role as the previous element left them.
    void unknownRoleKeepsTypeFields_data()
    {
        QTest::addColumn<QString>("roleLine");
        QTest::newRow("role 3") << QStringLiteral("ROLE=3");
        QTest::newRow("role missing") << QString();
        QTest::newRow("role not a number") << QStringLiteral("ROLE=enc");
    }
    void unknownRoleKeepsTypeFields()
    {
        QFETCH(QString, roleLine);
        PanelFixture fx;
        fx.writeIni(QStringLiteral("[2E8BF2001A2B]\nROLE=2\nATT=200\nMULTI=239.1.2.3\n"
                                   "[0A0B0C0D0E0F]\nNAME=ODD\nIP=%2\n%1\n")
                        .arg(roleLine, kNet.host(9)));
        fx.show();
        fx.panel->showElement(QStringLiteral("0A:0B:0C:0D:0E:0F"),
                              QStringLiteral("ODD [0A:0B:0C:0D:0E:0F]"), Mode::NodeClick);
        const PanelControls& p = *fx.controls;
        QCOMPARE(p.lblElementType->text(), QStringLiteral("UNKNOWN"));
        QCOMPARE(p.lblElementMAC->text(), QStringLiteral("0A:0B:0C:0D:0E:0F"));
        QCOMPARE(p.txtElementName->text(), QStringLiteral("ODD"));
        QCOMPARE(p.Label9->text(), QStringLiteral("Audio atten:"));
        QCOMPARE(p.scrlAtten->value(), 200);
        QCOMPARE(p.Label7->text(), QStringLiteral("Multicast IP:"));
        QCOMPARE(p.txtRemoteIP->text(), QStringLiteral("239.1.2.3"));
        QVERIFY(!p.scrlAtten->isHidden());
        QVERIFY(!p.cmdAdjust->isEnabled());
    }

    // Stored values outside a list or a bar, or not numbers at all, never
    // stop the panel: bars are held in range, lists are left unselected.
    void badStoredValues_data()
    {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<int>("att");
        QTest::addColumn<int>("buf");
        QTest::addColumn<int>("sdl");
        QTest::addColumn<int>("sdt");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("sdm");
        QTest::newRow("above the bars")
            << QStringList{"ATT=300", "BUF=99", "SDL=999", "SDT=5000", "TYPE=5", "SDM=7"} << 255
            << 22 << 154 << 220 << -1 << -1;
        QTest::newRow("below the bars")
            << QStringList{"ATT=20", "BUF=-4", "SDL=0", "SDT=-1", "TYPE=-1", "SDM=-1"} << 20 << 0
            << 1 << 1 << -1 << -1;
        QTest::newRow("not numbers")
            << QStringList{"ATT=20", "BUF=x", "SDL=lots", "SDT=", "TYPE=MPX", "SDM=auto"} << 20 << 1
            << 37 << 43 << -1 << -1;
        QTest::newRow("trailing text")
            << QStringList{"ATT=20dB", "BUF=4 ", "SDL=50", "SDT=10s", "TYPE=1x", "SDM=2"} << 20 << 4
            << 50 << 10 << 1 << 2;
        QTest::newRow("huge") << QStringList{"ATT=99999999999999", "BUF=99999999999",
                                             "TYPE=4294967297"}
                              << 255 << 22 << 37 << 43 << -1 << 0;
    }
    void badStoredValues()
    {
        QFETCH(QStringList, keys);
        QFETCH(int, att);
        QFETCH(int, buf);
        QFETCH(int, sdl);
        QFETCH(int, sdt);
        QFETCH(int, type);
        QFETCH(int, sdm);
        PanelFixture fx;
        fx.writeElement(QStringList{QStringLiteral("ROLE=2")} + keys);
        fx.show();
        const PanelControls& p = *fx.controls;
        QCOMPARE(p.lblElementType->text(), QStringLiteral("DECODER"));
        QCOMPARE(p.scrlAtten->value(), att);
        QCOMPARE(p.scrlBuffer->value(), buf);
        QCOMPARE(p.scrlSilDetLevel->value(), sdl);
        QCOMPARE(p.scrlSilDetTime->value(), sdt);
        QCOMPARE(p.cmbAudioType->currentIndex(), type);
        QCOMPARE(p.cmbSilDetMode->currentIndex(), sdm);
        // An unselected routing mode leaves the silence controls usable.
        QCOMPARE(p.scrlSilDetLevel->isEnabled(), sdm <= 0);
        // The read-outs follow the positions shown.
        QCOMPARE(p.lblSilDetTime->text(), readouts::silenceTimeText(sdt, QStringLiteral(".")));
    }

    void badEncoderLists()
    {
        PanelFixture fx;
        fx.writeElement({"ROLE=1", "INPUT=3", "TX=abc", "BOUND=9", "REMOTE=" + kNet.host(5)});
        fx.show();
        const PanelControls& p = *fx.controls;
        QCOMPARE(p.cmbAudioInput->currentIndex(), -1);
        QCOMPARE(p.cmbAudioTX->currentIndex(), -1);
        QCOMPARE(p.cmbEncoders->currentIndex(), -1);
        QCOMPARE(p.Label7->text(), QStringLiteral("Decoder IP:"));
        QCOMPARE(p.txtRemoteIP->text(), kNet.host(5));
    }

    // The one difference of the two ways in: re-showing after an apply run
    // reads input and tx with the default 0, for every role.
    void nodeClickVersusSelectedElement_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("role");
        QTest::addColumn<int>("input");
        QTest::addColumn<int>("tx");
        QTest::newRow("encoder, node click") << int(Mode::NodeClick) << 1 << -1 << -1;
        QTest::newRow("encoder, selected element") << int(Mode::SelectedElement) << 1 << 0 << 0;
        QTest::newRow("decoder, node click keeps lists") << int(Mode::NodeClick) << 2 << 1 << 1;
        QTest::newRow("decoder, selected element") << int(Mode::SelectedElement) << 2 << 0 << 0;
    }
    void nodeClickVersusSelectedElement()
    {
        QFETCH(int, mode);
        QFETCH(int, role);
        QFETCH(int, input);
        QFETCH(int, tx);
        PanelFixture fx;
        fx.writeElement({QStringLiteral("ROLE=%1").arg(role)});
        fx.controls->cmbAudioInput->setCurrentIndex(1);
        fx.controls->cmbAudioTX->setCurrentIndex(1);
        fx.show(Mode(mode));
        QCOMPARE(fx.controls->cmbAudioInput->currentIndex(), input);
        QCOMPARE(fx.controls->cmbAudioTX->currentIndex(), tx);
        if (role == 1) {
            QCOMPARE(fx.controls->Label7->text(), QStringLiteral("Decoder IP:"));
            QCOMPARE(fx.controls->txtRemoteIP->text(), QStringLiteral("192.168.1.91"));
        }
    }

    void emptyNodeTextOnlyDisablesStatistics()
    {
        PanelFixture fx;
        fx.writeElement(decoderKeys());
        fx.show();
        fx.controls->chkGetVolume->setChecked(true);
        fx.panel->setPingColour(Qt::green);
        fx.panel->showElement(QStringLiteral("2E:8B:F2:00:1A:2B"), QString(), Mode::NodeClick);
        QVERIFY(!fx.controls->cmdGetStats->isEnabled());
        QVERIFY(!fx.controls->chkGetVolume->isChecked());
        QCOMPARE(fx.panel->pingColour(), QColor(255, 255, 192));
        QCOMPARE(fx.controls->txtElementName->text(), QStringLiteral("STUDIO 1"));
    }

    void clearedState()
    {
        PanelFixture fx;
        fx.writeElement(decoderKeys({"SDL=100", "SFN=1", "LLO=1", "SDM=2", "ATT=14"}));
        fx.show();
        fx.controls->cmdPing->setText(QStringLiteral("12 ms"));
        fx.panel->ClearElementPanel();
        const PanelControls& p = *fx.controls;
        for (QLabel* l : {p.lblElementType, p.lblElementMAC, p.lblSerialNumber, p.lblVersion})
            QCOMPARE(l->text(), QStringLiteral("-"));
        QCOMPARE(p.cmdPing->text(), QStringLiteral("<Unknown>"));
        QVERIFY(p.cmdPing->toolTip().isEmpty());
        QCOMPARE(p.lblLatency->text(), QStringLiteral("-mS"));
        for (QLineEdit* e :
             {p.txtElementName, p.txtElementIP, p.txtElementMask, p.txtElementGW, p.txtRemoteIP}) {
            QVERIFY(e->text().isEmpty());
            QCOMPARE(baseOf(e), windowBase(e));
        }
        QCOMPARE(p.cmbAudioInput->currentIndex(), -1);
        QCOMPARE(p.cmbAudioType->currentIndex(), -1);
        QCOMPARE(p.cmbAudioTX->currentIndex(), -1);
        QVERIFY(!p.cmdGetStats->isEnabled());
        // Fault: the last element's ticks, routing and bars stayed behind
        // with their read-outs ("Mute", "-6dBu"). None of them stays.
        QVERIFY(!p.chkSFNEnabled->isChecked());
        QVERIFY(!p.chkLowLatency->isChecked());
        QCOMPARE(p.cmbSilDetMode->currentIndex(), -1);
        QCOMPARE(
            QStringList({p.lblAttenDB->text(), p.lblSilDetLevel->text(), p.lblSilDetTime->text()}),
            QStringList({"-dB", "-dBu", "-Sec"}));
    }

    void addressColours_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("red");
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("trailing dot") << QStringLiteral("127.0.0.") << true;
        QTest::newRow("complete") << kNet.host(5) << false;
        QTest::newRow("five parts") << QStringLiteral("1.2.3.4.5") << true;
        QTest::newRow("above 255") << QStringLiteral("256.1.1.1") << true;
        QTest::newRow("letters") << QStringLiteral("a.b.c.d") << true;
    }
    void addressColours()
    {
        QFETCH(QString, text);
        QFETCH(bool, red);
        PanelFixture fx;
        const PanelControls& p = *fx.controls;
        // The mask follows a rule of its own (below).
        for (QLineEdit* field : {p.txtElementIP, p.txtElementGW, p.txtRemoteIP}) {
            // From the other state, so that a missed change would show.
            field->setText(red ? kNet.host(1) : QStringLiteral("x"));
            QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
            field->del();
            if (!text.isEmpty())
                QTest::keyClicks(field, text);
            QCOMPARE(baseOf(field), red ? kLightRed : windowBase(field));
            QCOMPARE(field->text(), text);
        }
    }

    // Catches a mask whose bits are not ones then zeros, or a name the
    // devices' code page cannot hold, shown as fine (Save would send it),
    // and a name that leaving the field turns into such a name.
    void maskAndNameTheDevicesCannotHold()
    {
        PanelFixture fx;
        const PanelControls& p = *fx.controls;
        for (const auto& [text, red] : {std::pair{"255.255.255.", true},
                                        {"255.0.255.0", true},
                                        {"0.255.255.255", true},
                                        {"255.255.255.0", false},
                                        {"", false}}) {
            p.txtElementMask->setText(QString::fromLatin1(text));
            QVERIFY2(baseOf(p.txtElementMask) == (red ? kLightRed : windowBase(p.txtElementMask)),
                     text);
        }
        p.txtElementName->setText(QString::fromUtf8("STUDIO \u03A9"));
        QCOMPARE(baseOf(p.txtElementName), kLightRed);
        // Upper case as the name is stored: the micro sign has no capital in
        // the code page and stays; ä becomes Ä.
        p.txtElementName->setText(QString::fromUtf8("\u00b5 b\u00e4r"));
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(p.txtElementName, &out);
        QCOMPARE(p.txtElementName->text(), QString::fromUtf8("\u00b5 B\u00c4R"));
        QCOMPARE(baseOf(p.txtElementName), windowBase(p.txtElementName));
    }

    void statisticsStayAvailableWhateverTheAddress()
    {
        PanelFixture fx;
        fx.writeElement(decoderKeys());
        fx.show();
        for (const QString& ip : {QStringLiteral(""), QStringLiteral("127.0.0."), kNet.host(5)}) {
            fx.controls->txtElementIP->setText(ip);
            QVERIFY(fx.controls->cmdGetStats->isEnabled());
        }
    }

    void fieldLimits()
    {
        PanelFixture fx;
        const PanelControls& p = *fx.controls;
        QCOMPARE(p.txtElementName->maxLength(), 16);
        for (QLineEdit* e : {p.txtElementIP, p.txtElementMask, p.txtElementGW, p.txtRemoteIP})
            QCOMPARE(e->maxLength(), 15);
        for (QLineEdit* e : {p.txtVLAN_Audio, p.txtVLAN_OM}) {
            QCOMPARE(e->maxLength(), 4);
            QCOMPARE(e->text(), QStringLiteral("1"));
            QCOMPARE(e->toolTip(), QStringLiteral("Range: 1-4095"));
        }
        QTest::keyClicks(p.txtElementName, QStringLiteral("ABCDEFGHIJKLMNOPQRST"));
        QCOMPARE(p.txtElementName->text(), QStringLiteral("ABCDEFGHIJKLMNOP"));
        for (QScrollBar* bar : {p.scrlAtten, p.scrlBuffer, p.scrlSilDetLevel, p.scrlSilDetTime}) {
            QCOMPARE(bar->singleStep(), 1);
            QCOMPARE(bar->pageStep(), 10);
        }
        QCOMPARE(p.scrlAtten->minimum(), 14);
        QCOMPARE(p.scrlAtten->value(), 255);
        QCOMPARE(p.scrlBuffer->maximum(), 22);
        QCOMPARE(p.scrlSilDetLevel->maximum(), 154);
        QCOMPARE(p.scrlSilDetTime->maximum(), 220);
        QCOMPARE(p.Slider1->minimum(), 1);
        QCOMPARE(p.Slider1->maximum(), 500);
    }

    void bufferMaximumFollowsStartMode()
    {
        PanelFixture fx;
        fx.flags.LowLatencyActive = true;
        fx.panel->setBufferMaximum(44);
        fx.writeElement(decoderKeys({"BUF=40", "LLO=1"}));
        fx.show();
        QCOMPARE(fx.controls->scrlBuffer->value(), 40);
        QCOMPARE(fx.controls->lblLatency->text(), QStringLiteral("52.5mS"));
    }

    // Ticking low latency recomputes at once; ticking SFN waits for the next
    // buffer change.
    void latencyFollowsClicks()
    {
        PanelFixture fx;
        fx.writeElement(decoderKeys({"BUF=1"}));
        fx.show();
        const PanelControls& p = *fx.controls;
        QCOMPARE(p.lblLatency->text(), QStringLiteral("7.5mS"));
        p.chkLowLatency->click();
        QVERIFY(fx.flags.LowLatencyActive);
        QCOMPARE(p.lblLatency->text(), QStringLiteral("3.75mS"));
        p.chkLowLatency->click();
        QVERIFY(!fx.flags.LowLatencyActive);
        QCOMPARE(p.lblLatency->text(), QStringLiteral("7.5mS"));
        p.chkSFNEnabled->click();
        QCOMPARE(p.lblLatency->text(), QStringLiteral("7.5mS"));
        p.scrlBuffer->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(p.lblLatency->text(), QStringLiteral("7.5mS")); // 2 x 2.5 + 2.5
        p.scrlAtten->triggerAction(QAbstractSlider::SliderToMinimum);
        QCOMPARE(p.lblAttenDB->text(), QStringLiteral("Mute"));
        p.scrlAtten->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(p.lblAttenDB->text(), QStringLiteral("-120 dB"));
    }

    // A shown value equal to the one already on screen still runs its
    // handler, so nothing stale survives.
    void handlersRunWhenValueIsUnchanged()
    {
        PanelFixture fx;
        fx.writeElement(decoderKeys({"SDL=37", "BUF=3", "LLO=0"}));
        fx.show();
        const PanelControls& p = *fx.controls;
        p.lblSilDetLevel->setText(QStringLiteral("stale"));
        p.lblAttenDB->setText(QStringLiteral("stale"));
        p.lblSilDetTime->setText(QStringLiteral("stale"));
        fx.flags.LowLatencyActive = true; // as if started with LL
        fx.show();
        QCOMPARE(p.lblSilDetLevel->text(), QStringLiteral("-18.4dBu"));
        QCOMPARE(p.lblAttenDB->text(), QStringLiteral("-27.5 dB"));
        QCOMPARE(p.lblSilDetTime->text(), QStringLiteral("19.6Sec"));
        QVERIFY(!fx.flags.LowLatencyActive);
        QCOMPARE(p.lblLatency->text(), QStringLiteral("12.5mS"));
        // The same address text again still gets its colour.
        QPalette red = p.txtElementIP->palette();
        red.setColor(QPalette::Base, kLightRed);
        p.txtElementIP->setPalette(red);
        fx.show();
        QCOMPARE(baseOf(p.txtElementIP), windowBase(p.txtElementIP));
    }

    void silenceModeEnabling_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("auto detect") << 0 << true;
        QTest::newRow("force internal") << 1 << false;
        QTest::newRow("force external") << 2 << false;
        QTest::newRow("none selected") << -1 << true;
    }
    void silenceModeEnabling()
    {
        QFETCH(int, index);
        QFETCH(bool, enabled);
        PanelFixture fx;
        fx.writeElement(
            decoderKeys({index == 0 ? QStringLiteral("SDM=2") : QStringLiteral("SDM=0")}));
        fx.show();
        const PanelControls& p = *fx.controls;
        p.cmbSilDetMode->setCurrentIndex(index);
        for (QWidget* w :
             {static_cast<QWidget*>(p.scrlSilDetLevel), static_cast<QWidget*>(p.scrlSilDetTime),
              static_cast<QWidget*>(p.lblSilDetLevel), static_cast<QWidget*>(p.lblSilDetTime),
              static_cast<QWidget*>(p.lblThreshold), static_cast<QWidget*>(p.lblTimeout)})
            QVERIFY2(w->isEnabled() == enabled, qPrintable(w->objectName()));
        QVERIFY(p.cmbSilDetMode->isEnabled());
    }

    void txTypeClick()
    {
        PanelFixture fx;
        fx.writeIni(QStringLiteral("[2E8BF2001A2B]\nROLE=1\nTX=0\nREMOTE=%1\nMULTI=239.1.2.3\n"
                                   "[0A0B0C0D0E0F]\nROLE=2\nMULTI=239.9.9.9\n"
                                   "[AABBCCDDEEFF]\nROLE=1\nTX=0\n")
                        .arg(kNet.host(21)));
        fx.show();
        const PanelControls& p = *fx.controls;
        p.txtRemoteIP->setText(kNet.host(99)); // unsent edit
        p.cmbAudioTX->setCurrentIndex(1);
        QCOMPARE(p.Label7->text(), QStringLiteral("Multicast IP:"));
        QCOMPARE(p.txtRemoteIP->text(), QStringLiteral("239.1.2.3"));
        p.cmbAudioTX->setCurrentIndex(0);
        QCOMPARE(p.Label7->text(), QStringLiteral("Decoder IP:"));
        QCOMPARE(p.txtRemoteIP->text(), kNet.host(21));

        // Defaults when the element stores no addresses.
        fx.panel->showElement(QStringLiteral("AA:BB:CC:DD:EE:FF"),
                              QStringLiteral("X [AA:BB:CC:DD:EE:FF]"), Mode::NodeClick);
        p.cmbAudioTX->setCurrentIndex(1);
        QCOMPARE(p.txtRemoteIP->text(), QStringLiteral("239.255.255.239"));

        // On a decoder the list does nothing.
        fx.panel->showElement(QStringLiteral("0A:0B:0C:0D:0E:0F"),
                              QStringLiteral("D [0A:0B:0C:0D:0E:0F]"), Mode::NodeClick);
        p.txtRemoteIP->setText(kNet.host(77));
        p.cmbAudioTX->setCurrentIndex(0);
        p.cmbAudioTX->setCurrentIndex(1);
        QCOMPARE(p.Label7->text(), QStringLiteral("Multicast IP:"));
        QCOMPARE(p.txtRemoteIP->text(), kNet.host(77));
    }

    void focusBehaviour()
    {
        PanelFixture fx;
        const PanelControls& p = *fx.controls;
        for (QLineEdit* e : {p.txtElementName, p.txtElementIP, p.txtElementMask, p.txtElementGW,
                             p.txtRemoteIP, p.txtVLAN_OM}) {
            e->setText(QStringLiteral("12"));
            e->deselect();
            QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
            QApplication::sendEvent(e, &in);
            QVERIFY2(e->hasSelectedText() && e->selectedText() == e->text(),
                     qPrintable(e->objectName()));
        }
        p.txtElementName->setText(QStringLiteral("studio 1"));
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(p.txtElementName, &out);
        QCOMPARE(p.txtElementName->text(), QStringLiteral("STUDIO 1"));
        // Only the name is forced to upper case.
        p.txtElementGW->setText(QStringLiteral("abc"));
        QApplication::sendEvent(p.txtElementGW, &out);
        QCOMPARE(p.txtElementGW->text(), QStringLiteral("abc"));
    }

    // Clicking into a field with the mouse also selects its whole text,
    // although the click places the cursor after the focus has arrived.
    void mouseFocusSelectsAll()
    {
        PanelFixture fx;
        const PanelControls& p = *fx.controls;
        fx.panel->show();
        QVERIFY(QTest::qWaitForWindowExposed(fx.panel.get()));
        fx.panel->activateWindow();
        for (QLineEdit* e : {p.txtElementName, p.txtElementIP, p.txtRemoteIP, p.txtVLAN_OM}) {
            e->setText(kNet.host(1));
            QTest::mouseClick(e, Qt::LeftButton, {}, QPoint(e->width() / 2, e->height() / 2));
            QTRY_VERIFY2(e->hasFocus(), qPrintable(e->objectName()));
            QCoreApplication::processEvents();
            QVERIFY2(e->selectedText() == e->text(), qPrintable(e->objectName()));
        }
    }

    void commaLocale()
    {
        PanelFixture fx;
        fx.panel->setReadoutLocale(QLocale(QLocale::German, QLocale::Germany));
        fx.writeElement({"ROLE=2", "BUF=3", "SDL=1", "SDT=1", "ATT=254"});
        fx.show();
        const PanelControls& p = *fx.controls;
        QCOMPARE(p.lblAttenDB->text(), QStringLiteral("-0,5 dB"));
        QCOMPARE(p.lblLatency->text(), QStringLiteral("12,5mS"));
        QCOMPARE(p.lblSilDetLevel->text(), QStringLiteral("-49,8dBu"));
        QCOMPARE(p.lblSilDetTime->text(), QStringLiteral("0,5Sec"));
    }

    void sliderSetsPollingInterval()
    {
        PanelFixture fx;
        QCOMPARE(fx.controls->tmrVolume->interval(), 50);
        fx.controls->Slider1->setValue(200);
        QCOMPARE(fx.controls->tmrVolume->interval(), 200);
        QVERIFY(!fx.controls->tmrVolume->isActive());
        // A click that leaves the handle where it was still sets the interval.
        fx.controls->tmrVolume->setInterval(77);
        fx.controls->Slider1->setSliderDown(true);
        fx.controls->Slider1->setSliderDown(false);
        QCOMPARE(fx.controls->tmrVolume->interval(), 200);
    }

    void buttonsSignal()
    {
        PanelFixture fx;
        fx.writeElement(decoderKeys({"SFN=1"}));
        fx.show();
        int ping = 0, stats = 0, adjust = 0;
        QObject::connect(fx.panel.get(), &ElementPanel::pingClicked, [&] { ++ping; });
        QObject::connect(fx.panel.get(), &ElementPanel::getStatsClicked, [&] { ++stats; });
        QObject::connect(fx.panel.get(), &ElementPanel::adjustClicked, [&] { ++adjust; });
        fx.controls->cmdPing->click();
        fx.controls->cmdGetStats->click();
        fx.controls->cmdAdjust->click();
        QCOMPARE(ping + stats + adjust, 3);
        QVERIFY(ping == 1 && stats == 1 && adjust == 1);
    }

    // The two forms swap in place: nothing else in the panel moves.
    void formsSwitchWithoutMoving()
    {
        PanelFixture fx;
        fx.writeIni(QStringLiteral("[2E8BF2001A2B]\nROLE=1\nTX=1\n[0A0B0C0D0E0F]\nROLE=2\n"));
        const PanelControls& p = *fx.controls;
        fx.panel->resize(460, 700);
        fx.panel->show();
        QVERIFY(QTest::qWaitForWindowExposed(fx.panel.get()));
        fx.show();
        QCoreApplication::processEvents();
        QList<QWidget*> watched{p.txtElementName, p.txtRemoteIP,    p.cmbAudioType, p.chkSFNEnabled,
                                p.scrlBuffer,     p.scrlSilDetTime, p.cmdPing,      p.lblVolume};
        QList<QRect> before;
        for (QWidget* w : watched)
            before << w->geometry();
        const QRect inputCell = p.cmbAudioInput->geometry();
        fx.panel->showElement(QStringLiteral("0A:0B:0C:0D:0E:0F"),
                              QStringLiteral("D [0A:0B:0C:0D:0E:0F]"), Mode::NodeClick);
        QCoreApplication::processEvents();
        for (int i = 0; i < watched.size(); ++i)
            QVERIFY2(watched[i]->geometry() == before[i], qPrintable(watched[i]->objectName()));
        QCOMPARE(p.scrlAtten->geometry().left(), inputCell.left());
        QVERIFY(qAbs(p.scrlAtten->geometry().center().y() - inputCell.center().y()) <= 2);
    }
};

QTEST_MAIN(TestElementPanel)
#include "tst_elementpanel.moc"
