#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

// The platform's file choosers behind one service, so tests can answer them.
namespace platform {

struct FileFilter
{
    std::string description; // "Any Files (*.*)"
    std::string patterns;    // "*.*" or "*.avi;*.mkv"
};

struct OpenFileRequest
{
    std::string title;
    std::vector<FileFilter> filters;
    int selectedFilter = 0;
    std::string initialFolder;
};

struct SaveFileRequest
{
    std::string title;
    std::vector<FileFilter> filters;
    int selectedFilter = 0;
    std::string initialPath;
};

// A font as Qt writes it in text form (QFont::toString), so this layer needs no GUI library.
struct FontRequest
{
    std::string initialFont;
    bool screenFonts = true; // list the fonts of the screen
    bool effects = true;     // offer underline and strike-out
};

class ChooserService
{
public:
    virtual ~ChooserService() = default;
    // The chosen path, or nothing when the user cancels.
    virtual std::optional<std::string> OpenFile(const OpenFileRequest &request) = 0;
    virtual std::optional<std::string> SaveFile(const SaveFileRequest &request) = 0;
    // The chosen font in the request's text form, or nothing when the user cancels.
    virtual std::optional<std::string> ChooseFont(const FontRequest &request)
    {
        return std::nullopt;
    }
};

ChooserService *SetChooserService(ChooserService *service);
// With no service installed every chooser is cancelled.
std::optional<std::string> ChooseOpenFile(const OpenFileRequest &request);
std::optional<std::string> ChooseSaveFile(const SaveFileRequest &request);
std::optional<std::string> ChooseFont(const FontRequest &request);

// Records requests and answers them from a queue (cancel when empty). Installs itself.
class ChooserRecorder : public ChooserService
{
public:
    ChooserRecorder();
    ~ChooserRecorder() override;
    std::optional<std::string> OpenFile(const OpenFileRequest &request) override;
    std::optional<std::string> SaveFile(const SaveFileRequest &request) override;
    std::optional<std::string> ChooseFont(const FontRequest &request) override;

    void QueueAnswer(std::optional<std::string> answer) { m_answers.push_back(std::move(answer)); }
    const std::vector<OpenFileRequest> &OpenRequests() const { return m_open; }
    const std::vector<SaveFileRequest> &SaveRequests() const { return m_save; }
    // Font answers have their own queue (cancel when empty).
    void QueueFontAnswer(std::optional<std::string> font)
    {
        m_fontAnswers.push_back(std::move(font));
    }
    const std::vector<FontRequest> &FontRequests() const { return m_font; }

private:
    std::optional<std::string> Next();
    ChooserService *m_previous = nullptr;
    std::deque<std::optional<std::string>> m_answers;
    std::vector<OpenFileRequest> m_open;
    std::vector<SaveFileRequest> m_save;
    std::deque<std::optional<std::string>> m_fontAnswers;
    std::vector<FontRequest> m_font;
};

} // namespace platform
