#include "convert/ConversionDriver.h"

#include "convert/CopyConversion.h"
#include "convert/OutputCheck.h"
#include "convert/TimelineBuilder.h"
#include "localisation/BuiltinTexts.h"
#include "localisation/Language.h"
#include "media/core/MediaPlatform.h"
#include "platform/Report.h"
#include "platform/TimeText.h"
#include "settings/CompressorChoices.h"
#include "settings/OutputContainers.h"
#include "settings/SettingsStore.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QSettings>
#include <QStandardPaths>

#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

const char *const kDivxDownloadPage = "https://www.divx.com/en/software/download/";

Q_LOGGING_CATEGORY(lcConvert, "clipwright.convert", QtWarningMsg)

namespace {

// Something is at the path (a regular file, once CheckOutputPath has passed). Never opened:
// opening a pipe would wait for a writer.
bool FileExists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// "00:00:15", or "00:00:04.200" for a mark between whole seconds.
std::string MarkText(REFERENCE_TIME t)
{
    std::string text = platform::HmsText(t / UNITS);
    if (const REFERENCE_TIME rest = t % UNITS; rest > 0) {
        char millis[8];
        std::snprintf(millis, sizeof millis, ".%03d", static_cast<int>(rest / 10000));
        text += millis;
    }
    return text;
}

// Said after the outcome: the output holds less than the source.
std::string LeftOut(const Conversion &conversion)
{
    return conversion.m_leftOut.empty() ? std::string() : "     " + conversion.m_leftOut;
}

// The status line and, for a failure, the same text in a message box.
void ShowOutcome(ConversionJob &dlg, Conversion &conversion)
{
    const ConversionResult &r = conversion.m_result;
    ConversionHost &host = conversion.Host();
    switch (r.kind) {
    case ConversionResult::Kind::Completed:
        host.SetStatusText(DoneText(dlg) + (r.note.empty() ? "" : "     Note: " + r.note + ".")
                           + LeftOut(conversion));
        break;
    case ConversionResult::Kind::Stopped:
        host.SetStatusText(StoppedText(dlg, r.written, r.length) + LeftOut(conversion));
        break;
    case ConversionResult::Kind::Empty:
        host.SetStatusText(
            FormatText(CLanguage::Instance().GetString(IDS_STOPPED_EMPTY), {dlg.m_szOutputFile}));
        break;
    case ConversionResult::Kind::Failed:
    case ConversionResult::Kind::None:
        host.SetStatusText(r.message);
        platform::Say(platform::Problem::ConversionFailed, {r.message, r.graphError});
        break;
    }
}

// Checks what the graph wrote and puts it in place, or removes it; fills the result.
void SettleOutput(ConversionJob &dlg, Conversion &conversion, HRESULT stopResult,
                  REFERENCE_TIME stoppedAt, const OutputExpectation &section)
{
    ConversionResult &r = conversion.m_result;
    r = ConversionResult{};
    r.length = section.length;
    std::unique_ptr<OutputFile> output = std::move(conversion.m_output);
    const std::string path = output ? output->TemporaryPath() : dlg.m_szOutputFile;
    const bool stopped = stoppedAt >= 0;
    auto fail = [&](const std::string &message) {
        r.kind = ConversionResult::Kind::Failed;
        r.message = message;
        if (output)
            output->Discard();
    };
    if (stopResult == E_FAIL)
        return fail("The writer did not finish the file in time: " + dlg.m_szOutputFile
                    + " was not changed.");
    if (stopResult != S_OK) {
        r.graphError = conversion.m_lastError.empty() ? std::string("the graph did not run.")
                                                      : conversion.m_lastError;
        return fail("The conversion stopped because of an error: " + r.graphError);
    }
    OutputExpectation expected = section;
    if (stopped)
        expected.length = std::min(stoppedAt, section.length);
    const OutputCheckResult check
        = stopped && expected.length == 0 ? OutputCheckResult{} : CheckWrittenFile(path, expected);
    qCInfo(lcConvert,
           "read back %s (%s): readable %d, matches %d, %lld frames, written %s; "
           "differences: %s",
           path.c_str(), stopped ? "stopped" : "whole", check.readable, check.matches, check.frames,
           check.figures.c_str(), check.differences.c_str());
    if (stopped && (!check.readable || check.frames == 0)) {
        // Nothing to keep: a container without a picture is no file for anyone.
        r.kind = ConversionResult::Kind::Empty;
        if (output)
            output->Discard();
        return;
    }
    if (!check.readable)
        return fail("The written file cannot be read back (" + check.differences
                    + "): " + dlg.m_szOutputFile + " was not changed.");
    r.written = check.written;
    if (!check.matches)
        return fail("The written file does not match the conversion: " + check.differences
                    + " (written: " + check.figures + "). " + dlg.m_szOutputFile
                    + " was not changed.");
    std::string error;
    if (output && !output->Commit(&error))
        return fail(error);
    r.kind = stopped ? ConversionResult::Kind::Stopped : ConversionResult::Kind::Completed;
}

bool SameFile(const std::string &a, const std::string &b)
{
    std::error_code ec;
    if (std::filesystem::exists(a, ec) && std::filesystem::exists(b, ec))
        return std::filesystem::equivalent(a, b, ec);
    return std::filesystem::weakly_canonical(a, ec) == std::filesystem::weakly_canonical(b, ec);
}

} // namespace

