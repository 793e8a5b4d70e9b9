#pragma once
// Message boxes of the core operations, on the terminal: the text goes to
// standard error; a question is answered on standard input (y or yes), or
// by --yes.

#include "core/Prompt.h"

#include <QTextStream>

namespace orvalink::cli {

class TerminalPrompt : public Prompt {
public:
    TerminalPrompt(QTextStream& err, bool assumeYes) : m_err(err), m_assumeYes(assumeYes) {}
    PromptAnswer ask(const PromptRequest& request) override;
    // The question before a verb sends configuration ("Send configuration",
    // yes or no, no by default); true for yes.
    bool confirmSending(const QString& text);
    // The text of the latest box: the cause of a failure, for the event log.
    const QString& lastText() const { return m_lastText; }

private:
    QString m_lastText;
    QTextStream& m_err;
    bool m_assumeYes;
};

} // namespace orvalink::cli
