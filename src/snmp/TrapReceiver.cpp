#include "snmp/TrapReceiver.h"

#include "core/Cp1252.h"
#include "core/Text.h"
#include "core/UdpBind.h"
#include "store/IniStore.h"

#include <QFile>
#include <QUdpSocket>
#include <QVariant>

#include <sys/stat.h>

namespace orvalink {

namespace {

// The devices' factory read community, for a section that holds none.
const QString kFactoryReadCommunity = QStringLiteral("morqubit");

// The largest datagram UDP over IPv4 carries.
constexpr qsizetype kMaxDatagram = 65507;

// The file's identity, size and time stamps; empty when it does not exist.
QByteArray fileStamp(const QString& path)
{
    struct stat st = {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return QByteArray();
    const qint64 parts[] = {qint64(st.st_dev),          qint64(st.st_ino),
                            qint64(st.st_size),         qint64(st.st_mtim.tv_sec),
                            qint64(st.st_mtim.tv_nsec), qint64(st.st_ctim.tv_sec),
                            qint64(st.st_ctim.tv_nsec)};
    return QByteArray(reinterpret_cast<const char*>(parts), sizeof parts);
}

} // namespace

TrapReceiver::TrapReceiver(IniStore& store, const QString& databasePath, QObject* parent)
    : QObject(parent), m_store(store), m_path(databasePath),
      m_buffer(kMaxDatagram + 1, Qt::Uninitialized)
{
}

TrapReceiver::~TrapReceiver() = default;

bool TrapReceiver::start(const QHostAddress& address, quint16 port, QString* error)
{
    delete m_socket;
    m_socket = new QUdpSocket(this);
    QString bindError;
    QString why;
    if (!bindUdp(*m_socket, address, port, &bindError, nullptr, &why)) {
        if (error)
            *error = QStringLiteral("cannot listen for traps on %1:%2: %3")
                         .arg(address.toString())
                         .arg(port)
                         .arg(why);
        delete m_socket;
        m_socket = nullptr;
        return false;
    }
    // Room for a burst while the event loop is busy elsewhere.
    m_socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4 * 1024 * 1024);
    connect(m_socket, &QUdpSocket::readyRead, this, &TrapReceiver::onReadyRead);
    refreshElements();
    return true;
}

quint16 TrapReceiver::localPort() const
{
    return m_socket ? m_socket->localPort() : 0;
}

void TrapReceiver::onReadyRead()
{
    refreshElements();
    while (m_socket->hasPendingDatagrams()) {
        QHostAddress from;
        quint16 port = 0;
        const qint64 n = m_socket->readDatagram(m_buffer.data(), m_buffer.size(), &from, &port);
        if (n < 0)
            break;
        handleDatagram(QByteArrayView(m_buffer.constData(), n), from.toIPv4Address(), port);
    }
}

void TrapReceiver::refreshElements()
{
    const QByteArray stamp = fileStamp(m_path);
    if (!m_fileStamp.isNull() && stamp == m_fileStamp)
        return;
    m_fileStamp = stamp.isNull() ? QByteArray("") : stamp;
    m_elements.clear();
    m_byAddress.clear();
    const ElementList list = loadElementList(m_store, m_path);
    m_databaseError = list.error;
    for (const ElementEntry& e : list.entries) {
        quint32 address = 0;
        if (!parseIPv4(e.snmpIp, &address))
            continue;
        m_elements.append(
            {e, m_store.read(e.section, QStringLiteral("snmpro"), m_path, kFactoryReadCommunity)});
        if (!m_byAddress.contains(address))
            m_byAddress.insert(address, m_elements.size() - 1);
    }
}

const TrapReceiver::Known* TrapReceiver::elementFor(const Trap& trap) const
{
    auto it = m_byAddress.constFind(trap.sourceAddress);
    // A trap relayed for an agent names it in its agent address.
    if (it == m_byAddress.cend() && trap.version == Trap::Version::V1)
        it = m_byAddress.constFind(trap.agentAddress);
    return it == m_byAddress.cend() ? nullptr : &m_elements.at(*it);
}

bool TrapReceiver::communityMatches(const QByteArray& community, const QString& stored) const
{
    QByteArray wire = cp1252::encode(trimBlanks(stored));
    if (community == wire)
        return true;
    // A community shorter than 8 characters is set on a device padded with
    // "!" to 8 bytes, and the device then sends it so.
    if (wire.size() < 8)
        wire.append(QByteArray(8 - wire.size(), '!'));
    return community == wire;
}

void TrapReceiver::reject(TrapRejection::Kind kind, const QString& reason, quint32 address,
                          quint16 port)
{
    switch (kind) {
    case TrapRejection::Kind::Malformed:
        ++m_counters.malformed;
        break;
    case TrapRejection::Kind::Foreign:
        ++m_counters.foreign;
        break;
    case TrapRejection::Kind::Refused:
        ++m_counters.refused;
        break;
    }
    Q_EMIT trapRejected(TrapRejection{kind, reason, address, port});
}

void TrapReceiver::handleDatagram(QByteArrayView datagram, quint32 sourceAddress,
                                  quint16 sourcePort)
{
    ++m_counters.received;
    if (m_fileStamp.isNull())
        refreshElements(); // the first datagram, before any readyRead
    Trap trap;
    QString why;
    if (!decodeTrap(datagram, trap, &why)) {
        reject(TrapRejection::Kind::Malformed, why, sourceAddress, sourcePort);
        return;
    }
    trap.sourceAddress = sourceAddress;
    trap.sourcePort = sourcePort;
    const Known* known = elementFor(trap);
    if (!known && !m_anySource) {
        reject(TrapRejection::Kind::Foreign,
               QStringLiteral("%1 from no element of the database").arg(trap.name()), sourceAddress,
               sourcePort);
        return;
    }
    if (known && !m_anyCommunity && !communityMatches(trap.community, known->readCommunity)) {
        reject(TrapRejection::Kind::Refused,
               QStringLiteral("%1 of %2 with a community other than its read community")
                   .arg(trap.name(), known->entry.nodeText),
               sourceAddress, sourcePort);
        return;
    }
    static const ElementEntry kNone;
    Q_EMIT trapReceived(trap, known ? known->entry : kNone);
    ++m_counters.decoded;
}

} // namespace orvalink