std::string ElapsedTimeText(int seconds)
{
    return FormatText(CLanguage::Instance().GetString(IDS_ELAPSED_TIME),
                      {platform::HmsText(seconds)});
}

std::string DoneText(const ConversionJob &dlg)
{
    const CLanguage &language = CLanguage::Instance();
    return language.GetString(163) + ". " + language.GetString(115) + " " + dlg.m_szOutputFile
           + "     " + language.GetString(116) + " " + std::to_string(dlg.m_nOutputWidth) + "*"
           + std::to_string(dlg.m_nOutputHeight);
}

std::string StoppedText(const ConversionJob &dlg, REFERENCE_TIME written, REFERENCE_TIME length)
{
    const CLanguage &language = CLanguage::Instance();
    return FormatText(language.GetString(IDS_STOPPED_WRITTEN),
                      {SecondsText(written), SecondsText(length)})
           + " " + language.GetString(115) + " " + dlg.m_szOutputFile + "     "
           + language.GetString(116) + " " + std::to_string(dlg.m_nOutputWidth) + "*"
           + std::to_string(dlg.m_nOutputHeight);
}

bool CheckMarks(const ConversionJob &dlg)
{
    if (dlg.m_llStartTime > dlg.m_llEndTime) {
        platform::Say(platform::Problem::MarksReversed,
                      {MarkText(dlg.m_llStartTime), MarkText(dlg.m_llEndTime)});
        return false;
    }
    if (dlg.m_llStartTime == dlg.m_llEndTime) {
        platform::Say(platform::Problem::MarksEqual, {MarkText(dlg.m_llStartTime)});
        return false;
    }
    return true;
}

bool PrepareOutputFile(Conversion &conversion, const std::string &target, bool replace)
{
    std::string error;
    conversion.m_output = OutputFile::Create(target, replace, &error);
    if (!conversion.m_output)
        platform::Say(platform::Problem::OutputNotCreated, {error});
    return conversion.m_output != nullptr;
}

