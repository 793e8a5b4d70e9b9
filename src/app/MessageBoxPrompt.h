#pragma once
// The production message boxes: each request becomes a modal QMessageBox.

#include "core/Prompt.h"

#include <QMessageBox>
#include <QPointer>

class QWidget;

namespace orvalink {

class MessageBoxPrompt : public Prompt {
public:
    explicit MessageBoxPrompt(QWidget* parent = nullptr);
    // The window the boxes are centred on; may change once the main window exists.
    void setParentWidget(QWidget* parent);

    PromptAnswer ask(const PromptRequest& request) override;

    // The text as the box shows it: each carriage return becomes a line break.
    static QString displayText(const QString& text);
    static QString displayTitle(const QString& title);
    static QMessageBox::Icon boxIcon(PromptIcon icon);

private:
    QPointer<QWidget> m_parent;
};

} // namespace orvalink
