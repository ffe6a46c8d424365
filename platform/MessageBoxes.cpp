#include "platform/MessageBoxes.h"

#include <cstdio>

namespace platform {

namespace {
MessageBoxService *g_service = nullptr;
std::string g_applicationName = "clipwright";

BoxAnswer DefaultAnswer(BoxButtons buttons)
{
    switch (buttons) {
    case BoxButtons::YesNo:
    case BoxButtons::YesNoCancel:
        return BoxAnswer::Yes;
    default:
        return BoxAnswer::Ok;
    }
}

BoxAnswer Dispatch(MessageBoxRequest request)
{
    if (g_service)
        return g_service->Show(request);
    std::fprintf(stderr, "%s: %s\n", request.caption.c_str(), request.text.c_str());
    return DefaultAnswer(request.buttons);
}
} // namespace

MessageBoxService *SetMessageBoxService(MessageBoxService *service)
{
    MessageBoxService *previous = g_service;
    g_service = service;
    return previous;
}

void SetApplicationName(const std::string &name) { g_applicationName = name; }
const std::string &ApplicationName() { return g_applicationName; }

BoxAnswer ShowAppMessageBox(const std::string &text)
{
    return Dispatch({BoxKind::Application, text, g_applicationName, BoxButtons::Ok,
                     BoxIcon::Exclamation});
}

BoxAnswer ShowMessageBox(const std::string &text, const std::string &caption,
                         BoxButtons buttons, BoxIcon icon)
{
    return Dispatch({BoxKind::Owned, text, caption, buttons, icon});
}

BoxAnswer ShowUnownedMessageBox(const std::string &text, const std::string &caption,
                                BoxButtons buttons, BoxIcon icon)
{
    return Dispatch({BoxKind::Unowned, text, caption, buttons, icon});
}

BoxAnswer ShowReportBox(const std::string &text)
{
    return Dispatch({BoxKind::Report, text, "Video Converter", BoxButtons::Ok, BoxIcon::None});
}

BoxAnswer ShowBox(const MessageBoxRequest &request) { return Dispatch(request); }

MessageBoxRecorder::MessageBoxRecorder() : m_previous(SetMessageBoxService(this)) {}

MessageBoxRecorder::~MessageBoxRecorder() { SetMessageBoxService(m_previous); }

BoxAnswer MessageBoxRecorder::Show(const MessageBoxRequest &request)
{
    m_boxes.push_back(request);
    if (m_answers.empty())
        return DefaultAnswer(request.buttons);
    BoxAnswer answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

std::vector<std::string> MessageBoxRecorder::Texts() const
{
    std::vector<std::string> texts;
    for (const auto &box : m_boxes)
        texts.push_back(box.text);
    return texts;
}

} // namespace platform
