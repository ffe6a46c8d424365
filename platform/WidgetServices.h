#pragma once

#include "platform/Choosers.h"
#include "platform/MessageBoxes.h"

#include <QFont>
#include <QPointer>
#include <QWidget>

#include <functional>

namespace platform {

// Message boxes as QMessageBox; owned boxes are parented to the main window.
class WidgetMessageBoxService : public MessageBoxService
{
public:
    explicit WidgetMessageBoxService(QWidget *owner = nullptr)
        : m_owner(owner)
    {
    }
    void SetOwner(QWidget *owner) { m_owner = owner; }
    // The font every box is shown in, asked for each box (the interface font may change).
    void SetFontSource(std::function<QFont()> source) { m_fontSource = std::move(source); }
    BoxAnswer Show(const MessageBoxRequest &request) override;

private:
    QPointer<QWidget> m_owner;
    std::function<QFont()> m_fontSource;
};

// File choosers as QFileDialog, owned by the main window.
class WidgetChooserService : public ChooserService
{
public:
    explicit WidgetChooserService(QWidget *owner = nullptr)
        : m_owner(owner)
    {
    }
    void SetOwner(QWidget *owner) { m_owner = owner; }
    std::optional<std::string> OpenFile(const OpenFileRequest &request) override;
    std::optional<std::string> SaveFile(const SaveFileRequest &request) override;
    std::optional<std::string> ChooseFont(const FontRequest &request) override;

private:
    QPointer<QWidget> m_owner;
};

} // namespace platform
