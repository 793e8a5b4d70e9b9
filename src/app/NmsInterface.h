#pragma once
// The NMS interface row under the tree: "NMS interface:" and the list of
// the station's IPv4 addresses (cmbNMSIPAddr). A new choice is stored in
// the user settings and told to the window, which binds its sockets there.

#include <QObject>
#include <QStringList>

class QComboBox;
class QHBoxLayout;
class QWidget;

namespace orvalink {

class InterfaceLister;
class UserSettings;

class NmsInterface final : public QObject {
    Q_OBJECT
public:
    // parent: the widget the row's controls belong to.
    NmsInterface(InterfaceLister& lister, UserSettings& settings, QWidget* parent);

    // The label and the list, for the window's layout.
    QHBoxLayout* row() const { return m_row; }
    QStringList GetLocalIPv4Addresses();
    // Lists the addresses and selects `current` (else the first); a choice
    // that differs from the stored one is taken.
    void FillNMSInterfaceList(const QString& current);

Q_SIGNALS:
    // Another interface was chosen; it is stored once the window took it.
    void chosen(const QString& address);

private:
    void cmbNMSIPAddr_Click();

    InterfaceLister& m_lister;
    UserSettings& m_settings;
    QComboBox* cmbNMSIPAddr = nullptr;
    QHBoxLayout* m_row = nullptr;
};

} // namespace orvalink
