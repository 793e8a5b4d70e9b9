// Feeds arbitrary files to the simulator's reading of an element database
// (orvalink-sim --from-ini). Whatever the file holds, seeding an element from
// it must end without a crash, and what the element took must read back.

#include "sim/Element.h"
#include "sim/IniSeed.h"

#include <QHostAddress>

#include <cstdint>
#include <cstdlib>

using namespace orvalink::sim;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    IniSeed seed;
    seed.parse(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    for (Role role : {Role::Encoder, Role::Decoder}) {
        Element element(role, QHostAddress(QStringLiteral("127.0.0.21")),
                        QByteArray::fromHex("2E8BF2000201"));
        seed.seed(element);
        for (int n : element.parameterNumbers()) {
            Value v;
            element.get(n, v);
        }
    }
    return 0;
}
