#pragma once

#include "cli/CliMessages.h"
#include "convert/Conversion.h"
#include "convert/CopyConversion.h"
#include "platform/Status.h"
#include "settings/SettingsStore.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>

// The conversion's host in a process without a window: graph events wake the waiting loop.
class ConsoleHost : public ConversionHost
{
public:
    explicit ConsoleHost(const SettingsStore &store)
        : m_store(store)
    {
    }

    const SettingsStore &Settings() const override { return m_store; }
    void PostGraphNotify() override
    {
        std::lock_guard lock(m_mutex);
        m_pending = true;
        m_wake.notify_all();
    }
    void SetConvertCaption(const std::string &) override {}
    void SetStatusText(const std::string &text) override { m_status = text; }
    void StartConversionTimer() override {}
    void StopConversionTimer() override {}
    void EnableConversionControls(bool) override {}
    void OpenDownloadPage(const std::string &address) override
    {
        Note("what is missing can be installed as described at " + address);
    }
    // The command line decides these by its options before anything is asked; nothing is
    // replaced and no file is looked for unless asked.
    bool ReplaceOutput(const std::string &) override { return false; }
    bool WriteUncompressed(const std::string &) override { return true; }
    std::optional<std::string> LocateMissingFile(const std::string &path) override
    {
        KeepMissingInput(path);
        return std::nullopt;
    }
    // A script asked for a copy: it gets the nearest one there is, and is told where it starts.
    bool CopyFromKeyFrame(REFERENCE_TIME before, int frames) override
    {
        Note("the copy " + KeyFrameNote(before, frames));
        return true;
    }

    // Waits until events are posted or the period passes; true when events arrived.
    bool Wait(std::chrono::milliseconds period)
    {
        std::unique_lock lock(m_mutex);
        m_wake.wait_for(lock, period, [this] { return m_pending; });
        const bool pending = m_pending;
        m_pending = false;
        return pending;
    }
    const std::string &Status() const { return m_status; }
    Conversion &Run() { return m_run; }

private:
    const SettingsStore &m_store;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_pending = false;
    std::string m_status;
    Conversion m_run{*this};
};

// Percent, elapsed time and time left on standard error: a bar on a terminal, a line a second
// otherwise, or one JSON object a line for programs that drive the tool.
class Progress
{
public:
    enum class Style { Text, Json, Silent };
    Progress(REFERENCE_TIME length, Style style);

    // position: what has reached the writer. final ends the bar's line.
    void Show(REFERENCE_TIME position, bool final = false);

private:
    struct Sample
    {
        double elapsed;
        REFERENCE_TIME position;
    };
    REFERENCE_TIME m_length;
    Style m_style;
    bool m_tty;
    std::chrono::steady_clock::time_point m_start;
    REFERENCE_TIME m_shown = 0; // never goes back
    std::deque<Sample> m_recent;
};

// The closing JSON line: {"status":..., "output":..., "exit":...}.
void PrintJsonStatus(const char *status, const std::string &output, int exitCode);
