#include "app/ConversionWindow.h"

#include "app/VinteloDlg.h"
#include "convert/ConversionDriver.h"
#include "options/DialogFilterPerproty.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QLabel>
#include <QUrl>

ConversionWindow::ConversionWindow(CVinteloDlg *dialog)
    : QObject(dialog)
    , m_dialog(dialog)
    , m_notifier(dialog)
{
    m_timer.setInterval(kConversionTimerPeriodMs);
    m_timer.setObjectName(QStringLiteral("timer%1").arg(kConversionTimerId));
    connect(&m_timer, &QTimer::timeout, this, [this] { OnConversionTimer(*m_dialog, *this); });
}

void ConversionWindow::PostGraphNotify()
{
    m_notifier.Callback()();
}

void ConversionWindow::SetConvertCaption(const std::string &text)
{
    if (auto *button
        = qobject_cast<QAbstractButton *>(m_dialog->Control(CVinteloDlg::IDC_BUTTON_CONVERT)))
        button->setText(QString::fromStdString(text));
}

void ConversionWindow::SetStatusText(const std::string &text)
{
    if (auto *label = qobject_cast<QLabel *>(m_dialog->Control(CVinteloDlg::IDC_STATIC_STATUS)))
        label->setText(QString::fromStdString(text));
}

void ConversionWindow::StartConversionTimer()
{
    m_timer.start();
}
void ConversionWindow::StopConversionTimer()
{
    m_timer.stop();
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
