#include "settings/OutputSettings.h"

#include "platform/Report.h"
#include "settings/OutputContainers.h"
#include "settings/SettingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <clocale>
#include <cmath>
#include <sstream>

bool ParseFrameRate(const std::string &text, double *rate)
{
    // A German or French desktop types "12,5": one comma stands for the decimal point.
    std::string number = text;
    const std::size_t comma = number.find(',');
    if (comma != std::string::npos) {
        if (number.find_first_of(",.", comma + 1) != std::string::npos
            || number.find('.') != std::string::npos)
            return false;
        number[comma] = '.';
    }
    std::istringstream in(number);
    in.imbue(std::locale::classic());
    double value = 0;
    in >> std::ws >> value;
    if (in.fail())
        return false;
    // Anything after the number ("25 fps", "12.5x") would otherwise be dropped without a word.
    in >> std::ws;
    if (!in.eof())
        return false;
    *rate = value;
    return true;
}

bool FrameRateForChoice(int choice, const std::string &customText, double *rate)
{
    switch (choice) {
    case FrameRateSource:
    case FrameRate23976:
        *rate = 23.976;
        return true;
    case FrameRate24:
        *rate = 24.0;
        return true;
    case FrameRate25:
        *rate = 25.0;
        return true;
    case FrameRate2997:
        *rate = 29.97;
        return true;
    case FrameRate30:
        *rate = 30.0;
        return true;
    case FrameRateCustom: {
        // Text that is no number reads as 0, as the C runtime's atof would.
        double parsed = 0;
        *rate = ParseFrameRate(customText, &parsed) && std::isfinite(parsed) ? parsed : 0.0;
        return true;
    }
    default:
        return false;
    }
}

bool ApplyFormatExtension(int format, const std::string &path, std::string *result)
{
    const OutputContainer *container = FindContainer(format);
    if (!container) {
        platform::Say(platform::Problem::OutputFormatUnknown);
        *result = path;
        return false;
    }
    // Only the file name's own extension is replaced: a "." in a folder name is not one.
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    std::string stem = path;
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        stem = path.substr(0, dot);
    *result = stem + container->extension;
    return true;
}

namespace {

// Many desktops name a videos folder without making it; the first conversion must not fail on
// that. True when the folder exists afterwards.
bool MakeVideosFolder(const QString &folder)
{
    return QDir().mkpath(folder) && QFileInfo(folder).isWritable();
}

} // namespace

std::string DefaultOutputPath(VideosFolder make)
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (folder.isEmpty()) {
        platform::Say(platform::Problem::NoVideosFolder);
        folder = QDir::homePath();
        if (folder.isEmpty())
            folder = QStringLiteral("/tmp");
    } else if (make == VideosFolder::Make && !MakeVideosFolder(folder)) {
        folder = QDir::homePath();
    }
    return QDir::cleanPath(folder).toStdString() + (folder == "/" ? "" : "/") + "output.wmv";
}

namespace {

// The stored bitrates and profile switch; a value out of range means the default, said through
// replace.
template<typename Replace>
void LoadBitrates(const SettingsStore &store, OutputSettings *s, Replace replace)
{
    constexpr int kDefaultVideoBitrate = 798720;
    const int video = store.ReadInt("Settings", "n_video_bitrate", kDefaultVideoBitrate);
    s->m_nVideoBitrate = static_cast<unsigned int>(video);
    if (video < 0 || s->m_nVideoBitrate < kMinVideoBitrate
        || s->m_nVideoBitrate > kMaxVideoBitrate) {
        replace("n_video_bitrate", video, std::to_string(kDefaultVideoBitrate) + " bit/s");
        s->m_nVideoBitrate = kDefaultVideoBitrate;
    }
    constexpr int kDefaultAudioBitrate = 128000;
    const int audio = store.ReadInt("Settings", "n_audio_bitrate", kDefaultAudioBitrate);
    s->m_nAudioBitrate = static_cast<unsigned int>(audio);
    if (audio <= 0) {
        replace("n_audio_bitrate", audio, std::to_string(kDefaultAudioBitrate) + " bit/s");
        s->m_nAudioBitrate = kDefaultAudioBitrate;
    }
    // 1 names a Windows Media profile file, which this program has none of: every WMV failed.
    s->m_bFileProfile = store.ReadInt("Settings", "b_file_profile", 0);
    if (s->m_bFileProfile != 0) {
        replace("b_file_profile", s->m_bFileProfile, "0 (the bitrates of the options)");
        s->m_bFileProfile = 0;
    }
}

} // namespace

