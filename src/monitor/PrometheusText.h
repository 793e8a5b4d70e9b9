#pragma once
// Element statistics in the Prometheus text exposition format (version
// 0.0.4), as node_exporter's textfile collector reads it: one metric family
// per counter with the labels mac, name, ip and role, orvalink_up per
// element, and the duration of the whole read.

#include "devops/StatisticsOperation.h"

#include <QList>
#include <QString>

namespace orvalink {

QString prometheusText(const QList<ElementStatistics>& elements, double scrapeSeconds);

// A label value with backslash, double quote and line feed escaped, and any
// other control character (which the format cannot carry) as "?".
QString prometheusLabelValue(const QString& text);

} // namespace orvalink
