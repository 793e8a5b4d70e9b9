#pragma once
// One line that says what a datagram of the remote protocol is, for the
// operator's diagnostics (orvalink-cli -v): the request by its length
// (level "VOL", command, save request, paging broadcast), the fields of a
// configuration reply, the size of level data. Texts from the datagram are
// given as they are: a caller that prints the line makes it printable.

#include <QByteArray>
#include <QString>

namespace orvalink::remote {

// sender: the address a received datagram came from; a configuration reply
// from another address than the one it carries is noted.
QString remoteSummary(const QByteArray& datagram, bool sent, const QString& sender = QString());

} // namespace orvalink::remote
