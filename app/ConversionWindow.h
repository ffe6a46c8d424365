#pragma once

#include "convert/Conversion.h"
#include "platform/GraphNotify.h"

#include <QObject>
#include <QTimer>

class CVinteloDlg;

// The main window as the conversion sees it: caption, status line, timer 1112, the four
// controls locked while converting, the filter properties dialog, download pages and the
// questions its boxes ask.
class ConversionWindow : public QObject, public ConversionHost
{
    Q_OBJECT
public:
    explicit ConversionWindow(CVinteloDlg *dialog);

    const SettingsStore &Settings() const override;
    void PostGraphNotify() override;
    void SetConvertCaption(const std::string &text) override;
    void SetStatusText(const std::string &text) override;
    void StartConversionTimer() override;
    void StopConversionTimer() override;
    void EnableConversionControls(bool enable) override;
    void ShowFilterProperties(const media::Filter &graph) override;
    void OpenDownloadPage(const std::string &address) override;
    bool ReplaceOutput(const std::string &path) override;
    bool WriteUncompressed(const std::string &downloadPage) override;
    std::optional<std::string> LocateMissingFile(const std::string &path) override;
    bool CopyFromKeyFrame(REFERENCE_TIME before, int frames) override;

    bool TimerRunning() const { return m_timer.isActive(); }
    // The window's conversion: its timeline, engine and running graph.
    Conversion &Run() { return m_run; }

private:
    // Percentage and time left in the title, the written part on the slider.
    void ShowProgress();

    CVinteloDlg *m_dialog;
    QString m_title;
    bool m_sliderWasEnabled = false;
    QTimer m_timer{this};
    CGraphNotifier m_notifier;
    Conversion m_run{*this};
};
