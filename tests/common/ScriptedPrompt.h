#pragma once
// Answers message boxes from a script. An unexpected box (none left in the
// script, or one whose text does not contain the expected part) fails the
// running test and is answered with its default.

#include "core/Prompt.h"

#include <QList>
#include <QTest>

namespace orvalink::testing {

class ScriptedPrompt : public Prompt {
public:
    struct Step {
        QString textContains; // the shown text must contain this
        PromptAnswer answer = PromptAnswer::Ok;
    };

    void expect(const QString& textContains, PromptAnswer answer = PromptAnswer::Ok)
    {
        m_script.append(Step{textContains, answer});
    }

    PromptAnswer ask(const PromptRequest& request) override
    {
        m_shown.append(request);
        if (m_script.isEmpty()) {
            m_unexpected.append(request.text);
            QTest::qFail(qPrintable(QStringLiteral("unexpected message box: ") + request.text),
                         __FILE__, __LINE__);
            return request.defaultAnswer;
        }
        const Step step = m_script.takeFirst();
        if (!request.text.contains(step.textContains)) {
            m_unexpected.append(request.text);
            QTest::qFail(qPrintable(QStringLiteral("message box \"%1\" does not contain \"%2\"")
                                        .arg(request.text, step.textContains)),
                         __FILE__, __LINE__);
            return request.defaultAnswer;
        }
        return step.answer;
    }

    // Every box shown so far, in order.
    const QList<PromptRequest>& shown() const { return m_shown; }
    // True when every scripted box was shown and nothing else.
    bool done() const { return m_script.isEmpty() && m_unexpected.isEmpty(); }
    void clear()
    {
        m_script.clear();
        m_shown.clear();
        m_unexpected.clear();
    }

private:
    QList<Step> m_script;
    QList<PromptRequest> m_shown;
    QStringList m_unexpected;
};

} // namespace orvalink::testing
