#pragma once
// Drift: what the elements hold now against what nms.ini stores for them,
// for every element at once (orvalink-cli diff --all and the monitor's
// orvalink_config_drift). Each element is read for its MAC and the
// parameters an apply sends for its stored role and tx, and compared as
// `diff` compares them; an agent that answers with another MAC is another
// element, whose values are not compared.

#include "config/ConfigSweep.h"
#include "devops/ApplyOperation.h"
#include "store/ElementDatabase.h"

#include <QList>

#include <optional>

namespace orvalink {

class Database;

// The job of one element with who it is (its agent, communities); what it
// reads or sends is up to the caller. An element without a stored agent
// address gets none (the sweep then asks it nothing).
ConfigJob configJobFor(const Database& database, const ElementEntry& element);

struct DriftCheck {
    QList<ConfigJob> jobs; // one per element, in file order, with its reads
    QList<QList<ApplyOperation::Step>> steps;
};
// The reads of every element of the database.
DriftCheck driftCheck(const Database& database);
// The differences of element i after the sweep; nullopt when it did not
// answer every parameter or another element answered at its address, with
// why in *why (when given): readFailure() or identityRefusal().
std::optional<QList<ApplyOperation::Difference>>
driftOf(const Database& database, const DriftCheck& check, qsizetype i, QString* why = nullptr);

} // namespace orvalink
