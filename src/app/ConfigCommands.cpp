#include "app/ConfigCommands.h"

#include "app/CommandContext.h"
#include "app/ElementCommands.h"
#include "app/ElementTree.h"
#include "config/ConfigDrift.h"
#include "config/ConfigFile.h"
#include "config/ConfigSweep.h"
#include "config/ConfigTransfer.h"
#include "core/Prompt.h"
#include "core/Readouts.h"
#include "core/StartMode.h"
#include "devops/ApplyOperation.h"
#include "devops/OperationEvents.h"
#include "devops/StoreOutcome.h"
#include "dialogs/ApplySelectedDialog.h"
#include "dialogs/ConfigChangesDialog.h"
#include "dialogs/ConfigProgressDialog.h"
#include "dialogs/frmSendSNMP.h"
#include "snmp/ParameterTable.h"
#include "snmp/SnmpTransport.h"
#include "store/ElementDatabase.h"
#include "store/EventLog.h"
#include "store/IniStore.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace orvalink {

namespace {

const QString kBackupFilter = QStringLiteral("Configuration backup (*.ini);;All files (*)");

// An import's values in place of the panel's: the file's values of the
// parameters that differ, for the shown element.
class ImportView final : public ElementView {
public:
    ImportView(ElementCommands& main, ShownElement shown, EditedValues values)
        : m_main(main), m_shown(std::move(shown)), m_values(std::move(values))
    {
    }
    ShownElement shownElement() const override { return m_shown; }
    EditedValues editedValues() const override { return m_values; }
    void showAgainFromDatabase() override { m_main.showAgainFromDatabase(); }

private:
    ElementCommands& m_main;
    ShownElement m_shown;
    EditedValues m_values;
};

ElementEntry entryOf(const ElementList& list, const QString& section)
{
    for (const ElementEntry& e : list.entries) {
        if (e.section == section)
            return e;
    }
    ElementEntry e;
    e.section = section;
    e.mac = Decode_MAC(section);
    return e;
}

// "-27.5 dB (-275)": a value in words with the stored form beside it.
QString inWords(const QString& key, const QString& value, const QString& edition, bool sfn)
{
    const QString words = configfile::readable(key, value, edition, sfn);
    const QString stored = value.isEmpty() ? QStringLiteral("\"\"") : value;
    return words == value ? stored : QStringLiteral("%1 (%2)").arg(words, stored);
}

} // namespace

ConfigCommands::ConfigCommands(CommandContext& context, ElementCommands& elements, QObject* parent)
    : QObject(parent), m_cx(context), m_elements(elements)
{
    setObjectName(QStringLiteral("configCommands"));
}

QString ConfigCommands::chooseFile(const AppContext::FileQuestion& q)
{
    if (m_cx.app().chooseFile)
        return m_cx.app().chooseFile(q);
    using Kind = AppContext::FileQuestion::Kind;
    switch (q.kind) {
    case Kind::SaveFile:
        return QFileDialog::getSaveFileName(&m_cx.window(), q.title, q.suggested, q.filter);
    case Kind::OpenFile:
        return QFileDialog::getOpenFileName(&m_cx.window(), q.title, q.suggested, q.filter);
    case Kind::Folder:
        return QFileDialog::getExistingDirectory(&m_cx.window(), q.title, q.suggested);
    }
    return {};
}

void ConfigCommands::prepareSweep(ConfigSweep& sweep) const
{
    // Not port 2979: that is the window's own SNMP socket, which may be
    // bound; replies come back to the port a request left from.
    sweep.setLocalAddress(m_cx.localAddress());
    sweep.setPorts(0, m_cx.app().snmpAgentPort);
}

// ------------------------------------------------------------ export

