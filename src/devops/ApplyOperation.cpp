#include "devops/ApplyOperation.h"

#include "core/Cp1252.h"
#include "core/Prompt.h"
#include "core/Text.h"
#include "devops/StoreOutcome.h"
#include "snmp/ParameterTable.h"
#include "snmp/SnmpClient.h"
#include "store/ElementDatabase.h"

#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace orvalink {

namespace {

const QChar kCR(13);
const QString kDecoderCaption = QStringLiteral("DECODER");

// A stored or echoed number; nullopt for a text that is not one.
std::optional<qint64> numberOf(const QString& text)
{
    bool ok = false;
    const qint64 v = trimBlanks(text).toLongLong(&ok, 10);
    if (!ok)
        return std::nullopt;
    return v;
}

// The editor behind a key of the apply order, as text (numbers in decimal).
std::optional<QString> editorValue(const EditedValues& v, const QString& key)
{
    auto number = [](const std::optional<int>& n) -> std::optional<QString> {
        if (!n)
            return std::nullopt;
        return QString::number(*n);
    };
    if (key == QLatin1String("name"))
        return v.name;
    if (key == QLatin1String("ip"))
        return v.ip;
    if (key == QLatin1String("mask"))
        return v.mask;
    if (key == QLatin1String("gw"))
        return v.gw;
    if (key == QLatin1String("multi") || key == QLatin1String("remote"))
        return v.remoteIP;
    if (key == QLatin1String("input"))
        return number(v.input);
    if (key == QLatin1String("type"))
        return number(v.type);
    if (key == QLatin1String("tx"))
        return number(v.tx);
    if (key == QLatin1String("sfn"))
        return number(v.sfn);
    if (key == QLatin1String("llo"))
        return number(v.llo);
    if (key == QLatin1String("att"))
        return number(v.att);
    if (key == QLatin1String("buf"))
        return number(v.buf);
    if (key == QLatin1String("sdl"))
        return number(v.sdl);
    if (key == QLatin1String("sdt"))
        return number(v.sdt);
    if (key == QLatin1String("sdm"))
        return number(v.sdm);
    return std::nullopt;
}

// The stored value assumed when a key is missing from the section.
QString defaultOf(const QString& key)
{
    if (key == QLatin1String("input") || key == QLatin1String("tx") ||
        key == QLatin1String("sfn") || key == QLatin1String("llo") || key == QLatin1String("att") ||
        key == QLatin1String("sdm"))
        return QStringLiteral("0");
    if (key == QLatin1String("multi"))
        return QStringLiteral("239.255.255.239");
    if (key == QLatin1String("remote"))
        return QStringLiteral("192.168.1.91");
    if (key == QLatin1String("buf"))
        return QStringLiteral("1");
    if (key == QLatin1String("sdl"))
        return QStringLiteral("37");
    if (key == QLatin1String("sdt"))
        return QStringLiteral("43");
    return QString(); // name, ip, mask, gw, type
}

QString failureOf(const QString& key, bool secondTry)
{
    if (key == QLatin1String("name"))
        return QStringLiteral("Failed setting Device name!");
    if (key == QLatin1String("ip"))
        return QStringLiteral("Failed setting Device IP!");
    if (key == QLatin1String("mask"))
        return QStringLiteral("Failed setting ETH network mask!");
    if (key == QLatin1String("gw"))
        return QStringLiteral("Failed setting ETH gateway!");
    if (key == QLatin1String("input"))
        return QStringLiteral("Failed setting audio source!");
    if (key == QLatin1String("type"))
        return QStringLiteral("Failed setting audio format!");
    if (key == QLatin1String("tx"))
        return QStringLiteral("Failed setting TX type!");
    if (key == QLatin1String("multi"))
        return QStringLiteral("Failed setting multicast IP!");
    if (key == QLatin1String("remote"))
        return QStringLiteral("Failed setting remote IP!");
    if (key == QLatin1String("sfn"))
        return QStringLiteral("Failed setting SFN option!");
    if (key == QLatin1String("llo"))
        return QStringLiteral("Failed setting Low Latency option!");
    if (key == QLatin1String("att"))
        return secondTry ? QStringLiteral("Failed setting audio attenuation!")
                         : QStringLiteral("Failed setting Device audio attenuation!");
    if (key == QLatin1String("buf"))
        return QStringLiteral("Failed setting buffer size!");
    if (key == QLatin1String("sdl"))
        return QStringLiteral("Failed setting silence detector threshold level!");
    if (key == QLatin1String("sdt"))
        return QStringLiteral("Failed setting silence detector timeout!");
    if (key == QLatin1String("sdm"))
        return QStringLiteral("Failed setting audio routing!");
    return QString();
}

// What an editor accepts: list entries, check-box states and scroll ranges.
struct EditorRange {
    const char* key;
    int min;
    int max; // -1: the buffer maximum of the start-up mode
};
const EditorRange kRanges[] = {
    {"input", 0, 1}, {"type", 0, 1},   {"tx", 0, 1},   {"sdm", 0, 2},   {"sfn", 0, 1},
    {"llo", 0, 1},   {"att", 14, 255}, {"buf", 0, -1}, {"sdl", 1, 154}, {"sdt", 1, 220},
};

} // namespace

