#include "preview/TrimControls.h"

#include "controls/BitmapSlider.h"
#include "controls/ValueLabel.h"
#include "job/ConversionJob.h"
#include "platform/TimeText.h"
#include "preview/VcdCore.h"

#include <QAbstractSlider>
#include <QLabel>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

std::unique_ptr<CVcdCore> &PlayerSlot()
{
    static std::unique_ptr<CVcdCore> player;
    return player;
}

} // namespace

CTrimControls::CTrimControls(QWidget *owner, ConversionJob &state, int &sliderPos,
                             std::function<QWidget *(int)> control)
    : m_owner(owner)
    , m_state(state)
    , m_nSliderPos(sliderPos)
    , m_control(std::move(control))
{
    m_scrubTimer.setSingleShot(true);
    QObject::connect(&m_scrubTimer, &QTimer::timeout, [this] {
        if (CVcdCore *player = Player()) {
            player->SeekKeyFrame(m_scrubTarget);
            m_scrubClock.restart();
        }
    });
    // A listener hears the time a slider step stands for in the open video.
    if (auto *slider = qobject_cast<CBitmapSlider *>(m_control(IDC_SLIDER_POSITION)))
        slider->SetValueText([](int value) {
            const CVcdCore *player = Player();
            const double stop = player ? static_cast<double>(player->m_llStopPosition) : 0.0;
            return TimeText(static_cast<REFERENCE_TIME>(value * stop / kSliderRange));
        });
}

CTrimControls::~CTrimControls()
{
    // The player posts to the main window; it must not outlive it.
    if (Player())
        ClosePlayer();
}

CVcdCore *CTrimControls::Player()
{
    return PlayerSlot().get();
}

QString CTrimControls::TimeText(REFERENCE_TIME t)
{
    return QString::fromStdString(platform::HmsText(t / UNITS));
}

void CTrimControls::SetText(int id, const QString &text)
{
    if (auto *value = qobject_cast<CValueLabel *>(m_control(id)))
        value->SetValueText(text);
    else if (auto *label = qobject_cast<QLabel *>(m_control(id)))
        label->setText(text);
}

void CTrimControls::ClosePlayer()
{
    std::unique_ptr<CVcdCore> &player = PlayerSlot();
    if (player) {
        if (player->State() != Closed)
            player->CloseClip();
        player.reset();
    }
    if (auto *slider = qobject_cast<QAbstractSlider *>(m_control(IDC_SLIDER_POSITION))) {
        slider->setValue(0);
        slider->update();
    }
    m_nSliderPos = 0;
    if (m_owner)
        m_owner->update();
}

bool CTrimControls::OpenPlayer(const std::string &path)
{
    PlayerSlot() = std::make_unique<CVcdCore>(m_owner);
    CVcdCore *player = Player();
    player->m_szMediaPath = path;
    player->m_keyHandler
        = [this](int key, Qt::KeyboardModifiers modifiers) { return OnKey(key, modifiers); };
    if (player->OpenClip())
        return true;
    m_state.m_szPhotoFile[0].clear();
    ClosePlayer();
    return false;
}

void CTrimControls::OnPlay()
{
    if (CVcdCore *player = Player())
        player->Play();
}

void CTrimControls::OnPause()
{
    CVcdCore *player = Player();
    if (!player)
        return;
    const bool wasRunning = player->State() == Running;
    player->Pause();
    // The display shows the frame the picture stopped at, not the last poll's position.
    if (wasRunning && player->State() == Paused) {
        player->m_llCurrentPosition = CurrentFrameStart();
        OnPositionTick(0);
    }
}

void CTrimControls::OnStop()
{
    if (CVcdCore *player = Player())
        player->Stop();
}

void CTrimControls::OnSliderMoved(int value)
{
    // Often enough to follow the hand, seldom enough that the decoder keeps up.
    constexpr int kScrubIntervalMs = 250;
    CVcdCore *player = Player();
    if (!player || player->m_llStopPosition == 0)
        return;
    const REFERENCE_TIME stop = player->m_llStopPosition;
    m_scrubTarget = static_cast<REFERENCE_TIME>(static_cast<double>(value) / kSliderRange
                                                * static_cast<double>(stop));
    SetText(IDC_STATIC_POSITION, TimeText(m_scrubTarget) + " / " + TimeText(stop));
    const qint64 since = m_scrubClock.isValid() ? m_scrubClock.elapsed() : kScrubIntervalMs;
    if (!m_scrubTimer.isActive())
        m_scrubTimer.start(static_cast<int>(std::max<qint64>(kScrubIntervalMs - since, 0)));
}

void CTrimControls::OnSliderReleased()
{
    // The accurate seek below has the last word.
    m_scrubTimer.stop();
    auto *slider = qobject_cast<QAbstractSlider *>(m_control(IDC_SLIDER_POSITION));
    if (!slider)
        return;
    m_nSliderPos = slider->value();
    CVcdCore *player = Player();
    if (!player || player->m_llStopPosition == 0)
        return;
    const double target = static_cast<double>(m_nSliderPos) / kSliderRange
                          * static_cast<double>(player->m_llStopPosition);
    // A failed seek leaves playback where it was.
    player->Seek(static_cast<REFERENCE_TIME>(target));
}

void CTrimControls::OnPositionTick(int sliderTracking)
{
    // Playback must not move the thumb under the user's hand.
    if (sliderTracking == 1)
        return;
    CVcdCore *player = Player();
    if (!player) {
        SetText(IDC_STATIC_POSITION, QString());
        return;
    }
    const REFERENCE_TIME current = player->m_llCurrentPosition;
    const REFERENCE_TIME stop = player->m_llStopPosition;
    SetText(IDC_STATIC_POSITION, TimeText(current) + " / " + TimeText(stop));
    if (QWidget *position = m_control(IDC_STATIC_POSITION))
        position->setToolTip(ExactText(current, Rate()));
    m_nSliderPos = stop == 0 ? 0
                             : static_cast<int>(static_cast<double>(current)
                                                / static_cast<double>(stop) * kSliderRange);
    if (auto *slider = qobject_cast<QAbstractSlider *>(m_control(IDC_SLIDER_POSITION))) {
        slider->setValue(m_nSliderPos);
        slider->update();
    }
}

void CTrimControls::OnStartTime()
{
    if (CVcdCore *player = Player()) {
        m_state.m_llStartTime = player->m_llCurrentPosition;
        SetText(IDC_STATIC_START_TIME, TimeText(m_state.m_llStartTime));
        ShowExactMarks();
    }
}

void CTrimControls::OnEndTime()
{
    if (CVcdCore *player = Player()) {
        m_state.m_llEndTime = player->m_llCurrentPosition;
        SetText(IDC_STATIC_END_TIME, TimeText(m_state.m_llEndTime));
        ShowExactMarks();
    }
}

void CTrimControls::OnCloseCommand()
{
    ClosePlayer();
    m_state.m_nPhotoCount = 0;
    m_state.m_llStartTime = 0;
    m_state.m_llEndTime = 0;
    SetText(IDC_STATIC_START_TIME, QStringLiteral("00:00:00"));
    SetText(IDC_STATIC_END_TIME, QStringLiteral("00:00:00"));
    SetText(IDC_STATIC_POSITION, QString());
}