void ConfigCommands::exportConfiguration()
{
    if (!m_elements.checkSelection())
        return;
    const ShownElement shown = m_elements.shownElement();
    const OperationEvents events = m_cx.eventsOf(QStringLiteral("backup"), shown.section);
    const ElementEntry entry =
        entryOf(loadElementList(m_cx.store(), m_cx.databasePath()), shown.section);
    QList<ConfigJob> jobs{configJobFor(m_cx.database(), entry)};
    jobs.first().reads = configtransfer::probeReads();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QString why;
    QByteArray text;
    ConfigProgressDialog progress(
        QStringLiteral("Export configuration"),
        QStringLiteral("Please wait while the configuration is read from the element..."),
        {configtransfer::label(entry.name, entry.mac)}, [&](ConfigProgressDialog& window) {
            ConfigSweep sweep(m_cx.timings());
            prepareSweep(sweep);
            if (!sweep.run(jobs))
                why = sweep.error();
            else
                configtransfer::backupText(jobs.first(), now, m_cx.editionWord(), &text, &why);
            window.setRow(0, why.isEmpty() ? QStringLiteral("read") : QStringLiteral("failed"),
                          why);
        });
    progress.setCloseWhenDone(true);
    {
        const CommandContext::DeviceWindowOpen own(m_cx);
        m_cx.runDialog(progress);
    }
    if (!why.isEmpty()) {
        m_cx.prompt().tell(
            PromptIcon::Critical,
            QStringLiteral("The configuration of %1 was not read: %2").arg(entry.name, why));
        events.outcome(QStringLiteral("failed"), why);
        return;
    }
    AppContext::FileQuestion question;
    question.kind = AppContext::FileQuestion::Kind::SaveFile;
    question.title = QStringLiteral("Export configuration");
    question.suggested = QFileInfo(m_cx.databasePath())
                             .dir()
                             .filePath(configfile::backupFileName(shown.section, entry.name));
    question.filter = kBackupFilter;
    const QString path = chooseFile(question);
    if (path.isEmpty()) {
        events.outcome(QStringLiteral("cancelled"), QStringLiteral("no file chosen; not written"));
        return;
    }
    QString error;
    if (!configfile::writeBackup(path, text, &error)) {
        m_cx.prompt().tell(PromptIcon::Critical,
                           QStringLiteral("The configuration of %1 was read, but %2 was not "
                                          "written: %3")
                               .arg(entry.name, QDir::toNativeSeparators(path), error));
        events.outcome(QStringLiteral("failed"), path + QStringLiteral(": ") + error);
        return;
    }
    events.outcome(QStringLiteral("ok"),
                   QStringLiteral("written to %1").arg(QDir::toNativeSeparators(path)));
}

void ConfigCommands::exportAll()
{
    const ElementList list = loadElementList(m_cx.store(), m_cx.databasePath());
    if (list.entries.isEmpty()) {
        m_cx.prompt().tell(PromptIcon::Information, QStringLiteral("Local database is empty."));
        return;
    }
    AppContext::FileQuestion question;
    question.kind = AppContext::FileQuestion::Kind::Folder;
    question.title = QStringLiteral("Export all: choose a folder");
    question.suggested = QFileInfo(m_cx.databasePath()).absolutePath();
    const QString dir = chooseFile(question);
    if (dir.isEmpty())
        return;
    QStringList rows;
    for (const ElementEntry& e : list.entries)
        rows << configtransfer::label(e.name, e.mac);
    configtransfer::BackupRun backup;
    ConfigProgressDialog progress(
        QStringLiteral("Export all"), QStringLiteral("Please wait while every element is read..."),
        rows, [&](ConfigProgressDialog& window) {
            ConfigSweep sweep(m_cx.timings());
            prepareSweep(sweep);
            backup = configtransfer::backupAll(sweep, m_cx.database(), list.entries, dir,
                                               QDateTime::currentDateTimeUtc(), m_cx.editionWord());
            for (qsizetype i = 0; i < backup.jobs.size(); ++i) {
                const QString& why = backup.failures.at(i);
                window.setRow(int(i),
                              why.isEmpty() ? QStringLiteral("written") : QStringLiteral("failed"),
                              why.isEmpty() ? QDir::toNativeSeparators(backup.paths.at(i)) : why);
            }
            window.setTotal(
                QStringLiteral("%1 of %2 written").arg(backup.written()).arg(backup.jobs.size()));
        });
    {
        const CommandContext::DeviceWindowOpen own(m_cx);
        m_cx.runDialog(progress);
    }
    // The same event as `orvalink-cli backup`.
    const Event e = backup.event(dir);
    m_cx.postOutcome(e);
    QStringList failures; // "NAME [MAC]: why"
    for (qsizetype i = 0; i < backup.jobs.size(); ++i) {
        if (!backup.failures.at(i).isEmpty())
            failures << rows.at(i) + QStringLiteral(": ") + backup.failures.at(i);
    }
    const QString summary = backup.summary(dir);
    m_cx.prompt().tell(failures.isEmpty() ? PromptIcon::Information : PromptIcon::Warning,
                       failures.isEmpty() ? summary + QLatin1Char('.')
                                          : summary + QStringLiteral(".\r\rNot written:\r") +
                                                failures.join(QLatin1Char('\r')),
                       QStringLiteral("Export all"));
}

