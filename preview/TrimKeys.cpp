// The preview's keys: frame steps, jumps and marks at the exact frame.
#include "preview/TrimControls.h"

#include "job/ConversionJob.h"
#include "localisation/BuiltinTexts.h"
#include "localisation/Language.h"
#include "preview/VcdCore.h"
#include "preview/VideoWidget.h"

#include <QLabel>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {

constexpr REFERENCE_TIME kOneSecond = UNITS;
// Positions a hair before a frame's start (rounded clock values) still belong to it.
constexpr double kFrameTolerance = 0.01;

} // namespace

long long CTrimControls::FrameIndex(REFERENCE_TIME t, double rate)
{
    if (rate <= 0 || t <= 0)
        return 0;
    return static_cast<long long>(
        std::floor(static_cast<double>(t) * rate / UNITS + kFrameTolerance));
}

REFERENCE_TIME CTrimControls::FrameStart(long long frame, double rate)
{
    if (rate <= 0 || frame <= 0)
        return 0;
    // Rounded up, so a seek there shows this frame and not the one before.
    return static_cast<REFERENCE_TIME>(std::ceil(static_cast<double>(frame) * UNITS / rate));
}

QString CTrimControls::ExactText(REFERENCE_TIME t, double rate)
{
    const long long ms = t / 10000;
    QString text = QString::asprintf("%02lld:%02lld:%02lld.%03lld", ms / 3600000, ms / 60000 % 60,
                                     ms / 1000 % 60, ms % 1000);
    if (rate <= 0)
        return text;
    return QString::fromStdString(CLanguage::Instance().GetString(IDS_EXACT_POSITION))
        .arg(text, QString::number(FrameIndex(t, rate)));
}

bool CTrimControls::Enabled(int id) const
{
    QWidget *control = m_control(id);
    return control && control->isEnabled();
}

double CTrimControls::Rate() const
{
    const CVcdCore *player = Player();
    const double rate = player ? player->FrameRate() : 0;
    return rate > 0 ? rate : m_state.m_dSourceFrameRate;
}

bool CTrimControls::OnKey(int key, Qt::KeyboardModifiers modifiers)
{
    CVcdCore *player = Player();
    // The transport buttons say whether the video may be moved now (not while converting).
    if (!player || !Enabled(IDC_BUTTON_PLAY))
        return false;
    const bool shift = modifiers & Qt::ShiftModifier;
    if (modifiers & ~(Qt::ShiftModifier | Qt::KeypadModifier))
        return false;
    switch (key) {
    case Qt::Key_Space:
        TogglePlay();
        return true;
    case Qt::Key_Left:
    case Qt::Key_Right: {
        const int direction = key == Qt::Key_Left ? -1 : 1;
        if (!shift) {
            StepFrames(direction);
        } else {
            GoTo(CurrentFrameStart() + direction * kOneSecond);
        }
        return true;
    }
    case Qt::Key_Home:
        GoTo(0);
        return true;
    case Qt::Key_End:
        GoTo(LastFrameStart());
        return true;
    case Qt::Key_I:
    case Qt::Key_O:
        if (!Enabled(key == Qt::Key_I ? IDC_BUTTON_START_TIME : IDC_BUTTON_END_TIME))
            return false;
        player->m_llCurrentPosition = CurrentFrameStart();
        key == Qt::Key_I ? OnStartTime() : OnEndTime();
        return true;
    default:
        return false;
    }
}

void CTrimControls::TogglePlay()
{
    if (Player()->State() == Running)
        OnPause();
    else
        OnPlay();
}

void CTrimControls::StepFrames(int frames)
{
    CVcdCore *player = Player();
    // A step while playing only stops the picture where it is.
    if (player->State() == Running) {
        player->Pause();
        player->RefreshPosition();
        player->m_llCurrentPosition = CurrentFrameStart();
        OnPositionTick(0);
        return;
    }
    const double rate = Rate();
    GoTo(FrameStart(FrameIndex(CurrentFrameStart(), rate) + frames, rate));
}

REFERENCE_TIME CTrimControls::LastFrameStart() const
{
    const CVcdCore *player = Player();
    const double rate = Rate();
    const REFERENCE_TIME stop = player ? player->m_llStopPosition : 0;
    if (stop <= 0 || rate <= 0)
        return 0;
    // Frames that begin before the stop position; a seek to the stop itself would end playback.
    const auto frames = static_cast<long long>(
        std::ceil(static_cast<double>(stop) * rate / UNITS - kFrameTolerance));
    return FrameStart(std::max(frames - 1, 0LL), rate);
}

REFERENCE_TIME CTrimControls::CurrentFrameStart()
{
    CVcdCore *player = Player();
    const double rate = Rate();
    if (player->State() != Running) {
        // Held still, the picture on screen is the frame, wherever the last poll of the
        // position was. Its stamp can be a little early (millisecond containers).
        if (const auto shown = player->VideoWidget()->ShownPosition(); shown && rate > 0)
            return FrameStart(std::llround(static_cast<double>(*shown) * rate / UNITS), rate);
        return FrameStart(FrameIndex(player->m_llCurrentPosition, rate), rate);
    }
    player->RefreshPosition();
    return FrameStart(FrameIndex(player->m_llCurrentPosition, rate), rate);
}

void CTrimControls::GoTo(REFERENCE_TIME t)
{
    CVcdCore *player = Player();
    if (player->m_llStopPosition == 0)
        player->RefreshPosition();
    t = std::clamp<REFERENCE_TIME>(t, 0, LastFrameStart());
    if (FAILED(player->Seek(t)))
        return;
    player->m_llCurrentPosition = t;
    OnPositionTick(0);
}

void CTrimControls::ShowExactMarks()
{
    const double rate = Rate();
    if (QWidget *start = m_control(IDC_STATIC_START_TIME))
        start->setToolTip(ExactText(m_state.m_llStartTime, rate));
    if (QWidget *end = m_control(IDC_STATIC_END_TIME))
        end->setToolTip(ExactText(m_state.m_llEndTime, rate));
}
