#pragma once

// The engine driven without a window: a front end that records what the conversion tells it and
// answers its questions from a queue, and a job opened the way the window opens a video.
#include "convert/ConversionDriver.h"
#include "job/ConversionJob.h"
#include "job/MediaList.h"
#include "job/MediaProbe.h"
#include "media/core/FilterInternal.h"
#include "media/core/MediaPlatform.h"
#include "settings/OutputSettings.h"
#include "settings/SettingsStore.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class RecordingHost : public ConversionHost
{
public:
    enum class Question { Replace, Uncompressed, Locate, KeyFrameCopy };
    struct Asked
    {
        Question question;
        std::string subject; // the path, or the download page offered
    };

    // What a front end shows, as the engine last set it; a fresh front end shows Convert with
    // its controls usable.
    std::string status;
    std::vector<std::string> statuses;
    std::string caption = "Convert";
    bool timerRunning = false;
    bool controlsEnabled = true;
    std::vector<std::string> downloadPages;
    int filterPropertiesShown = 0;
    std::vector<Asked> asked;

    // The answers, in the order the questions come: Yes/No for Replace and Uncompressed, a
    // location (or none) for Locate. A question without an answer fails the test and gets No.
    std::deque<bool> answers;
    std::deque<std::optional<std::string>> locations;

    explicit RecordingHost(const SettingsStore &settings)
        : m_settings(settings)
    {
    }
    const SettingsStore &Settings() const override { return m_settings; }

    // Streaming thread: only notes that events wait.
    void PostGraphNotify() override
    {
        m_pending = true;
        m_wake.notify_one();
    }
    void SetConvertCaption(const std::string &text) override { caption = text; }
    void SetStatusText(const std::string &text) override
    {
        status = text;
        statuses.push_back(text);
    }
    void StartConversionTimer() override { timerRunning = true; }
    void StopConversionTimer() override { timerRunning = false; }
    void EnableConversionControls(bool enable) override { controlsEnabled = enable; }
    void ShowFilterProperties(const media::Filter &) override { ++filterPropertiesShown; }
    void OpenDownloadPage(const std::string &address) override { downloadPages.push_back(address); }
    bool ReplaceOutput(const std::string &path) override { return YesNo(Question::Replace, path); }
    bool CopyFromKeyFrame(REFERENCE_TIME before, int frames) override
    {
        return YesNo(Question::KeyFrameCopy,
                     std::to_string(before) + " before, " + std::to_string(frames) + " frames");
    }
    bool WriteUncompressed(const std::string &downloadPage) override
    {
        return YesNo(Question::Uncompressed, downloadPage);
    }
    std::optional<std::string> LocateMissingFile(const std::string &path) override
    {
        asked.push_back({Question::Locate, path});
        if (locations.empty()) {
            ADD_FAILURE() << "unexpected question: where is " << path;
            return std::nullopt;
        }
        std::optional<std::string> location = locations.front();
        locations.pop_front();
        return location;
    }

    // What was asked, in order: "replace PATH", "uncompressed PAGE", "locate PATH".
    std::vector<std::string> Questions() const
    {
        std::vector<std::string> texts;
        for (const Asked &a : asked)
            texts.push_back((a.question == Question::Replace        ? "replace "
                             : a.question == Question::Uncompressed ? "uncompressed "
                             : a.question == Question::KeyFrameCopy ? "key frame "
                                                                    : "locate ")
                            + a.subject);
        return texts;
    }

    // A front end that shows Convert, runs no timer and has its controls usable again.
    bool Usable(const ConversionJob &job) const
    {
        return job.m_bConverting == 0 && caption == "Convert" && controlsEnabled && !timerRunning;
    }

    // Runs the graph's events on this thread, as the window's event loop does, until done()
    // holds; false when it still does not after the time given.
    bool WaitFor(ConversionJob &job, Conversion &conversion, const std::function<bool()> &done,
                 int milliseconds)
    {
        const auto until
            = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (!done()) {
            if (std::chrono::steady_clock::now() >= until)
                return false;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait_for(lock, std::chrono::milliseconds(20),
                                [this] { return m_pending.load(); });
            }
            if (m_pending.exchange(false))
                OnGraphNotify(job, conversion);
            QCoreApplication::processEvents();
        }
        return true;
    }
    bool WaitIdle(ConversionJob &job, Conversion &conversion, int milliseconds)
    {
        return WaitFor(
            job, conversion, [&job] { return job.m_bConverting == 0; }, milliseconds);
    }

