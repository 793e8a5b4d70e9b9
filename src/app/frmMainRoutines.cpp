// The routines that the dialogs and operations call through the main
// window: database access, SNMP, the text forms, and what the remote
// protocol and the device windows may know of the panel.

#include "app/frmMain.h"

#include "snmp/SnmpTransport.h"
#include "store/ElementDatabase.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QTreeWidget>

namespace orvalink {

// ------------------------------------------------- the panel, for others

RemotePanelState frmMain::remotePanelState() const
{
    RemotePanelState s;
    s.mac = panel->lblElementMAC->text();
    s.roleCaption = panel->lblElementType->text();
    s.name = panel->txtElementName->text();
    s.ip = panel->txtElementIP->text();
    s.mask = panel->txtElementMask->text();
    s.gw = panel->txtElementGW->text();
    s.remote = panel->txtRemoteIP->text();
    s.input = panel->cmbAudioInput->currentIndex();
    s.type = panel->cmbAudioType->currentIndex();
    s.tx = panel->cmbAudioTX->currentIndex();
    s.sfn = panel->chkSFNEnabled->isChecked();
    s.lowLatency = panel->chkLowLatency->isChecked();
    s.buffer = panel->scrlBuffer->value();
    s.silDetMode = panel->cmbSilDetMode->currentIndex();
    s.silDetModeCount = panel->cmbSilDetMode->count();
    s.silDetLevel = panel->scrlSilDetLevel->value();
    s.silDetTime = panel->scrlSilDetTime->value();
    s.attMin = panel->scrlAtten->minimum();
    s.bufferMax = panel->scrlBuffer->maximum();
    s.levelMin = panel->scrlSilDetLevel->minimum();
    s.levelMax = panel->scrlSilDetLevel->maximum();
    s.timeMin = panel->scrlSilDetTime->minimum();
    s.timeMax = panel->scrlSilDetTime->maximum();
    return s;
}

void frmMain::showConfirmed(const RemoteConfirmed& v)
{
    if (panel->lblElementType->text() != v.typeCaption) {
        panel->lblElementType->setText(v.typeCaption);
        panel->lblElementType_Change();
    }
    panel->lblSerialNumber->setText(v.serialNumber);
    panel->lblVersion->setText(v.version);
    panel->scrlAtten->setValue(v.att);
    panel->scrlBuffer->setValue(v.buffer);
    panel->cmbSilDetMode->setCurrentIndex(
        v.silDetMode < panel->cmbSilDetMode->count() ? v.silDetMode : -1);
    panel->scrlSilDetLevel->setValue(v.silDetLevel);
    panel->scrlSilDetTime->setValue(v.silDetTime);
}

ShownElement frmMain::shownElement() const
{
    ShownElement e;
    const QString mac = panel->lblElementMAC->text();
    const QString section = Encode_MAC(mac);
    if (section.isEmpty())
        return e;
    e.mac = mac;
    e.section = section;
    const QTreeWidgetItem* selected = m_tree->selectedNode();
    e.nodeText = selected ? selected->text(0) : QString();
    e.roleCaption = panel->lblElementType->text();
    return e;
}

EditedValues frmMain::editedValues() const
{
    EditedValues v;
    v.name = panel->txtElementName->text();
    v.ip = panel->txtElementIP->text();
    v.mask = panel->txtElementMask->text();
    v.gw = panel->txtElementGW->text();
    v.remoteIP = panel->txtRemoteIP->text();
    v.input = panel->cmbAudioInput->currentIndex();
    v.type = panel->cmbAudioType->currentIndex();
    v.tx = panel->cmbAudioTX->currentIndex();
    v.sfn = panel->chkSFNEnabled->isChecked() ? 1 : 0;
    v.llo = panel->chkLowLatency->isChecked() ? 1 : 0;
    v.att = panel->scrlAtten->value();
    v.buf = panel->scrlBuffer->value();
    v.sdl = panel->scrlSilDetLevel->value();
    v.sdt = panel->scrlSilDetTime->value();
    v.sdm = panel->cmbSilDetMode->currentIndex();
    return v;
}

// -------------------------------------------------------- database routines

QString frmMain::ReadFromINI(const QString& strSection, const QString& strkey,
                             const QString& strfullpath, const QString& strDefault) const
{
    return m_store.read(strSection, strkey, strfullpath, strDefault);
}

bool frmMain::WriteToINI(const QString& strSection, const QString& strkey,
                         const QString& strkeyvalue, const QString& strfullpath)
{
    return m_store.write(strSection, strkey, strkeyvalue, strfullpath);
}

bool frmMain::DeleteIniSection(const QString& strSection, const QString& strfullpath)
{
    return m_store.deleteSection(strSection, strfullpath);
}

bool frmMain::DeleteIniKey(const QString& strSection, const QString& strKeyname,
                           const QString& strfullpath)
{
    return m_store.deleteKey(strSection, strKeyname, strfullpath);
}

bool frmMain::CheckIfIniKeyExists(const QString& strSection, const QString& strKeyname,
                                  const QString& strfullpath) const
{
    return m_store.keyExists(strSection, strKeyname, strfullpath);
}

bool frmMain::CheckIfIniSectionExists(const QString& strSection, const QString& strfullpath) const
{
    return m_store.sectionExists(strSection, strfullpath);
}

long frmMain::GetLongFromINI(const QString& strSection, const QString& strKeyname,
                             const QString& strfullpath, long lngDefault) const
{
    return m_store.readLong(strSection, strKeyname, strfullpath, lngDefault);
}

void frmMain::RenameIniKey(const QString& strSection, const QString& strKeyname,
                           const QString& strNewKeyname, const QString& strfullpath)
{
    m_store.renameKey(strSection, strKeyname, strNewKeyname, strfullpath);
}

void frmMain::RenameIniSection(const QString& strSection, const QString& strNewSection,
                               const QString& strfullpath)
{
    m_store.renameSection(strSection, strNewSection, strfullpath);
}

void frmMain::LoadIniSectionsLB(QListWidget* lstB, const QString& strfullpath) const
{
    lstB->addItems(m_store.sectionNames(strfullpath));
}

QStringList frmMain::LoadIniSectionsArray(const QString& strfullpath) const
{
    return m_store.sectionNames(strfullpath);
}

void frmMain::LoadIniSectionKeysLB(const QString& strSection, QListWidget* lstB,
                                   const QString& strfullpath) const
{
    lstB->addItems(m_store.sectionKeys(strSection, strfullpath));
}

int frmMain::GetSectionKeyCount(const QString& strSection, const QString& strfullpath) const
{
    return m_store.sectionKeyCount(strSection, strfullpath);
}

QString frmMain::GetSNMP(const QString& strHostIP, const QString& strCommunity, quint8 byteOID)
{
    return m_snmp->GetSNMP(strHostIP, strCommunity, byteOID).value;
}

QString frmMain::SetSNMP(const QString& strHostIP, const QString& strCommunity, quint8 byteOID,
                         quint8 byteValueType, const QString& varValue)
{
    return m_snmp->SetSNMP(strHostIP, strCommunity, byteOID, byteValueType, varValue).value;
}

bool frmMain::IsValidIPAddress(const QString& strIPAddress)
{
    return isValidIPAddress(strIPAddress);
}

QString frmMain::Encode_MAC(const QString& srcMAC)
{
    return encodeMac(srcMAC);
}

QString frmMain::Decode_MAC(const QString& srcSection)
{
    return decodeMac(srcSection);
}

QString frmMain::Encode_Name(const QString& srcName)
{
    return encodeName(srcName);
}

} // namespace orvalink