bool StartConversion(ConversionJob &dlg, Conversion &conversion)
{
    conversion.m_lastError.clear();
    conversion.m_result = ConversionResult{};
    conversion.m_copied.reset();
    // The Windows Media writer encodes with its profile: a copy chosen for another container
    // stays for that one.
    const bool copying = dlg.CopiesAnything() && !IsWindowsMediaFormat(dlg.m_nOutputFormat);
    // A file without sound gets no sound track: an audio group would write silence. A copy
    // knows the source's streams already, without decoding anything.
    const bool withSound
        = dlg.m_nMusicCount > 0
          && (copying && dlg.m_nPhotoCount > 0 && dlg.m_szMusicFile[0] == dlg.m_szPhotoFile[0]
                  ? !dlg.SourceStreams().audioCaps.empty()
                  : media::FileHasSound(dlg.m_szMusicFile[0]));
    if (copying) {
        conversion.m_leftOut.clear();
        if (!StartCopy(dlg, conversion, withSound))
            conversion.m_output.reset(); // removes the temporary; the output is as it was
        return dlg.m_bConverting == 1;
    }
    ConversionHost &host = conversion.Host();
    BuildTimeline(dlg, conversion.pTimeline, withSound,
                  [&host](const std::string &path) { return host.LocateMissingFile(path); });
    // A file the user was told is missing, and did not locate, would only fail the render
    // again, in the engine's words: that one message is enough.
    if (conversion.pTimeline && !conversion.pTimeline->MissingSources().empty())
        conversion.pTimeline.reset();
    if (conversion.pTimeline && !HasPicture(*conversion.pTimeline)) {
        // A timeline without a clip would run for ever without writing a frame.
        platform::Say(platform::Problem::NothingBetweenMarks,
                      {MarkText(dlg.m_llStartTime), MarkText(dlg.m_llEndTime)});
        conversion.pTimeline.reset();
    }
    if (conversion.pTimeline) {
        qCInfo(lcConvert,
               "converting %s from %.3f s to %.3f s into %s (temporary %s): %s, %dx%d, %.3f fps, "
               "resize mode %d, video %s, sound %s%s",
               dlg.m_szPhotoFile[0].c_str(), dlg.m_llStartTime / 1e7, dlg.m_llEndTime / 1e7,
               dlg.m_szOutputFile.c_str(),
               conversion.m_output ? conversion.m_output->TemporaryPath().c_str() : "-",
               FormatName(dlg.m_nOutputFormat), dlg.m_nOutputWidth, dlg.m_nOutputHeight,
               dlg.m_dOutputFrameRate, dlg.m_nStretchMode, ConversionVideoEncoder(dlg).c_str(),
               withSound ? "kept" : "none",
               IsWindowsMediaFormat(dlg.m_nOutputFormat) ? " (the Windows Media profile's encoders)"
                                                         : "");
        StartRender(dlg, conversion, conversion.pTimeline);
    }
    if (dlg.m_bConverting != 1) {
        conversion.m_output.reset(); // removes the temporary; the output is as it was
        return false;
    }
    return true;
}

bool CheckOutputPath(const ConversionJob &dlg)
{
    const std::string &out = dlg.m_szOutputFile;
    if (out.empty()) {
        platform::Say(platform::Problem::NoOutputFile);
        return false;
    }
    for (int i = 0; i < dlg.m_nPhotoCount && i < kMaxPhotoItems; ++i) {
        if (SameFile(out, dlg.m_szPhotoFile[i])) {
            platform::Say(platform::Problem::OutputIsInput, {out});
            return false;
        }
    }
    if (const std::string refusal = OutputFile::Refusal(out); !refusal.empty()) {
        platform::Say(platform::Problem::OutputRefused, {refusal});
        return false;
    }
    const QFileInfo info(QString::fromStdString(out));
    const QString folder = info.absolutePath();
    const QFileInfo folderInfo(folder);
    if (!folderInfo.exists() || !folderInfo.isDir()) {
        platform::Say(platform::Problem::OutputFolderMissing, {folder.toStdString()});
        return false;
    }
    if (access(folder.toLocal8Bit().constData(), W_OK | X_OK) != 0
        || (info.exists() && info.isDir())) {
        platform::Say(platform::Problem::OutputNotWritable, {out});
        return false;
    }
    return true;
}

void SuppressCodecFeedback()
{
    // The codec keeps its settings in a file of its vendor's name; absent means not installed.
    const QString path = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                         + QStringLiteral("/DivXNetworks/DivX4Windows.conf");
    if (!QFileInfo::exists(path))
        return;
    QSettings key(path, QSettings::IniFormat);
    const QString name = QStringLiteral("Disable feedback");
    if (!key.contains(name))
        return;
    const QVariant value = key.value(name);
    if (value.typeId() == QMetaType::QByteArray) {
        QByteArray data = value.toByteArray();
        if (data.isEmpty())
            return;
        data[0] = 1;
        key.setValue(name, data);
    } else if (value.canConvert<int>()) {
        key.setValue(name, 1);
    } else {
        return;
    }
    key.sync();
}