private:
    bool YesNo(Question question, const std::string &subject)
    {
        asked.push_back({question, subject});
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected question about " << subject;
            return false;
        }
        const bool yes = answers.front();
        answers.pop_front();
        return yes;
    }

    const SettingsStore &m_settings;
    std::atomic<bool> m_pending{false};
    std::mutex m_mutex;
    std::condition_variable m_wake;
};

// The job as the window holds it before a video is opened: the stored format, compressors left
// to the store, item defaults and the output settings in start-up order.
inline void LoadStartingJob(ConversionJob &job, const SettingsStore &store)
{
    ASSERT_TRUE(media::InitializeMediaPlatform());
    job.m_nOutputFormat = store.ReadInt("Settings", "nOuptputFormat", OutputFormatWmv);
    job.m_bUseVideoCompressor = kCompressorFromStore;
    job.m_bUseAudioCompressor = kCompressorFromStore;
    job.LoadItemDefaults(store);
    LoadOutputSettings(store, &job);
}

// Opens a video into the job as the window's Open Video does: the probe, the source's facts, the
// whole video marked, and the source's rate when the rate choice is the source's.
inline bool OpenVideo(ConversionJob &job, const std::string &path)
{
    job.m_nPhotoCount = 0;
    job.m_nMusicCount = 0;
    job.m_szPhotoFile[0] = path;
    MediaProbeResult probe;
    const bool probed = RunMediaProbe(path, &probe);
    job.TakeSourceFacts(probe);
    if (!probed)
        return false;
    job.m_nDefaultPhotoDuration = static_cast<int>(probe.stopPosition / UNITS);
    job.SetOpenedVideo(path, probe.stopPosition, DurationProbe(path));
    if (job.m_nFrameRateIndex == FrameRateSource)
        job.m_dOutputFrameRate = job.m_dSourceFrameRate;
    return true;
}

// One conversion's test: fresh settings the front end runs with, recorders, the English
// built-in texts, a front end that records, its conversion and the job as the window starts it.
struct EngineTestEnvironment
{
    QTemporaryDir dir;
    SettingsStore store{(dir.path() + "/clipwright.conf").toStdString()};
    platform::MessageBoxRecorder boxes;
    platform::ChooserRecorder choosers;
    platform::ShellRecorder shell;
    RecordingHost host{store};
    Conversion conversion{host};
    ConversionJob job;

    EngineTestEnvironment()
    {
        CLanguage::Instance().Initialize(dir.path().toStdString(), "english");
        LoadStartingJob(job, store);
    }
    // The job as a window started now would hold it: after the test has written the store.
    void StartAgain()
    {
        job = ConversionJob();
        LoadStartingJob(job, store);
    }

    // Opens file and points the output at output in format, at 25 frames a second, as the
    // tests' window did after Open Video.
    void Open(const std::string &file, const std::string &output, int format)
    {
        ASSERT_TRUE(OpenVideo(job, file)) << file;
        ASSERT_EQ(job.m_nPhotoCount, 1);
        job.m_szOutputFile = output;
        job.m_nOutputFormat = format;
        job.m_dOutputFrameRate = 25;
        boxes.Clear();
    }
    void Convert() { OnConvert(job, conversion); }
    bool WaitIdle(int milliseconds) { return host.WaitIdle(job, conversion, milliseconds); }
    bool WaitFor(const std::function<bool()> &done, int milliseconds)
    {
        return host.WaitFor(job, conversion, done, milliseconds);
    }
    bool Usable() const { return host.Usable(job); }
    // The running graph fails as its file sink does on a full disk.
    void FailAsOnAFullDisk()
    {
        GstElement *graph = media::ElementOf(conversion.pControl->Graph());
        GST_ELEMENT_ERROR(graph, RESOURCE, NO_SPACE_LEFT, ("No space left on the device."),
                          (nullptr));
    }
};
