#pragma once
// The one seam through which every message box of the program passes.
// Production wraps QMessageBox (widgets library); tests answer from a script.

#include <QString>

namespace orvalink {

enum class PromptIcon { None, Information, Question, Warning, Critical };
enum class PromptButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
enum class PromptAnswer { Ok, Cancel, Yes, No, Retry };

struct PromptRequest {
    PromptIcon icon = PromptIcon::Information;
    // Empty title: the box carries the application title.
    QString title;
    // Lines are joined by a carriage return (character 13) alone.
    QString text;
    PromptButtons buttons = PromptButtons::Ok;
    PromptAnswer defaultAnswer = PromptAnswer::Ok;
};

inline const QString kApplicationTitle = QStringLiteral("Quorvane Orvalink Manager");

class Prompt {
public:
    virtual ~Prompt() = default;
    virtual PromptAnswer ask(const PromptRequest& request) = 0;

    // Shorthand for a box with only an OK button.
    void tell(PromptIcon icon, const QString& text, const QString& title = QString())
    {
        ask(PromptRequest{icon, title, text, PromptButtons::Ok, PromptAnswer::Ok});
    }
};

} // namespace orvalink
