#include "localisation/ReportTexts.h"

#include "localisation/BuiltinTexts.h"
#include "localisation/Language.h"
#include "platform/Choosers.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

using platform::BoxButtons;
using platform::BoxIcon;
using platform::BoxKind;
using platform::MessageBoxRequest;
using platform::Problem;

namespace {

MessageBoxRequest App(const std::string &text)
{
    return {BoxKind::Application, text, platform::ApplicationName(), BoxButtons::Ok,
            BoxIcon::Exclamation};
}

MessageBoxRequest Owned(const std::string &text, const std::string &caption,
                        BoxIcon icon = BoxIcon::None)
{
    return {BoxKind::Owned, text, caption, BoxButtons::Ok, icon};
}

// The platform's explanation of a failure, as long as the buffer it is read into allows.
MessageBoxRequest ErrorText(const std::string &text)
{
    constexpr std::size_t kErrorTextLength = 160;
    std::string shown = text.empty() ? "Unspecified error" : text;
    if (shown.size() >= kErrorTextLength) {
        std::size_t cut = kErrorTextLength - 1;
        while (cut > 0 && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80)
            --cut; // not inside a UTF-8 sequence
        shown.resize(cut);
    }
    return App(shown);
}

std::string Detail(const platform::Report &report, std::size_t i)
{
    return i < report.details.size() ? report.details[i] : std::string();
}

std::string Catalogue(int id, std::initializer_list<std::string_view> values = {})
{
    return FormatText(CLanguage::Instance().GetString(id), values);
}

const char *const kChooseAnother = " Choose another output file in the Options dialog.";

// Opening and measuring the video.
bool ProbeBoxes(const platform::Report &r, std::vector<MessageBoxRequest> *boxes)
{
    auto error = [&](const std::string &text) { boxes->push_back(Owned(text, "Error")); };
    switch (r.problem) {
    case Problem::ProbeGraph:
        error("Failed to CoCreateInstance");
        return true;
    case Problem::NotReadable: {
        // Where the system refused the file, its reason comes first: no decoder would help.
        if (!Detail(r, 1).empty())
            error("Cannot read \"" + Detail(r, 0) + "\": " + Detail(r, 1) + ".");
        const CLanguage &language = CLanguage::Instance();
        boxes->push_back({BoxKind::Unowned, language.GetString(122),
                          language.GetString(105) + " IDS_MESSAGE_NOT_OPEN_FILE", BoxButtons::Ok,
                          BoxIcon::None});
        return true;
    }
    case Problem::NoSeeking:
        error("Failed to get IID_IMediaSeeking");
        return true;
    case Problem::NoLength:
        error("Failed to GetStopPosition");
        return true;
    case Problem::AviIndexShort:
        error("This AVI file is damaged: its index lists " + Detail(r, 0) + " of the "
              + Detail(r, 1) + " of pictures its data holds, and only what it lists can be read.");
        return true;
    case Problem::NoPicture:
        error("Failed to IID_IBasicVideo");
        return true;
    case Problem::NoVideoDecoder:
        error("Failed to GetVideoSize, please install appropriate video decoder");
        return true;
    case Problem::NoFrameRate:
        error("Failed to get_AvgTimePerFrame");
        return true;
    default:
        return false;
    }
}

// The job's checks before anything runs.
bool JobBoxes(const platform::Report &r, std::vector<MessageBoxRequest> *boxes)
{
    auto app = [&](const std::string &text) { boxes->push_back(App(text)); };
    switch (r.problem) {
    case Problem::NoVideoOpened:
        app(Catalogue(IDS_OPEN_VIDEO_FIRST));
        return true;
    case Problem::TooManyPhotos:
        app("Photos are too many! Please delete some photos in the photo list.");
        return true;
    case Problem::TooManyMusicFiles:
        app("Music files are too many! Please delete some music files in the music list.");
        return true;
    case Problem::MarksReversed:
        app(Catalogue(IDS_MARKS_REVERSED, {Detail(r, 0), Detail(r, 1)}));
        return true;
    case Problem::MarksEqual:
        app(Catalogue(IDS_MARKS_EQUAL, {Detail(r, 0)}));
        return true;
    case Problem::NothingBetweenMarks:
        app(Catalogue(IDS_NOTHING_BETWEEN_MARKS, {Detail(r, 0), Detail(r, 1)}));
        return true;
    case Problem::NoOutputFile:
        app("No output file is set. Choose one in the Options dialog.");
        return true;
    case Problem::OutputIsInput:
        app("The output file " + Detail(r, 0) + " is the video being converted." + kChooseAnother);
        return true;
    case Problem::OutputRefused:
        app(Detail(r, 0) + kChooseAnother);
        return true;
    case Problem::OutputFolderMissing:
        app("The output folder " + Detail(r, 0) + " does not exist." + kChooseAnother);
        return true;
    case Problem::OutputNotWritable:
        app("The output file " + Detail(r, 0) + " cannot be written." + kChooseAnother);
        return true;
    case Problem::OutputNotCreated:
    case Problem::ConversionFailed:
        app(Detail(r, 0));
        return true;
    default:
        return false;
    }
}

// Building and running the conversion.
bool BuildBoxes(const platform::Report &r, std::vector<MessageBoxRequest> *boxes)
{
    auto app = [&](const std::string &text) { boxes->push_back(App(text)); };
    switch (r.problem) {
    case Problem::TimelineNotCreated:
        boxes->push_back(Owned("Could not create timeline", "Error"));
        return true;
    case Problem::TimelineStep:
    case Problem::GraphStep:
        app("Could not " + Detail(r, 0));
        return true;
    case Problem::TransitionTooLong:
        app("Transition time should be less than");
        return true;
    case Problem::RenderEngineNotCreated:
        boxes->push_back(Owned("Could not create pRenderEngine", "Error"));
        return true;
    case Problem::FrontEndFailed:
        app("Could not ConnectFrontEnd");
        if (!Detail(r, 0).empty())
            boxes->push_back(ErrorText(Detail(r, 0)));
        return true;
    case Problem::RenderStreamFailed:
        app("failed pBuilder->RenderStream( NULL, NULL, pPin, NULL, pMux )");
        boxes->push_back(ErrorText(Detail(r, 0)));
        return true;
    case Problem::RunFailed:
        app("can not pControl->Run()!!!");
        boxes->push_back(ErrorText(Detail(r, 0)));
        return true;
    case Problem::SetFiltergraphFailed:
        app("Error pBuilder->SetFiltergraph( pGraph )");
        return true;
    case Problem::ProfileStep:
        boxes->push_back({BoxKind::Report,
                          "Failed to " + Detail(r, 0) + "!  hr=0x" + Detail(r, 1) + "\n",
                          "Video Converter", BoxButtons::Ok, BoxIcon::None});
        return true;
    case Problem::UnsupportedFormat:
        app("Does not support the video format");
        return true;
    case Problem::WriterMissing:
        app(Detail(r, 0));
        return true;
    case Problem::NoCompressorBound:
        boxes->push_back(ErrorText("No compressor is bound: choose one in the Options dialog."));
        return true;
    case Problem::CompressorNotAdded:
        boxes->push_back(
            ErrorText("The compressor \"" + Detail(r, 0) + "\" could not be added to the graph."));
        return true;
    case Problem::CopyRefused:
        boxes->push_back(ErrorText(Detail(r, 0)));
        return true;
    default:
        return false;
    }
}

// Settings, compressors and the files a timeline names.
bool SettingsBoxes(const platform::Report &r, std::vector<MessageBoxRequest> *boxes)
{
    auto app = [&](const std::string &text) { boxes->push_back(App(text)); };
    switch (r.problem) {
    case Problem::NoSystemEnumerator:
        app("Failed to create system enumerator");
        return true;
    case Problem::NoClassEnumerator:
        app("Failed to create class enumerator");
        return true;
    case Problem::CompressorNotBound:
        app("Failed to bind to object");
        return true;
    case Problem::CompressorNotCreated:
        app(Detail(r, 0) == "video" ? "The chosen video compressor could not be created. The "
                                      "video will be written uncompressed."
                                    : "The chosen audio compressor could not be created. The "
                                      "sound will be written uncompressed.");
        return true;
    case Problem::OutputFormatUnknown:
        boxes->push_back(Owned("Does not support the video format", "Error"));
        return true;
    case Problem::NoVideosFolder:
        boxes->push_back(Owned("Can not get My Video directory!", "Error"));
        return true;
    case Problem::MissingMediaFiles: {
        std::string text = "These media files could not be found:\n";
        for (const std::string &path : r.details)
            text += "\n" + path;
        boxes->push_back(Owned(text, "Missing media files", BoxIcon::Exclamation));
        return true;
    }
    default:
        return false;
    }
}

} // namespace

