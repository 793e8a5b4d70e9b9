#pragma once
// How the device operations tell the operator about the element database:
// a database that cannot take writes is refused before anything is asked of
// an element, and a write that failed after the element took a value says
// so in one sentence instead of a success.

#include <QString>

namespace orvalink {

class Database;

// Why the database cannot be used ("The element database PATH is a
// folder."); empty when it can be read and written, or does not exist yet.
QString databaseRefusal(const Database& database);

// "DONE, but PATH could not be written: REASON" (DONE is what happened on
// the element, e.g. "the element took att=200"), with the reason of the
// database's last failed write.
QString notStoredSentence(const Database& database, const QString& done);

// The same sentence as a message box says it: its first letter upper case.
QString asBoxText(const QString& sentence);

} // namespace orvalink
