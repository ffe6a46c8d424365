#pragma once

#include "platform/Status.h"

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <Qt>

#include <functional>
#include <string>

class CVcdCore;
class QWidget;
struct ConversionJob;

// The main window's preview and trim controls: the position slider, Play, Pause and Stop, the
// start and end marks and the position display, and the one preview player behind them.
class CTrimControls
{
public:
    enum ControlId {
        IDC_BUTTON_CONVERT = 1000,
        IDC_BUTTON_PLAY = 1058,
        IDC_BUTTON_START_TIME = 1062,
        IDC_BUTTON_END_TIME = 1063,
        IDC_SLIDER_POSITION = 1055,
        IDC_STATIC_POSITION = 1057,
        IDC_STATIC_END_TIME = 1064,
        IDC_STATIC_START_TIME = 1065,
    };
    static constexpr int kSliderRange = 600;

    // control finds a control of the main window by its number; sliderPos is the window's
    // record of the slider's position.
    CTrimControls(QWidget *owner, ConversionJob &state, int &sliderPos,
                  std::function<QWidget *(int)> control);
    ~CTrimControls();

    CTrimControls(const CTrimControls &) = delete;
    CTrimControls &operator=(const CTrimControls &) = delete;

    // The process-wide player; nullptr while no video is open.
    static CVcdCore *Player();

    void ClosePlayer();
    // Opens the player for path; on failure photo item 0 loses its path and no player is left.
    bool OpenPlayer(const std::string &path);

    void OnPlay();
    void OnPause();
    void OnStop();
    void OnSliderReleased();
    // The thumb is dragged: the display shows its position and the picture follows with
    // key-frame seeks, a few a second.
    void OnSliderMoved(int value);
    void OnPositionTick(int sliderTracking);
    void OnStartTime();
    void OnEndTime();
    // The video is closed and the job emptied; the caller disables the controls.
    void OnCloseCommand();

    // "hh:mm:ss" of a position, in whole seconds.
    static QString TimeText(REFERENCE_TIME t);

    // The keys of the preview (main window or preview window focused): Space plays or pauses,
    // Left/Right step a frame, Shift+Left/Right a second, Home/End go to the ends, I and O set
    // the marks at the current frame. Returns true when the key was taken.
    bool OnKey(int key, Qt::KeyboardModifiers modifiers);
    // Frame n starts at n / rate; a position belongs to the frame that started last.
    static long long FrameIndex(REFERENCE_TIME t, double rate);
    static REFERENCE_TIME FrameStart(long long frame, double rate);
    // "hh:mm:ss.mmm, frame n": the exact position, shown in tooltips.
    static QString ExactText(REFERENCE_TIME t, double rate);

private:
    void SetText(int id, const QString &text);
    bool Enabled(int id) const;
    double Rate() const;
    void TogglePlay();
    void StepFrames(int frames);
    void GoTo(REFERENCE_TIME t);
    REFERENCE_TIME LastFrameStart() const;
    // The start of the current frame: while playing, of the position read afresh; held still,
    // of the picture on screen.
    REFERENCE_TIME CurrentFrameStart();
    void ShowExactMarks();

    QWidget *m_owner;
    ConversionJob &m_state;
    int &m_nSliderPos;
    std::function<QWidget *(int)> m_control;
    QTimer m_scrubTimer;
    QElapsedTimer m_scrubClock;
    REFERENCE_TIME m_scrubTarget = 0;
};
