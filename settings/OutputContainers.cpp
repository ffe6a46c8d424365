#include "settings/OutputContainers.h"

#include <algorithm>
#include <cctype>

const char *const kMatroskaMp4DownloadPage
    = "https://gstreamer.freedesktop.org/documentation/installing/on-linux.html";
const char *const kDsmDownloadPage = "https://sourceforge.net/projects/guliverkli2/files/";

namespace {

const std::vector<OutputContainer> &Table()
{
    // clang-format off
    static const std::vector<OutputContainer> kTable = {
        {OutputFormatAvi, "AVI", ".avi", "avimux", false, true,
         "Audio Video Interleave file(*.avi)", "*.avi",
         {"cwenc_mpeg4", "x264enc"}, {"", "lamemp3enc"},
         "Error pBuilder->SetOutputFileName(&guid, Filename, &pMux, &pWriter )", nullptr,
         false, false},
        {OutputFormatWmv, "WMV", ".wmv", "avmux_asf", true, true,
         "Windows Media Video file (*.wmv)", "*.wmv", {}, {},
         "Error pBuilder->SetOutputFileName(&guid, Filename, &pMux, &pWriter )", nullptr,
         false, false},
        {OutputFormatMkv, "MKV", ".mkv", "matroskamux", false, true,
         "Matroska video file(*.mkv)", "*.mkv",
         {"x264enc", "vp9enc", "vp8enc"}, {"vorbisenc", "opusenc"},
         "Please install MKV codec)", kMatroskaMp4DownloadPage, false, false},
        {OutputFormatAsf, "ASF", ".asf", "avmux_asf", true, true,
         "Advanced Systems Format file(*.asf)", "*.asf", {}, {},
         "Error pBuilder->SetOutputFileName(&guid, Filename, &pMux, &pWriter )", nullptr,
         false, false},
        {OutputFormatMp4, "MP4", ".mp4", "mp4mux", false, true,
         "MPEG-4 file(*.mp4)", "*.mp4",
         {"x264enc"}, {"voaacenc", "avenc_aac", "lamemp3enc"},
         "Please install MKV codec)", kMatroskaMp4DownloadPage, false, true},
        // No DSM writer exists here: the conversion says what to install.
        {OutputFormatDsm, "DSM", ".dsm", "", false, false,
         "DSM file(*.dsm)", "*.dsm", {}, {},
         "Please install DSM Splitter/Muxer codec)", kDsmDownloadPage, false, false},
        // Our own Ogg writer (libogg): it writes every packet, the streams' last ones too.
        {OutputFormatOgm, "Ogg", ".ogm", "cwmux_ogg", false, true,
         "Ogg Media File(*.ogm)", "*.ogm",
         {"theoraenc"}, {"vorbisenc", "opusenc"},
         "The Ogg writer could not be started (it is built into Clipwright and needs libogg)",
         nullptr, true, false},
    };
    // clang-format on
    return kTable;
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

} // namespace

const OutputContainer *FindContainer(int format)
{
    for (const OutputContainer &row : Table())
        if (row.code == format)
            return &row;
    return nullptr;
}

const std::vector<int> &OfferedFormats()
{
    // Windows Media keeps the first two places; the others follow in the order users ask for.
    static const std::vector<int> kOrder = {OutputFormatWmv, OutputFormatAsf, OutputFormatMp4,
                                            OutputFormatMkv, OutputFormatAvi, OutputFormatOgm};
    return kOrder;
}

int FormatOfExtension(const std::string &path)
{
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return -1;
    const std::string extension = Lower(path.substr(dot));
    for (const OutputContainer &row : Table())
        if (extension == row.extension)
            return row.code;
    return extension == ".ogg" ? OutputFormatOgm : -1;
}

bool IsWindowsMediaFormat(int format)
{
    const OutputContainer *row = FindContainer(format);
    return row && row->windowsMedia;
}

const char *FormatName(int format)
{
    const OutputContainer *row = FindContainer(format);
    return row ? row->name : "this format";
}