// ------------------------------------------------------------ import

void ConfigCommands::importConfiguration()
{
    if (!m_elements.checkSelection() || !m_elements.confirmDiscard())
        return;
    const ShownElement shown = m_elements.shownElement();
    const OperationEvents events = m_cx.eventsOf(QStringLiteral("restore"), shown.section);
    const ElementEntry entry =
        entryOf(loadElementList(m_cx.store(), m_cx.databasePath()), shown.section);
    AppContext::FileQuestion question;
    question.kind = AppContext::FileQuestion::Kind::OpenFile;
    question.title = QStringLiteral("Import configuration");
    question.suggested = QFileInfo(m_cx.databasePath()).absolutePath();
    question.filter = kBackupFilter;
    const QString path = chooseFile(question);
    if (path.isEmpty())
        return;
    const QString edition = m_cx.editionWord();
    const auto fail = [&](const QString& why) {
        m_cx.prompt().tell(PromptIcon::Critical,
                           QStringLiteral("%1 was not imported to %2: %3")
                               .arg(QDir::toNativeSeparators(path), entry.name, why));
        events.outcome(QStringLiteral("failed"), why);
    };
    const configfile::Backup backup = configfile::readBackup(path);
    const ElementRole storedRole =
        roleFromText(m_cx.database().read(shown.section, QStringLiteral("role")));
    EditedValues fileValues;
    if (const QString why = configtransfer::restoreRefusal(backup, m_cx.database(), shown.section,
                                                           storedRole, edition, &fileValues);
        !why.isEmpty())
        return fail(why);

    // What the element holds now: one full read, which also says its role.
    QList<ConfigJob> jobs{configJobFor(m_cx.database(), entry)};
    jobs.first().reads = configtransfer::probeReads();
    QString why;
    QHash<QString, QString> device;
    ElementRole deviceRole = ElementRole::Unknown;
    ConfigProgressDialog progress(
        QStringLiteral("Import configuration"),
        QStringLiteral("Please wait while the configuration is read from the element..."),
        {configtransfer::label(entry.name, entry.mac)}, [&](ConfigProgressDialog& window) {
            ConfigSweep sweep(m_cx.timings());
            prepareSweep(sweep);
            QList<QPair<QString, QString>> keys;
            if (!sweep.run(jobs))
                why = sweep.error();
            else if (configtransfer::deviceKeys(jobs.first(), &keys, &deviceRole, &why))
                for (const auto& [k, v] : keys)
                    device.insert(k, v);
            window.setRow(0, why.isEmpty() ? QStringLiteral("read") : QStringLiteral("failed"),
                          why);
        });
    progress.setCloseWhenDone(true);
    {
        const CommandContext::DeviceWindowOpen own(m_cx);
        m_cx.runDialog(progress);
    }
    if (!why.isEmpty())
        return fail(why);
    if (const QString refusal = configtransfer::deviceRoleRefusal(backup, deviceRole);
        !refusal.isEmpty())
        return fail(refusal);

    const configtransfer::RestorePlan plan =
        configtransfer::restorePlan(m_cx.database(), shown, fileValues, backup, device);
    const bool sfn = readouts::storedInteger(backup.keys.value(QStringLiteral("sfn"))) == 1;
    QList<QStringList> rows;
    for (const configtransfer::RestoreChange& c : plan.changes)
        rows.append(
            {c.key, inWords(c.key, c.device, edition, sfn), inWords(c.key, c.file, edition, sfn)});
    if (!plan.changes.isEmpty()) {
        ConfigChangesDialog changes(configtransfer::label(entry.name, entry.mac), rows,
                                    &m_cx.window());
        m_cx.runDialog(changes);
        if (changes.result() != QDialog::Accepted) {
            events.outcome(QStringLiteral("cancelled"),
                           QStringLiteral("not confirmed; nothing sent"));
            return;
        }
    }
    // The database takes what the element holds now (it was just read), so
    // that the apply compares with the element, sends the file's values and
    // logs each confirmed change from the element's value before it.
    QList<QPair<QString, QString>> holds = plan.matching;
    for (const configtransfer::RestoreChange& c : plan.changes)
        holds.append({c.key, c.key == QLatin1String("name") ? Encode_Name(c.device) : c.device});
    bool stored = true;
    {
        // The failure is told below, with what was done.
        const CommandContext::DeviceWindowOpen own(m_cx);
        stored = holds.isEmpty() || m_cx.database().writeKeys(shown.section, holds);
    }
    if (!stored)
        return fail(notStoredSentence(m_cx.database(), QStringLiteral("The element was read")));
    if (plan.changes.isEmpty()) {
        m_cx.prompt().tell(PromptIcon::Information,
                           QStringLiteral("No changes found. Nothing to apply."));
        events.outcome(QStringLiteral("ok"), QStringLiteral("nothing to apply"));
        m_elements.showAgainFromDatabase();
        return;
    }
    EditedValues changed;
    const int bufferMaximum = startModeFor(edition).bufferMaximum;
    for (const configtransfer::RestoreChange& c : plan.changes)
        ApplyOperation::takeValue(changed, c.key, c.file, bufferMaximum);
    ApplyOperation apply(m_cx.snmp(), m_cx.database(), m_cx.prompt(), m_cx.timings());
    const SilenceWatch silence(m_cx.snmp());
    const ApplyEvents applyEvents(apply, events, apply.pending(shown, changed), &silence);
    ImportView view(m_elements, shown, changed);
    frmSendSNMP dialog(apply, view, m_cx.timings(), &m_cx.window());
    const CommandContext::DeviceWindowOpen own(m_cx);
    m_cx.runDialog(dialog);
}

