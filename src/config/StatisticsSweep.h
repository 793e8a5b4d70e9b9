#pragma once
// The statistics of many elements at once, on the configuration sweep
// (ConfigSweep.h): each element is a job whose reads are its counters, read
// one after the other as the Statistics window reads them, with a bounded
// number of elements in flight so that silent elements cost their waits side
// by side rather than one after the other.
//
// Every counter of an element is asked for once, as the window asks for
// each: once a reply of an element is lost, its remaining counters are asked
// for all at once, so a silent element costs two waits, not one per counter.
// An element that answered none is down.

#include "config/ConfigSweep.h"
#include "core/DatagramTap.h"
#include "core/Timings.h"
#include "devops/StatisticsOperation.h"

#include <QList>
#include <QString>

namespace orvalink {

class Database;

class StatisticsSweep {
public:
    static constexpr int kDefaultInFlight = ConfigSweep::kDefaultElementsInFlight;

    explicit StatisticsSweep(const Timings& timings);

    void setLocalAddress(const QString& address) { m_sweep.setLocalAddress(address); }
    void setPorts(quint16 localPort, quint16 agentPort) { m_sweep.setPorts(localPort, agentPort); }

    // Every element of the database, in file order, with what it is read by.
    // A file that cannot be read gives none and, in *error, why (empty when
    // it was read): it is no empty database.
    static QList<ElementStatistics> elementsOf(const Database& database, QString* error = nullptr);

    // Reads the statistics of every element given and returns them in the
    // same order. False, with error(), when the socket cannot be opened.
    bool run(QList<ElementStatistics>& elements);
    QString error() const { return m_sweep.error(); }
    // Called with every datagram sent and received (diagnostics).
    void setTap(DatagramTap tap) { m_sweep.setTap(std::move(tap)); }

private:
    ConfigSweep m_sweep;
};

} // namespace orvalink
