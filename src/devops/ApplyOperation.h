#pragma once
// Apply configuration: compares what the panel's editors hold with the
// element's section of nms.ini and sends each differing parameter to the
// element with one SET, in the apply order of the parameter table. A value
// counts as applied, and is stored, only when the element echoed it; each
// confirmed SET is followed by the spacing the devices need.
//
// The same class runs behind "Save changes" (SendConfiguration and the
// frmSendSNMP window) and behind `orvalink-cli apply` and `diff`. It takes
// the editors' values as plain data (EditedValues), never widgets.

#include "core/Pause.h"
#include "core/Timings.h"
#include "devops/ElementView.h"
#include "store/ElementDatabase.h"

#include <QList>
#include <QObject>
#include <QString>

namespace orvalink {

class Database;
class Prompt;
class SnmpClient;
struct OperationStep;

class ApplyOperation : public QObject {
    Q_OBJECT
public:
    enum class Result {
        NothingToApply, // "No changes found. Nothing to apply."
        AllApplied,     // every value sent was confirmed
        SomeFailed,     // at least one value sent was not confirmed
        Inconsistent,   // more confirmations than values sent (never expected)
        Busy,           // a run was already under way; nothing done
        StoreFailed,    // the database cannot be used (nothing sent), or the element took
                        // a value that could not be stored (the run stopped there)
        NotSent,        // a SET could not leave this machine; the run stopped there
    };

    // Where a section without snmpip and snmprw sends its SETs.

    // One step of the apply order that the editors take part in.
    struct Step {
        const OperationStep* entry = nullptr; // parameter number, key, role condition
        bool text = false;                    // compared as text; else as a number
        QString defaultValue;                 // stored value assumed when the key is missing
        QString failureMessage;
    };

    // One parameter that differs: stored value (with the step's default) and
    // the editor's or the device's value.
    struct Difference {
        QString key;
        quint8 n = 0;
        QString stored;
        QString other;
    };

    ApplyOperation(SnmpClient& client, Database& database, Prompt& prompt, const Timings& timings,
                   QObject* parent = nullptr);

    // ---- SendConfiguration ----
    // The checks before anything is sent, in their order: the element, the
    // audio lists, the name, the addresses, the database file. Empty when
    // the edits may be sent, else the reason. For a DECODER the audio source
    // counts as "Digital" (input 0), as the panel sets it.
    static QString checkEdits(const ShownElement& shown, EditedValues& values,
                              const Database& database);
    // The "Error!" box of a refused check: the reason and "Cannot save.".
    static void refuse(Prompt& prompt, const QString& reason);
    // The "Send configuration" question; true on Yes.
    bool confirm();

    // Takes one value as an editor would hold it, from its stored form
    // (KEY=VALUE on the command line): the apply keys, whole numbers inside
    // the editor's range, addresses and the name no longer than their fields
    // (the name upper case, as the field leaves it), no mask whose bits are
    // not ones then zeros, no name the devices' code page cannot hold. Empty
    // when taken, else
    // why not. `bufferMaximum` is scrlBuffer's maximum (22, 23 or 44).
    static QString takeValue(EditedValues& values, const QString& key, const QString& value,
                             int bufferMaximum);

    // ---- Remote_Save_SNMP ----
    // Sends every differing parameter, stores each confirmed one, shows each
    // failure and the result report through the prompt. Runs the event loop
    // during each exchange and each spacing.
    Result run(const ShownElement& shown, const EditedValues& values);
    // The parameters that run() would send now, in order, without sending.
    QList<Difference> pending(const ShownElement& shown, const EditedValues& values) const;
    // Reads every parameter that an apply may send for the element's stored
    // role with its read community and lists those whose device value
    // differs from the stored one. False when the device gave no answer.
    bool compareWithDevice(const QString& section, QList<Difference>* differences);

    // MyLocalParamsToBeChanged and MyLocalParamsSucceeded of the last run.
    quint8 toBeChanged() const { return m_toBeChanged; }
    quint8 succeeded() const { return m_succeeded; }
    bool isRunning() const { return m_running; }
    // Why the last run ended with StoreFailed or NotSent, as one sentence.
    QString failure() const { return m_failure; }

    // The apply order with each step's comparison, default and message.
    static QList<Step> steps();
    // The steps of the apply order that run() takes for these editors (a
    // step per editor present that the element's role and tx include).
    static QList<Step> selectedSteps(const Database& database, const ShownElement& shown,
                                     const EditedValues& values);
    // pending() without an operation.
    static QList<Difference> pendingFor(const Database& database, const ShownElement& shown,
                                        const EditedValues& values);
    // The steps compareWithDevice() reads for the stored element, each key
    // once, and whether a device value differs from the stored one as it
    // decides it.
    static QList<Step> compareSteps(const Database& database, const QString& section);
    // An encoder holds a unicast destination and a multicast group; tx says
    // which one it streams to, and the panel edits only that one. `steps`
    // with the other one (the inactive destination) after the active one,
    // for a compare or a restore that must not leave it as nobody chose.
    static QList<Step> withInactiveDestination(QList<Step> steps, ElementRole role, int tx);
    static bool deviceDiffers(const Step& step, const QString& stored, const QString& device);
    // Whether a stored value and an editor's or echoed value differ: as text,
    // or as numbers for a numeric step.
    static bool differs(const Step& step, const QString& stored, const QString& edited);

Q_SIGNALS:
    void stepSent(const QString& key, const QString& value);
    void stepConfirmed(const QString& key, const QString& value);
    void stepFailed(const QString& key, const QString& message);
    // A run() has ended (Busy included).
    void finished(ApplyOperation::Result result);

private:
    Result runOnce(const ShownElement& shown, const EditedValues& values);
    QList<Step> selected(const ShownElement& shown, const EditedValues& values) const
    {
        return selectedSteps(m_database, shown, values);
    }
    void report();

    SnmpClient& m_client;
    Database& m_database;
    Prompt& m_prompt;
    Timings m_timings;
    Pause m_tmrSNMPSetAllowed;
    quint8 m_toBeChanged = 0;
    quint8 m_succeeded = 0;
    bool m_running = false;
    QString m_failure;
};

} // namespace orvalink