void OnConvert(ConversionJob &dlg, Conversion &conversion)
{
    if (dlg.m_nPhotoCount == 0) {
        platform::Say(platform::Problem::NoVideoOpened);
        return;
    }
    if (dlg.m_nPhotoCount > kMaxPhotoItems) {
        platform::Say(platform::Problem::TooManyPhotos);
        return;
    }
    if (dlg.m_nMusicCount > kMaxMusicItems) {
        platform::Say(platform::Problem::TooManyMusicFiles);
        return;
    }
    if (dlg.m_bConverting != 0) {
        FinishConversion(dlg, conversion);
        return;
    }
    if (!CheckMarks(dlg) || !CheckOutputPath(dlg))
        return;
    // Yes replaces the file only once the new one is complete: until then it stays as it is.
    bool replace = false;
    if (FileExists(dlg.m_szOutputFile)) {
        if (!conversion.Host().ReplaceOutput(dlg.m_szOutputFile))
            return;
        replace = true;
    }
    if (!IsWindowsMediaFormat(dlg.m_nOutputFormat)) {
        // Without the options confirmed in this run, the compressors they show are the ones used.
        const SettingsStore &store = conversion.Host().Settings();
        for (CompressorCategory category : {CompressorCategory::Video, CompressorCategory::Audio}) {
            std::string stored;
            const bool storedCopy = StoredCompressor(category, store, &stored)
                                    && stored == kCopyFactory && dlg.CopyOffered(category);
            BindStoredCompressor(category, store, &dlg, storedCopy);
        }
        if (ConversionVideoEncoder(dlg) == "raw") {
            if (!conversion.Host().WriteUncompressed(kDivxDownloadPage))
                return;
        }
        SuppressCodecFeedback();
    }
    // Encoders of 4:2:0 pictures take even sides only: an odd size (a source's own) grows by
    // one, and "Done" says the size written.
    if (FrameSizeRuleOf(ConversionVideoEncoder(dlg)).even) {
        dlg.m_nOutputWidth += dlg.m_nOutputWidth % 2;
        dlg.m_nOutputHeight += dlg.m_nOutputHeight % 2;
    }
    if (PrepareOutputFile(conversion, dlg.m_szOutputFile, replace))
        StartConversion(dlg, conversion);
}

void OnConversionTimer(ConversionJob &dlg, ConversionHost &host)
{
    dlg.m_nElapsedSeconds += 1;
    host.SetStatusText(ElapsedTimeText(dlg.m_nElapsedSeconds));
}

long OnGraphNotify(ConversionJob &dlg, Conversion &conversion)
{
    long code = 0;
    std::intptr_t p1 = 0, p2 = 0;
    while (conversion.pControl && SUCCEEDED(conversion.pControl->GetEvent(&code, &p1, &p2))) {
        if (code == media::EC_COMPLETE) {
            FinishConversion(dlg, conversion);
        } else if (code == media::EC_ERRORABORT) {
            // A failing graph writes nothing more: end the conversion and say what failed.
            conversion.m_lastError = conversion.pControl->LastError();
            FinishConversion(dlg, conversion);
        }
    }
    return 0;
}

HRESULT FinishConversion(ConversionJob &dlg, Conversion &conversion)
{
    ConversionHost &host = conversion.Host();
    host.StopConversionTimer();
    HRESULT hr = S_FALSE;
    REFERENCE_TIME stoppedAt = -1;
    OutputExpectation section;
    std::string note;
    if (conversion.pControl) {
        hr = conversion.pControl->Stop();
        note = conversion.pControl->SourceNote();
        stoppedAt = conversion.pControl->StoppedLength();
        if (hr == S_FALSE && conversion.m_lastError.empty())
            conversion.m_lastError = conversion.pControl->LastError();
        // Group 0 is the picture, group 1 the sound.
        const std::vector<REFERENCE_TIME> ends = conversion.pControl->SourceEnds();
        section.videoSourceEnd = ends.size() > 0 ? ends[0] : -1;
        section.soundSourceEnd = ends.size() > 1 ? ends[1] : -1;
    }
    if (conversion.m_output)
        conversion.m_output->StartWriteback();
    section.length = dlg.MarkedSection().length;
    media::FrameRateFraction(dlg.m_dOutputFrameRate, &section.rateNum, &section.rateDen);
    long groups = 0;
    if (conversion.pTimeline)
        conversion.pTimeline->GetGroupCount(&groups);
    section.sound = groups > 1;
    if (conversion.m_copied) {
        section.length = conversion.m_copied->length;
        section.sound = conversion.m_copied->sound;
        conversion.m_copied.reset();
    }
    conversion.Release();
    dlg.m_bConverting = 0;
    host.SetConvertCaption(CLanguage::Instance().GetDialogString(125));
    dlg.m_nElapsedSeconds = 0;
    SettleOutput(dlg, conversion, hr, stoppedAt, section);
    if (conversion.m_result.kind == ConversionResult::Kind::Completed)
        conversion.m_result.note = note;
    UnlockConversionControls(host);
    ShowOutcome(dlg, conversion);
    return hr;
}
