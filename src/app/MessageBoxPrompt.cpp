#include "app/MessageBoxPrompt.h"

#include <QPushButton>

namespace orvalink {

namespace {

struct ButtonChoice {
    QMessageBox::StandardButton button;
    PromptAnswer answer;
};

QList<ButtonChoice> buttonsFor(PromptButtons buttons)
{
    switch (buttons) {
    case PromptButtons::Ok:
        return {{QMessageBox::Ok, PromptAnswer::Ok}};
    case PromptButtons::OkCancel:
        return {{QMessageBox::Ok, PromptAnswer::Ok}, {QMessageBox::Cancel, PromptAnswer::Cancel}};
    case PromptButtons::YesNo:
        return {{QMessageBox::Yes, PromptAnswer::Yes}, {QMessageBox::No, PromptAnswer::No}};
    case PromptButtons::YesNoCancel:
        return {{QMessageBox::Yes, PromptAnswer::Yes},
                {QMessageBox::No, PromptAnswer::No},
                {QMessageBox::Cancel, PromptAnswer::Cancel}};
    case PromptButtons::RetryCancel:
        return {{QMessageBox::Retry, PromptAnswer::Retry},
                {QMessageBox::Cancel, PromptAnswer::Cancel}};
    }
    return {{QMessageBox::Ok, PromptAnswer::Ok}};
}

} // namespace

MessageBoxPrompt::MessageBoxPrompt(QWidget* parent) : m_parent(parent) {}

void MessageBoxPrompt::setParentWidget(QWidget* parent)
{
    m_parent = parent;
}

QString MessageBoxPrompt::displayText(const QString& text)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

QString MessageBoxPrompt::displayTitle(const QString& title)
{
    return title.isEmpty() ? kApplicationTitle : title;
}

QMessageBox::Icon MessageBoxPrompt::boxIcon(PromptIcon icon)
{
    switch (icon) {
    case PromptIcon::None:
        return QMessageBox::NoIcon;
    case PromptIcon::Information:
        return QMessageBox::Information;
    case PromptIcon::Question:
        return QMessageBox::Question;
    case PromptIcon::Warning:
        return QMessageBox::Warning;
    case PromptIcon::Critical:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

PromptAnswer MessageBoxPrompt::ask(const PromptRequest& request)
{
    QMessageBox box(boxIcon(request.icon), displayTitle(request.title), displayText(request.text),
                    QMessageBox::NoButton, m_parent);
    box.setTextFormat(Qt::PlainText);
    const QList<ButtonChoice> choices = buttonsFor(request.buttons);
    PromptAnswer escapeAnswer = choices.last().answer;
    for (const ButtonChoice& s : choices) {
        QPushButton* b = box.addButton(s.button);
        if (s.answer == request.defaultAnswer)
            box.setDefaultButton(b);
        if (s.answer == PromptAnswer::Cancel || s.answer == PromptAnswer::No)
            box.setEscapeButton(b);
    }
    box.exec();
    const auto clicked = box.standardButton(box.clickedButton());
    for (const ButtonChoice& s : choices) {
        if (s.button == clicked)
            return s.answer;
    }
    // Closed without a button (only possible with an escape-less box).
    return request.buttons == PromptButtons::Ok ? PromptAnswer::Ok : escapeAnswer;
}

} // namespace orvalink