ApplyOperation::ApplyOperation(SnmpClient& client, Database& database, Prompt& prompt,
                               const Timings& timings, QObject* parent)
    : QObject(parent), m_client(client), m_database(database), m_prompt(prompt), m_timings(timings),
      m_tmrSNMPSetAllowed(this)
{
}

QList<ApplyOperation::Step> ApplyOperation::steps()
{
    QList<Step> out;
    QSet<QString> seen;
    for (const OperationStep& entry : applySteps()) {
        const QString key = QLatin1String(entry.key);
        const ParameterInfo* info = findParameterByKey(key);
        Step s;
        s.entry = &entry;
        s.text = info && (info->form == ValueForm::Text || info->form == ValueForm::Address);
        s.defaultValue = defaultOf(key);
        s.failureMessage = failureOf(key, seen.contains(key));
        seen.insert(key);
        out.append(s);
    }
    return out;
}

// ------------------------------------------------------------ the checks

QString ApplyOperation::checkEdits(const ShownElement& shown, EditedValues& v,
                                   const Database& database)
{
    if (!shown.isShown() || shown.mac == QLatin1String("<Unknown>"))
        return QStringLiteral("No Network Element selected!");
    bool txChosen = true;
    if (shown.roleCaption == kDecoderCaption) {
        if (v.input)
            v.input = 0;
    } else if (v.tx) {
        txChosen = *v.tx >= 0;
    }
    if ((v.type && *v.type < 0) || (v.input && *v.input < 0) || !txChosen)
        return QStringLiteral("Please verify that all audio fields are correct!");
    // A name the devices' code page cannot hold would be refused by the
    // encoder after the question, half-way through the run.
    if (v.name && (v.name->isEmpty() || !cp1252::canEncodeAll(*v.name)))
        return QStringLiteral("Please verify that the name field is correct!");
    for (const std::optional<QString>* field : {&v.ip, &v.mask, &v.gw, &v.remoteIP}) {
        if (*field && !IsValidIPAddress(**field))
            return QStringLiteral("Please verify that all IP fields are correct!");
    }
    if (v.mask && !isValidSubnetMask(*v.mask))
        return QStringLiteral("Please verify that all IP fields are correct!");
    if (!QFileInfo::exists(database.path()))
        return QStringLiteral("The local database in your computer, is corrupted!");
    return QString();
}

void ApplyOperation::refuse(Prompt& prompt, const QString& reason)
{
    prompt.tell(PromptIcon::Critical, reason + kCR + QStringLiteral("Cannot save."),
                QStringLiteral("Error!"));
}

bool ApplyOperation::confirm()
{
    PromptRequest question;
    question.icon = PromptIcon::Question;
    question.title = QStringLiteral("Send configuration");
    question.text = QStringLiteral("This configuration will be sent to selected Network Element "
                                   "and") +
                    kCR +
                    QStringLiteral("will also be saved to local database in your computer. ") +
                    kCR + QStringLiteral("Are you sure?");
    question.buttons = PromptButtons::YesNo;
    question.defaultAnswer = PromptAnswer::No;
    return m_prompt.ask(question) == PromptAnswer::Yes;
}

