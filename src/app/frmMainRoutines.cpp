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
    return panel->remotePanelState();
}

void frmMain::showConfirmed(const RemoteConfirmed& v)
{
    panel->showConfirmed(v);
}

ShownElement frmMain::shownElement() const
{
    ShownElement e;
    const QString mac = panel->shownMac();
    const QString section = Encode_MAC(mac);
    if (section.isEmpty())
        return e;
    e.mac = mac;
    e.section = section;
    const QTreeWidgetItem* selected = m_tree->selectedNode();
    e.nodeText = selected ? selected->text(0) : QString();
    e.roleCaption = panel->roleCaption();
    return e;
}

EditedValues frmMain::editedValues() const
{
    return panel->editedValues();
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