void LoadOutputSettings(const SettingsStore &store, OutputSettings *s,
                        std::vector<std::string> *replaced, VideosFolder make)
{
    auto replace = [replaced](const char *key, long long stored, const std::string &used) {
        if (replaced)
            replaced->push_back("the stored " + std::string(key) + "=" + std::to_string(stored)
                                + " is out of range; using " + used);
    };
    // A format code outside the table is kept: the window says it does not support it.
    s->m_nOutputFormat = store.ReadInt("Settings", "nOuptputFormat", OutputFormatWmv);

    std::string path = store.ReadString("Settings", "OutputName", std::string());
    if (path.empty() || path.size() > kMaxOutputPathLength) {
        path = DefaultOutputPath(make);
    } else {
        // A stored path in the videos folder, which a desktop may have dropped since.
        const QString folder = QFileInfo(QString::fromStdString(path)).absolutePath();
        const QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
        if (make == VideosFolder::Make && !videos.isEmpty() && folder == QDir::cleanPath(videos)
            && !QFileInfo::exists(folder))
            MakeVideosFolder(folder);
    }
    ApplyFormatExtension(s->m_nOutputFormat, path, &s->m_szOutputFile);

    s->m_nOutputWidth = store.ReadInt("Settings", "OutputWidth", 0);
    s->m_nOutputHeight = store.ReadInt("Settings", "OutputHigh", 0);

    // A fresh profile keeps the source's rate: a fixed default would drop or repeat frames.
    s->m_nFrameRateIndex = store.ReadInt("Settings", "OutputFrameRateIndex", FrameRateSource);
    std::string custom;
    if (s->m_nFrameRateIndex == FrameRateCustom)
        custom = store.ReadString("Settings", "OutputFrameRate", "23.976");
    if (!FrameRateForChoice(s->m_nFrameRateIndex, custom, &s->m_dOutputFrameRate)) {
        s->m_nFrameRateIndex = FrameRate23976;
        s->m_dOutputFrameRate = 23.976;
    }

    LoadBitrates(store, s, replace);
    s->m_bUseVideoCompressor = kCompressorFromStore;
    s->m_bUseAudioCompressor = kCompressorFromStore;
    s->m_nStretchMode = ResizePreserveAspectRatio;
}

void SaveOutputSettings(SettingsStore &store, const OutputSettings &s,
                        const std::string &frameRateText)
{
    store.WriteInt("Settings", "OutputFrameRateIndex", s.m_nFrameRateIndex);
    store.WriteString("Settings", "OutputFrameRate",
                      s.m_nFrameRateIndex != FrameRateSource ? frameRateText
                                                             : std::string("23.976"));
    store.WriteString("Settings", "OutputName", s.m_szOutputFile);
    store.WriteInt("Settings", "OutputWidth", s.m_nOutputWidth);
    store.WriteInt("Settings", "OutputHigh", s.m_nOutputHeight);
    store.WriteInt("Settings", "n_video_bitrate", static_cast<int>(s.m_nVideoBitrate));
    store.WriteInt("Settings", "n_audio_bitrate", static_cast<int>(s.m_nAudioBitrate));
    store.WriteInt("Settings", "nOuptputFormat", s.m_nOutputFormat);
}
