#include "core/InterfaceLister.h"

#include "core/Text.h"

#include <QHostAddress>
#include <QNetworkInterface>

#include <algorithm>
#include <vector>

namespace orvalink {

QStringList sortIPv4Addresses(const QStringList& addresses)
{
    std::vector<quint32> values;
    values.reserve(addresses.size());
    for (const QString& text : addresses) {
        quint32 v = 0;
        if (parseIPv4(text, &v))
            values.push_back(v);
    }
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    QStringList out;
    out.reserve(int(values.size()));
    for (quint32 v : values)
        out.append(formatIPv4(v));
    return out;
}

QStringList SystemInterfaceLister::addresses()
{
    QStringList texts;
    const QList<QHostAddress> all = QNetworkInterface::allAddresses();
    for (const QHostAddress& a : all) {
        if (a.protocol() == QAbstractSocket::IPv4Protocol)
            texts.append(a.toString());
    }
    return sortIPv4Addresses(texts);
}

} // namespace orvalink
