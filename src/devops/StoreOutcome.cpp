#include "devops/StoreOutcome.h"

#include "store/ElementDatabase.h"
#include "store/IniStore.h"

namespace orvalink {

QString databaseRefusal(const Database& database)
{
    const QString error = database.store().readError(database.path());
    if (error.isEmpty())
        return QString();
    return QStringLiteral("The element database %1 %2.").arg(database.path(), error);
}

QString notStoredSentence(const Database& database, const QString& done)
{
    return QStringLiteral("%1, but %2 could not be written: %3")
        .arg(done, database.path(), database.lastError());
}

QString asBoxText(const QString& sentence)
{
    if (sentence.isEmpty())
        return sentence;
    return sentence.left(1).toUpper() + sentence.mid(1);
}

} // namespace orvalink