// ------------------------------------------------------------ apply to selected

void ConfigCommands::applyToSelected()
{
    const QStringList sections = m_cx.tree().selectedSections();
    if (sections.isEmpty()) {
        m_elements.tellNoSelection();
        return;
    }
    // The elements are shown again from the database afterwards.
    if (!m_elements.confirmDiscard())
        return;
    const ElementList list = loadElementList(m_cx.store(), m_cx.databasePath());
    QList<ElementEntry> elements;
    for (const QString& s : sections)
        elements.append(entryOf(list, s));
    QStringList keys;
    for (const OperationStep& s : applySteps()) {
        if (!keys.contains(QLatin1String(s.key)))
            keys << QLatin1String(s.key);
    }
    configtransfer::BulkPlan plan;
    ApplySelectedDialog picker(
        keys, QStringLiteral("%1 elements selected").arg(elements.size()),
        [&](const QStringList& pairs) {
            EditedValues values;
            QStringList given;
            if (const QString error = configtransfer::takePairs(
                    pairs, elements.size(), m_cx.editionWord(), &values, &given);
                !error.isEmpty())
                return error;
            plan = configtransfer::bulkPlan(m_cx.database(), elements, values, given);
            if (!plan.refused.isEmpty())
                return plan.refused.join(QLatin1Char('\n'));
            if (plan.jobs.isEmpty())
                return QStringLiteral("No changes found. Nothing to apply.");
            return QString();
        },
        &m_cx.window());
    m_cx.runDialog(picker);
    if (picker.result() != QDialog::Accepted)
        return;
    PromptRequest sure;
    sure.icon = PromptIcon::Question;
    sure.title = QStringLiteral("Send configuration");
    sure.text = QStringLiteral("This configuration will be sent to %1 Network Elements and will "
                               "also be saved to local database in your computer. Are you sure?")
                    .arg(plan.jobs.size());
    sure.buttons = PromptButtons::YesNo;
    sure.defaultAnswer = PromptAnswer::No;
    if (m_cx.prompt().ask(sure) != PromptAnswer::Yes)
        return;

    QStringList rows;
    QHash<QString, int> rowOf;
    QList<OperationEvents> events;
    for (const ConfigJob& j : plan.jobs) {
        rowOf.insert(j.section, int(rows.size()));
        rows << configtransfer::label(j.name, j.mac);
        events.append(m_cx.eventsOf(QStringLiteral("apply"), j.section));
    }
    rows << plan.nothing;
    int allConfirmed = 0;
    int failed = 0;
    ConfigProgressDialog progress(
        QStringLiteral("Apply to selected"),
        QStringLiteral("Please wait while the elements take the values..."), rows,
        [&](ConfigProgressDialog& window) {
            for (qsizetype i = plan.jobs.size(); i < rows.size(); ++i)
                window.setRow(int(i), QStringLiteral("unchanged"),
                              QStringLiteral("nothing to apply"));
            ConfigSweep sweep(m_cx.timings());
            prepareSweep(sweep);
            configtransfer::BulkHooks hooks;
            hooks.confirmed = [&](const ConfigJob& j, const QString& key, const QString& was,
                                  const QString& now) {
                events.at(rowOf.value(j.section)).confirmedSet(key, was, now);
            };
            hooks.finished = [&](const ConfigJob& j, const configtransfer::BulkElementResult& r) {
                (r.ok ? allConfirmed : failed)++;
                QString text = QStringLiteral("%1 of %2 confirmed").arg(r.confirmed).arg(r.wanted);
                if (!r.causes.isEmpty())
                    text += QStringLiteral(" (%1)").arg(r.causes.join(QStringLiteral("; ")));
                window.setRow(rowOf.value(j.section),
                              r.ok ? QStringLiteral("done") : QStringLiteral("failed"), text);
                events.at(rowOf.value(j.section))
                    .outcome(r.ok ? QStringLiteral("ok") : QStringLiteral("failed"),
                             r.ok ? QStringLiteral("%1 value(s) confirmed").arg(r.confirmed)
                                  : r.causes.join(QStringLiteral("; ")));
            };
            if (!configtransfer::runBulk(sweep, m_cx.database(), plan, hooks)) {
                failed = int(plan.jobs.size());
                for (qsizetype i = 0; i < plan.jobs.size(); ++i) {
                    window.setRow(int(i), QStringLiteral("failed"), sweep.error());
                    events.at(i).outcome(QStringLiteral("failed"), sweep.error());
                }
            }
            window.setTotal(QStringLiteral("total: %1 elements, %2 all confirmed, %3 failed, %4 "
                                           "nothing to apply")
                                .arg(elements.size())
                                .arg(allConfirmed)
                                .arg(failed)
                                .arg(plan.nothing.size()));
        });
    {
        const CommandContext::DeviceWindowOpen own(m_cx);
        m_cx.runDialog(progress);
    }
    m_elements.showAgainFromDatabase();
}

} // namespace orvalink
