#pragma once
// One line that says what an SNMP datagram is, for the operator's
// diagnostics (orvalink-cli -v):
//   GetRequest id 17 community morqubit 1.3.6.1.4.1.44467.1.35.0
//   GetResponse id 17 error 0 n 35 OCTET STRING "STUDIO 1"
// A message of several variables names each one, ", " between them:
//   GetRequest id 18 community morqubit 3 variables: n 1, n 2, n 35
//   GetResponse id 18 error 0 3 variables: n 1 Gauge32 200, n 2 ..., n 35 ...
// A request whose bytes a strict BER reader takes for something else says
// so: "Gauge32 200 (sent as 42 01 C8, which strict agents read as -56)".
// Texts from the datagram are given as they are: a caller that prints the
// line to a terminal makes it printable first.

#include <QByteArray>
#include <QString>

namespace orvalink {

QString snmpSummary(const QByteArray& datagram);

// 1.3.6.1.4.1.44467.1.35.0 from the encoded OID bytes ("" when malformed).
QString oidText(const QByteArray& encoded);

} // namespace orvalink
