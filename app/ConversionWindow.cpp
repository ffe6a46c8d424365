#include "app/ConversionWindow.h"

#include "app/VinteloDlg.h"
#include "convert/ConversionDriver.h"
#include "options/DialogFilterPerproty.h"

#include "localisation/BuiltinTexts.h"
#include "localisation/Language.h"
#include "localisation/ReportTexts.h"
#include "platform/TimeText.h"
#include "resources/Artwork.h"
#include "settings/SettingsStore.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QDesktopServices>
#include <QUrl>

#include <algorithm>
#include <cmath>

ConversionWindow::ConversionWindow(CVinteloDlg *dialog)
    : QObject(dialog)
    , m_dialog(dialog)
    , m_notifier(dialog)
{
    m_timer.setInterval(kConversionTimerPeriodMs);
    m_timer.setObjectName(QStringLiteral("timer%1").arg(kConversionTimerId));
    connect(&m_timer, &QTimer::timeout, this, [this] {
        OnConversionTimer(m_dialog->Job(), *this);
        ShowProgress();
    });
}

void ConversionWindow::PostGraphNotify()
{
    m_notifier.Callback()();
}

void ConversionWindow::SetConvertCaption(const std::string &text)
{
    auto *button
        = qobject_cast<QAbstractButton *>(m_dialog->Control(CVinteloDlg::IDC_BUTTON_CONVERT));
    if (!button)
        return;
    button->setText(QString::fromStdString(text));
    // The caption turns to Stop once the conversion runs; the picture follows it.
    button->setIcon(artwork::Icon(m_dialog->Job().m_bConverting == 1 ? artwork::IconStop
                                                                     : artwork::IconApplication));
}

void ConversionWindow::SetStatusText(const std::string &text)
{
    m_dialog->ShowStatus(QString::fromStdString(text));
}

void ConversionWindow::StartConversionTimer()
{
    // The title and the slider show the progress; the status line keeps its own text.
    m_title = m_dialog->windowTitle();
    if (QWidget *slider = m_dialog->Control(CVinteloDlg::IDC_SLIDER_POSITION)) {
        m_sliderWasEnabled = slider->isEnabled();
        slider->setEnabled(false);
    }
    m_timer.start();
}

void ConversionWindow::StopConversionTimer()
{
    m_timer.stop();
    if (m_title.isNull())
        return;
    m_dialog->setWindowTitle(m_title);
    m_title = QString();
    if (auto *slider
        = qobject_cast<QAbstractSlider *>(m_dialog->Control(CVinteloDlg::IDC_SLIDER_POSITION))) {
        slider->setEnabled(m_sliderWasEnabled);
        slider->setValue(m_dialog->m_nSliderPos);
    }
}

void ConversionWindow::ShowProgress()
{
    const REFERENCE_TIME length = m_dialog->Job().MarkedSection().length;
    if (!m_run.pControl || length <= 0 || m_title.isNull())
        return;
    const double done
        = std::clamp(static_cast<double>(m_run.pControl->CurrentPosition()) / length, 0.0, 1.0);
    QString title = m_title + QStringLiteral(" - %1%").arg(static_cast<int>(done * 100));
    if (done > 0) {
        const auto left = std::llround(m_dialog->Job().m_nElapsedSeconds * (1 - done) / done);
        title += QStringLiteral(" - ")
                 + QString::fromStdString(CLanguage::Instance().GetString(IDS_TIME_LEFT))
                       .arg(QString::fromStdString(platform::HmsText(left)));
    }
    m_dialog->setWindowTitle(title);
    if (auto *slider
        = qobject_cast<QAbstractSlider *>(m_dialog->Control(CVinteloDlg::IDC_SLIDER_POSITION)))
        slider->setValue(static_cast<int>(done * slider->maximum()));
}

void ConversionWindow::EnableConversionControls(bool enable)
{
    for (int id : {CVinteloDlg::IDC_BUTTON_ADD_VIDEO, CVinteloDlg::IDC_BUTTON_OUTPUT_SETTINGS,
                   CVinteloDlg::IDC_BUTTON_START_TIME, CVinteloDlg::IDC_BUTTON_END_TIME}) {
        if (QWidget *control = m_dialog->Control(id))
            control->setEnabled(enable);
    }
}

void ConversionWindow::ShowFilterProperties(const media::Filter &graph)
{
    CDialogFilterPerproty dialog(graph);
    dialog.exec();
}

void ConversionWindow::OpenDownloadPage(const std::string &address)
{
    QDesktopServices::openUrl(QUrl(QString::fromStdString(address)));
}

const SettingsStore &ConversionWindow::Settings() const
{
    return m_dialog->Store();
}

bool ConversionWindow::ReplaceOutput(const std::string &path)
{
    return AskToReplace(path);
}

bool ConversionWindow::CopyFromKeyFrame(REFERENCE_TIME before, int frames)
{
    return AskToCopyFromKeyFrame(before, frames);
}

bool ConversionWindow::WriteUncompressed(const std::string &downloadPage)
{
    return AskToWriteUncompressed(downloadPage);
}

std::optional<std::string> ConversionWindow::LocateMissingFile(const std::string &path)
{
    return AskToLocate(path);
}