QString ApplyOperation::takeValue(EditedValues& v, const QString& keyText, const QString& value,
                                  int bufferMaximum)
{
    const QString key = keyText.toLower();
    auto text = [&](std::optional<QString>& field, int maxLength) -> QString {
        if (value.length() > maxLength)
            return QStringLiteral("%1 takes at most %2 characters").arg(key).arg(maxLength);
        field = value;
        return QString();
    };
    if (key == QLatin1String("name")) {
        if (!cp1252::canEncodeAll(value))
            return QStringLiteral("name \"%1\" has characters that the devices' code page "
                                  "(Windows-1252) cannot hold")
                .arg(value);
        const QString error = text(v.name, 16);
        if (error.isEmpty())
            v.name = cp1252::toUpper(*v.name); // as the field leaves it
        return error;
    }
    if (key == QLatin1String("ip"))
        return text(v.ip, 15);
    if (key == QLatin1String("mask")) {
        if (parseIPv4(value) && !isValidSubnetMask(value))
            return QStringLiteral("mask %1 is not a subnet mask: its bits must be ones, then "
                                  "zeros (as in 255.255.255.0)")
                .arg(value);
        return text(v.mask, 15);
    }
    if (key == QLatin1String("gw"))
        return text(v.gw, 15);
    if (key == QLatin1String("multi") || key == QLatin1String("remote"))
        return text(v.remoteIP, 15);
    for (const EditorRange& r : kRanges) {
        if (key != QLatin1String(r.key))
            continue;
        const int max = r.max < 0 ? bufferMaximum : r.max;
        bool digits = !value.isEmpty() && value.length() <= 9;
        for (const QChar c : value)
            digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
        const int n = digits ? value.toInt() : -1;
        if (!digits || n < r.min || n > max)
            return QStringLiteral("%1 takes a whole number from %2 to %3")
                .arg(key)
                .arg(r.min)
                .arg(max);
        std::optional<int>* fields[] = {&v.input, &v.type, &v.tx,  &v.sdm, &v.sfn,
                                        &v.llo,   &v.att,  &v.buf, &v.sdl, &v.sdt};
        *fields[&r - kRanges] = n;
        return QString();
    }
    return QStringLiteral("%1 is not a key that an apply sends").arg(keyText);
}

// ------------------------------------------------------------ the run

QList<ApplyOperation::Step> ApplyOperation::selectedSteps(const Database& database,
                                                          const ShownElement& shown,
                                                          const EditedValues& values)
{
    StepContext context;
    context.role = roleOfCaption(shown.roleCaption);
    // Which field txtRemoteIP feeds follows the TX list as it is now; an
    // editor left out keeps the stored choice.
    if (values.tx)
        context.tx = *values.tx;
    else
        context.tx =
            int(numberOf(database.read(shown.section, QStringLiteral("tx"), QStringLiteral("0")))
                    .value_or(-1));
    QList<Step> out;
    for (const Step& s : steps()) {
        if (conditionHolds(s.entry->when, context) &&
            editorValue(values, QLatin1String(s.entry->key)))
            out.append(s);
    }
    return out;
}

bool ApplyOperation::differs(const Step& step, const QString& stored, const QString& edited)
{
    if (step.text)
        return stored != edited;
    // A stored value that is not a number differs from every editor number.
    const std::optional<qint64> a = numberOf(stored);
    const std::optional<qint64> b = numberOf(edited);
    return !a || !b || *a != *b;
}

QList<ApplyOperation::Difference> ApplyOperation::pending(const ShownElement& shown,
                                                          const EditedValues& values) const
{
    return pendingFor(m_database, shown, values);
}