std::vector<MessageBoxRequest> WindowBoxes(const platform::Report &report)
{
    std::vector<MessageBoxRequest> boxes;
    if (!ProbeBoxes(report, &boxes) && !JobBoxes(report, &boxes) && !BuildBoxes(report, &boxes))
        SettingsBoxes(report, &boxes);
    return boxes;
}

WindowReports::WindowReports()
    : m_previous(platform::SetReportListener(this))
{
}

WindowReports::~WindowReports()
{
    platform::SetReportListener(m_previous);
}

void WindowReports::Take(const platform::Report &report)
{
    for (const MessageBoxRequest &box : WindowBoxes(report))
        platform::ShowBox(box);
}

bool AskToReplace(const std::string &path)
{
    const CLanguage &language = CLanguage::Instance();
    return platform::ShowBox({BoxKind::Owned, path + " " + language.GetString(127),
                              language.GetString(108), BoxButtons::YesNo, BoxIcon::Exclamation})
           == platform::BoxAnswer::Yes;
}

bool AskToWriteUncompressed(const std::string &downloadPage)
{
    const CLanguage &language = CLanguage::Instance();
    return platform::ShowBox({BoxKind::Owned, Catalogue(IDS_NO_VIDEO_COMPRESSOR, {downloadPage}),
                              language.GetString(108), BoxButtons::YesNo, BoxIcon::None})
           != platform::BoxAnswer::No;
}

