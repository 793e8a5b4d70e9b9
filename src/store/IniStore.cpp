// Placeholder: the real store replaces this file.
#include "store/IniStore.h"

namespace orvalink {
struct IniStore::Impl {};
IniStore::IniStore(QObject* parent) : QObject(parent), d(std::make_unique<Impl>()) {}
IniStore::~IniStore() = default;
QString IniStore::read(const QString&, const QString&, const QString&, const QString& def) const { return def; }
void IniStore::write(const QString&, const QString&, const QString&, const QString&) {}
void IniStore::deleteSection(const QString&, const QString&) {}
void IniStore::deleteKey(const QString&, const QString&, const QString&) {}
bool IniStore::keyExists(const QString&, const QString&, const QString&) const { return false; }
bool IniStore::sectionExists(const QString&, const QString&) const { return false; }
long IniStore::readLong(const QString&, const QString&, const QString&, long def) const { return def; }
void IniStore::renameKey(const QString&, const QString&, const QString&, const QString&) {}
void IniStore::renameSection(const QString&, const QString&, const QString&) {}
QStringList IniStore::sectionNames(const QString&) const { return {}; }
QStringList IniStore::sectionKeys(const QString&, const QString&) const { return {}; }
int IniStore::sectionKeyCount(const QString&, const QString&) const { return 0; }
} // namespace orvalink
