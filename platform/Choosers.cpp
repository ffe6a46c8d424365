#include "platform/Choosers.h"

namespace platform {

namespace {
ChooserService *g_chooser = nullptr;
}

ChooserService *SetChooserService(ChooserService *service)
{
    ChooserService *previous = g_chooser;
    g_chooser = service;
    return previous;
}

std::optional<std::string> ChooseOpenFile(const OpenFileRequest &request)
{
    return g_chooser ? g_chooser->OpenFile(request) : std::nullopt;
}

std::optional<std::string> ChooseSaveFile(const SaveFileRequest &request)
{
    return g_chooser ? g_chooser->SaveFile(request) : std::nullopt;
}

std::optional<std::string> ChooseFont(const FontRequest &request)
{
    return g_chooser ? g_chooser->ChooseFont(request) : std::nullopt;
}

ChooserRecorder::ChooserRecorder() : m_previous(SetChooserService(this)) {}

ChooserRecorder::~ChooserRecorder() { SetChooserService(m_previous); }

std::optional<std::string> ChooserRecorder::Next()
{
    if (m_answers.empty())
        return std::nullopt;
    auto answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

std::optional<std::string> ChooserRecorder::OpenFile(const OpenFileRequest &request)
{
    m_open.push_back(request);
    return Next();
}

std::optional<std::string> ChooserRecorder::SaveFile(const SaveFileRequest &request)
{
    m_save.push_back(request);
    return Next();
}

std::optional<std::string> ChooserRecorder::ChooseFont(const FontRequest &request)
{
    m_font.push_back(request);
    if (m_fontAnswers.empty())
        return std::nullopt;
    auto answer = m_fontAnswers.front();
    m_fontAnswers.pop_front();
    return answer;
}

} // namespace platform