bool AskToCopyFromKeyFrame(REFERENCE_TIME before, int frames)
{
    const CLanguage &language = CLanguage::Instance();
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f", before / 1e7);
    return platform::ShowBox({BoxKind::Owned,
                              Catalogue(IDS_COPY_FROM_KEY_FRAME, {seconds, std::to_string(frames)}),
                              language.GetString(108), BoxButtons::YesNo, BoxIcon::Question})
           == platform::BoxAnswer::Yes;
}

std::optional<std::string> AskToLocate(const std::string &path)
{
    const std::filesystem::path missing(path);
    const auto answer = platform::ShowBox(
        {BoxKind::Owned,
         "The media file \"" + path + "\" could not be found.\nDo you want to locate it?",
         "Missing media file", BoxButtons::YesNo, BoxIcon::Exclamation});
    if (answer != platform::BoxAnswer::Yes)
        return std::nullopt;
    platform::OpenFileRequest request;
    request.title = "Locate " + missing.filename().string();
    request.filters = {{"Any Files (*.*)", "*.*"}};
    std::error_code ec;
    if (std::filesystem::is_directory(missing.parent_path(), ec))
        request.initialFolder = missing.parent_path().string();
    std::optional<std::string> chosen = platform::ChooseOpenFile(request);
    if (!chosen || !std::filesystem::is_regular_file(*chosen, ec))
        return std::nullopt;
    return chosen;
}
