#include "TerminalPrompt.h"

#include "Cli.h"

#include <QFile>

namespace orvalink::cli {

PromptAnswer TerminalPrompt::ask(const PromptRequest& request)
{
    m_lastText = request.text;
    QString text = request.text;
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    m_err << printable(text, true) << "\n";
    switch (request.buttons) {
    case PromptButtons::Ok:
        m_err.flush();
        return PromptAnswer::Ok;
    case PromptButtons::YesNo:
    case PromptButtons::YesNoCancel:
    case PromptButtons::OkCancel:
    case PromptButtons::RetryCancel:
        break;
    }
    const bool okCancel = request.buttons == PromptButtons::OkCancel;
    const PromptAnswer yes = okCancel ? PromptAnswer::Ok : PromptAnswer::Yes;
    const PromptAnswer no = okCancel || request.buttons == PromptButtons::RetryCancel
                                ? PromptAnswer::Cancel
                                : PromptAnswer::No;
    if (m_assumeYes) {
        m_err << "(yes: --yes)\n";
        m_err.flush();
        return request.buttons == PromptButtons::RetryCancel ? PromptAnswer::Cancel : yes;
    }
    m_err << "[y/N] ";
    m_err.flush();
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly))
        return no;
    const QString answer = QString::fromLocal8Bit(in.readLine(64)).trimmed().toLower();
    return answer == QLatin1String("y") || answer == QLatin1String("yes") ? yes : no;
}

bool TerminalPrompt::confirmSending(const QString& text)
{
    PromptRequest question;
    question.icon = PromptIcon::Question;
    question.title = QStringLiteral("Send configuration");
    question.text = text;
    question.buttons = PromptButtons::YesNo;
    question.defaultAnswer = PromptAnswer::No;
    return ask(question) == PromptAnswer::Yes;
}

} // namespace orvalink::cli
