// Feeds arbitrary datagrams to the configuration-reply decoder and its
// checks.

#include "remote/ConfigReply.h"

#include "core/Text.h"

#include <cstdint>
#include <cstdlib>

using namespace orvalink;
using namespace orvalink::remote;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray datagram(reinterpret_cast<const char*>(data), qsizetype(size));
    const ConfigReply r = decodeConfigReply(datagram);

    // A field is only ever taken from bytes the reply holds.
    if (r.name.size() > 16 || (size < 20 && !r.name.isEmpty()))
        abort();
    if (size < 16 && !r.remote.isEmpty())
        abort();
    if (r.input > 255 || r.type > 255 || r.tx > 255 || r.role > 255 || r.sn < 0)
        abort();
    // Every reply that passes the checks is one whose fields can be stored.
    if (replyCheckFailure(r).isEmpty()) {
        if (size < 40 || !parseIPv4(r.UDP_Response_IP) || !parseIPv4(r.mask) || !parseIPv4(r.gw) ||
            !parseIPv4(r.remote) || r.sn < 1 || r.input > 1 || r.role > 2)
            abort();
    }
    // The same bytes always decode the same way: nothing is carried over.
    const ConfigReply again = decodeConfigReply(datagram);
    if (again.UDP_Response_IP != r.UDP_Response_IP || again.sn != r.sn || again.llo != r.llo ||
        again.version() != r.version() || again.name != r.name)
        abort();
    return 0;
}