QList<ApplyOperation::Difference> ApplyOperation::pendingFor(const Database& database,
                                                             const ShownElement& shown,
                                                             const EditedValues& values)
{
    QList<Difference> out;
    QSet<QString> listed;
    for (const Step& s : selectedSteps(database, shown, values)) {
        const QString key = QLatin1String(s.entry->key);
        const QString stored = database.read(shown.section, key, s.defaultValue);
        const QString edited = *editorValue(values, key);
        // The second attenuation step only repeats a first try that failed.
        if (listed.contains(key) || !differs(s, stored, edited))
            continue;
        listed.insert(key);
        out.append(Difference{key, s.entry->n, stored, edited});
    }
    return out;
}

ApplyOperation::Result ApplyOperation::run(const ShownElement& shown, const EditedValues& values)
{
    const Result result = runOnce(shown, values);
    Q_EMIT finished(result);
    return result;
}

ApplyOperation::Result ApplyOperation::runOnce(const ShownElement& shown,
                                               const EditedValues& values)
{
    if (m_running)
        return Result::Busy;
    m_running = true;
    m_toBeChanged = 0;
    m_succeeded = 0;
    m_tmrSNMPSetAllowed.reset();

    m_failure.clear();

    const QString section = shown.section;
    // A database that cannot keep what the element takes is refused before
    // anything is sent.
    if (const QString refusal = databaseRefusal(m_database); !refusal.isEmpty()) {
        m_failure = refusal;
        m_prompt.tell(PromptIcon::Critical, refusal);
        m_running = false;
        return Result::StoreFailed;
    }
    const QString host = m_database.read(section, QStringLiteral("snmpip"), kDefaultAgentAddress);
    const QString community =
        m_database.read(section, QStringLiteral("snmprw"), kDefaultWriteCommunity);

    for (const Step& s : selected(shown, values)) {
        const QString key = QLatin1String(s.entry->key);
        // Read at the moment of use: an earlier step of this run may have
        // stored the same key (the second attenuation step).
        const QString stored = m_database.read(section, key, s.defaultValue);
        const QString edited = *editorValue(values, key);
        if (!differs(s, stored, edited))
            continue;
        ++m_toBeChanged;
        Q_EMIT stepSent(key, edited);
        const SnmpResult echo =
            m_client.SetSNMP(host, community, s.entry->n, setTagOf(s.entry->n), edited);
        if (echo.outcome == SnmpOutcome::NotSent) {
            // Nothing left this machine, and nothing later would: the
            // transport has told why; the run ends without a report.
            --m_toBeChanged;
            m_failure = echo.reason;
            m_running = false;
            return Result::NotSent;
        }
        // Only the device's echo of the very value sent counts; an empty
        // echo (no reply, an error, nothing usable) never does.
        bool confirmed = echo.hasValue() && !echo.value.isEmpty();
        if (confirmed)
            confirmed = s.text ? echo.value == edited : !differs(s, echo.value, edited);
        if (!confirmed) {
            Q_EMIT stepFailed(key, s.failureMessage);
            m_prompt.tell(PromptIcon::Critical, s.failureMessage);
            continue;
        }
        if (!m_database.write(section, key,
                              key == QLatin1String("name") ? Encode_Name(echo.value)
                                                           : echo.value)) {
            // The element changed but the database did not: no later value
            // is sent, and no result report claims a success.
            m_failure = notStoredSentence(
                m_database, QStringLiteral("the element took %1=%2").arg(key, echo.value));
            m_prompt.tell(PromptIcon::Critical, asBoxText(m_failure), QStringLiteral("Error!"));
            m_running = false;
            return Result::StoreFailed;
        }
        ++m_succeeded;
        Q_EMIT stepConfirmed(key, echo.value);
        m_tmrSNMPSetAllowed.wait(m_timings.snmpSetAllowedMs);
    }

    report();
    m_running = false;
    if (m_toBeChanged == 0)
        return Result::NothingToApply;
    if (m_succeeded == m_toBeChanged)
        return Result::AllApplied;
    return m_succeeded < m_toBeChanged ? Result::SomeFailed : Result::Inconsistent;
}

