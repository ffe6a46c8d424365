#pragma once

#include <deque>
#include <string>
#include <vector>

// One service for every message box the program shows. The window program installs a
// widget-backed service; tests install MessageBoxRecorder; without either the text goes to
// standard error so command-line runs still report.
namespace platform {

enum class BoxButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class BoxIcon { None, Information, Exclamation, Question, Error };
enum class BoxAnswer { Ok, Cancel, Yes, No };
// Application box: the framework's box (OK, exclamation, program name as caption).
// Owned box: owned by the main window, explicit caption. Unowned box: no owner.
// Report box: no owner, caption "Video Converter".
enum class BoxKind { Application, Owned, Unowned, Report };

struct MessageBoxRequest
{
    BoxKind kind = BoxKind::Owned;
    std::string text;
    std::string caption;
    BoxButtons buttons = BoxButtons::Ok;
    BoxIcon icon = BoxIcon::None;
};

class MessageBoxService
{
public:
    virtual ~MessageBoxService() = default;
    virtual BoxAnswer Show(const MessageBoxRequest &request) = 0;
};

// Installs a service (nullptr restores the standard-error fallback); returns the previous one.
MessageBoxService *SetMessageBoxService(MessageBoxService *service);

// Caption of application boxes: the program's name.
void SetApplicationName(const std::string &name);
const std::string &ApplicationName();

BoxAnswer ShowAppMessageBox(const std::string &text);
BoxAnswer ShowMessageBox(const std::string &text, const std::string &caption,
                         BoxButtons buttons = BoxButtons::Ok, BoxIcon icon = BoxIcon::None);
BoxAnswer ShowUnownedMessageBox(const std::string &text, const std::string &caption,
                                BoxButtons buttons = BoxButtons::Ok, BoxIcon icon = BoxIcon::None);
BoxAnswer ShowReportBox(const std::string &text);
// A box as described, of any kind.
BoxAnswer ShowBox(const MessageBoxRequest &request);

// Captures every box and answers from a queue (Ok, or the first answer the buttons allow,
// when the queue is empty). Installs itself for its lifetime.
class MessageBoxRecorder : public MessageBoxService
{
public:
    MessageBoxRecorder();
    ~MessageBoxRecorder() override;
    BoxAnswer Show(const MessageBoxRequest &request) override;

    void QueueAnswer(BoxAnswer answer) { m_answers.push_back(answer); }
    const std::vector<MessageBoxRequest> &Boxes() const { return m_boxes; }
    std::vector<std::string> Texts() const;
    void Clear() { m_boxes.clear(); }

private:
    MessageBoxService *m_previous = nullptr;
    std::deque<BoxAnswer> m_answers;
    std::vector<MessageBoxRequest> m_boxes;
};

} // namespace platform
