#pragma once
// What discover and remote-save talk through: the database on --db, the
// remote endpoint on --nms, the neighbour table and the remote protocol,
// with the waits of --wait.

#include "Cli.h"
#include "TerminalPrompt.h"

#include "core/Timings.h"
#include "netutil/MacResolver.h"
#include "remote/RemoteEndpoint.h"
#include "remote/RemoteProtocol.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

namespace orvalink::cli {

class RemoteSetup {
public:
    explicit RemoteSetup(const Context& ctx);

    IniStore store;
    Database database;
    TerminalPrompt prompt;
    Timings timings;
    RemoteEndpoint endpoint;
    NeighbourTableResolver resolver;
    RemoteProtocol protocol;

private:
    static Timings timingsFor(const Context& ctx);
};

} // namespace orvalink::cli