void ApplyOperation::report()
{
    const int n = m_toBeChanged;
    const int s = m_succeeded;
    if (n == 0) {
        m_prompt.tell(PromptIcon::Information,
                      QStringLiteral("No changes found. Nothing to apply."));
    } else if (s == n) {
        m_prompt.tell(PromptIcon::Information,
                      QStringLiteral("SUCCESS! %1 parameter changes applied.").arg(n));
    } else if (s < n) {
        m_prompt.tell(
            PromptIcon::Critical,
            QStringLiteral("Some errors occured. Only %1 of %2 parameters changes applied.")
                .arg(s)
                .arg(n));
    } else {
        m_prompt.tell(PromptIcon::Critical,
                      QStringLiteral("Unknown error. Please restart the application."));
    }
}

// ------------------------------------------------------------ diff

QList<ApplyOperation::Step> ApplyOperation::compareSteps(const Database& database,
                                                         const QString& section)
{
    ShownElement shown;
    shown.section = section;
    shown.mac = Decode_MAC(section);
    shown.roleCaption = roleCaption(roleFromText(database.read(section, QStringLiteral("role"))));
    // Every editor present: the steps of the stored role and tx.
    EditedValues all;
    all.name = all.ip = all.mask = all.gw = all.remoteIP = QString();
    all.input = all.type = all.sfn = all.llo = all.att = all.buf = all.sdl = all.sdt = all.sdm = 0;
    all.tx = int(
        numberOf(database.read(section, QStringLiteral("tx"), QStringLiteral("0"))).value_or(-1));
    QList<Step> out;
    QSet<QString> compared;
    for (const Step& s : withInactiveDestination(selectedSteps(database, shown, all),
                                                 roleOfCaption(shown.roleCaption), *all.tx)) {
        const QString key = QLatin1String(s.entry->key);
        if (compared.contains(key))
            continue;
        compared.insert(key);
        out.append(s);
    }
    return out;
}

QList<ApplyOperation::Step> ApplyOperation::withInactiveDestination(QList<Step> steps,
                                                                    ElementRole role, int tx)
{
    if (role != ElementRole::Encoder || (tx != 0 && tx != 1))
        return steps;
    const Condition active = tx == 0 ? Condition::EncoderUnicast : Condition::EncoderMulticast;
    const Condition inactive = tx == 0 ? Condition::EncoderMulticast : Condition::EncoderUnicast;
    const QList<Step> all = ApplyOperation::steps();
    const auto other = std::find_if(all.cbegin(), all.cend(),
                                    [&](const Step& s) { return s.entry->when == inactive; });
    if (other == all.cend())
        return steps;
    for (qsizetype i = 0; i < steps.size(); ++i) {
        if (steps.at(i).entry->when == active) {
            qsizetype after = i + 1;
            while (after < steps.size() && steps.at(after).entry->when == active)
                ++after; // a retry of the active one stays with it
            steps.insert(after, *other);
            return steps;
        }
    }
    return steps;
}

bool ApplyOperation::deviceDiffers(const Step& step, const QString& stored, const QString& device)
{
    // A name is stored upper-case (and padded): the device's is compared
    // in that form, or a lower-case name would differ for ever, since
    // no apply can store it as the device holds it.
    if (QLatin1String(step.entry->key) == QLatin1String("name"))
        return Encode_Name(stored) != Encode_Name(device);
    return differs(step, stored, device);
}

bool ApplyOperation::compareWithDevice(const QString& section, QList<Difference>* differences)
{
    const QString host = m_database.read(section, QStringLiteral("snmpip"), kDefaultAgentAddress);
    const QString community =
        m_database.read(section, QStringLiteral("snmpro"), QStringLiteral("morqubit"));
    for (const Step& s : compareSteps(m_database, section)) {
        const QString key = QLatin1String(s.entry->key);
        const SnmpResult r = m_client.GetSNMP(host, community, s.entry->n);
        if (!r.answered())
            return false;
        const QString stored = m_database.read(section, key, s.defaultValue);
        if (deviceDiffers(s, stored, r.value))
            differences->append(Difference{key, s.entry->n, stored, r.value});
    }
    return true;
}

} // namespace orvalink
