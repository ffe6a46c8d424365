#pragma once

#include <string>
#include <vector>

// Container codes as stored in "Settings"/"nOuptputFormat".
enum OutputFormat {
    OutputFormatAvi = 0,
    OutputFormatWmv = 1,
    OutputFormatMkv = 2,
    OutputFormatAsf = 3,
    OutputFormatMp4 = 4,
    OutputFormatDsm = 5,
    OutputFormatOgm = 6,
};

// The containers a conversion can write, one row per stored format code: what the dialog, the
// conversion, the command line and the file choosers all read.
struct OutputContainer
{
    int code;                      // as stored in "Settings"/"nOuptputFormat"
    const char *name;              // as the format list and messages show it
    const char *extension;         // with its dot
    const char *muxer;             // the writer's element ("" when none is installed here)
    bool windowsMedia;             // written by the Windows Media writer with its own encoders
    bool offered;                  // in the options dialog's format list
    const char *filterDescription; // the save dialog's filter
    const char *filterPattern;
    // Encoders (factory names) a user of this container expects, most usual first. The
    // compressor lists put them on top and pick the first installed one by default; an empty
    // name stands for no compressor (AVI keeps its sound as PCM unless MP3 is chosen).
    std::vector<std::string> usualVideo;
    std::vector<std::string> usualAudio;
    // Said when the writer is missing, and where to get it (nullptr: nowhere to send the user).
    const char *missingWriterText;
    const char *downloadPage;
    // The writer takes no uncompressed streams: without a chosen compressor its usual encoders
    // are used.
    bool encodesRawStreams;
    // The writer's settings are shown to the user before the conversion runs.
    bool showsWriterSettings;
};

extern const char *const kMatroskaMp4DownloadPage;
extern const char *const kDsmDownloadPage;

// The row of a format code, or nullptr for a code outside the table.
const OutputContainer *FindContainer(int format);
// The codes the options dialog lists, in their order (Windows Media first).
const std::vector<int> &OfferedFormats();
// The format whose extension the path's file name ends with (any case), or -1.
int FormatOfExtension(const std::string &path);
bool IsWindowsMediaFormat(int format);
// "MP4", or "this format" for an unknown code.
const char *FormatName(int format);
