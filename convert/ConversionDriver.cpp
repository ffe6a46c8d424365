#include "convert/ConversionDriver.h"

#include "convert/TimelineBuilder.h"
#include "localisation/Language.h"
#include "media/core/MediaPlatform.h"
#include "platform/MessageBoxes.h"
#include "platform/TimeText.h"

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <unistd.h>

const char *const kDivxDownloadPage = "https://www.divx.com/en/software/download/";

namespace {

bool FileExists(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return file.good();
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
    return "Please wait... Used Time: " + platform::HmsText(seconds);
}

std::string DoneText(const ConversionJob &dlg)
{
    const CLanguage &language = CLanguage::Instance();
    return language.GetString(163) + ". " + language.GetString(115) + " " + dlg.m_szOutputFile
           + "     " + language.GetString(116) + " " + std::to_string(dlg.m_nOutputWidth) + "*"
           + std::to_string(dlg.m_nOutputHeight);
}

bool CheckOutputPath(const ConversionJob &dlg)
{
    const std::string &out = dlg.m_szOutputFile;
    if (out.empty()) {
        platform::ShowAppMessageBox("No output file is set. Choose one in the Options dialog.");
        return false;
    }
    for (int i = 0; i < dlg.m_nPhotoCount && i < kMaxPhotoItems; ++i) {
        if (SameFile(out, dlg.m_szPhotoFile[i])) {
            platform::ShowAppMessageBox("The output file " + out
                                        + " is the video being converted. Choose another output "
                                          "file in the Options dialog.");
            return false;
        }
    }
    const QFileInfo info(QString::fromStdString(out));
    const QString folder = info.absolutePath();
    const QFileInfo folderInfo(folder);
    if (!folderInfo.exists() || !folderInfo.isDir()) {
        platform::ShowAppMessageBox("The output folder " + folder.toStdString()
                                    + " does not exist. Choose another output file in the "
                                      "Options dialog.");
        return false;
    }
    if (access(folder.toLocal8Bit().constData(), W_OK | X_OK) != 0
        || (info.exists() && info.isDir())) {
        platform::ShowAppMessageBox("The output file " + out
                                    + " cannot be written. Choose another output file in the "
                                      "Options dialog.");
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
    const CLanguage &language = CLanguage::Instance();
    if (dlg.m_nPhotoCount == 0) {
        platform::ShowAppMessageBox("Please open a video file first!");
        return;
    }
    if (dlg.m_nPhotoCount > kMaxPhotoItems) {
        platform::ShowAppMessageBox(
            "Photos are too many! Please delete some photos in the photo list.");
        return;
    }
    if (dlg.m_nMusicCount > kMaxMusicItems) {
        platform::ShowAppMessageBox(
            "Music files are too many! Please delete some music files in the music list.");
        return;
    }
    if (dlg.m_bConverting != 0) {
        FinishConversion(dlg, conversion);
        return;
    }
    if (!CheckOutputPath(dlg))
        return;
    if (FileExists(dlg.m_szOutputFile)) {
        const std::string text = dlg.m_szOutputFile + " " + language.GetString(127);
        if (platform::ShowMessageBox(text, language.GetString(108), platform::BoxButtons::YesNo,
                                     platform::BoxIcon::Exclamation)
            != platform::BoxAnswer::Yes)
            return;
        std::error_code ec;
        std::filesystem::remove(dlg.m_szOutputFile, ec);
    }
    if (dlg.m_nOutputFormat != OutputFormatWmv && dlg.m_nOutputFormat != OutputFormatAsf) {
        if (dlg.m_bUseVideoCompressor == 0) {
            const std::string text
                = std::string("You do not select a video compressor in Options dialog. The "
                              "output file will be very big.\nStrongly recommend you to install "
                              "DivX codec, then select DivX as video compressor.\nIf there is no "
                              "DivX codec on your system, please download it at ")
                  + kDivxDownloadPage + "\nDo you want to continue?";
            if (platform::ShowMessageBox(text, "Warning", platform::BoxButtons::YesNo)
                == platform::BoxAnswer::No)
                return;
        }
        SuppressCodecFeedback();
    }

    conversion.m_lastError.clear();
    // A file without sound gets no sound track: an audio group would write silence.
    const bool withSound = dlg.m_nMusicCount > 0 && media::FileHasSound(dlg.m_szMusicFile[0]);
    BuildTimeline(dlg, conversion.pTimeline, withSound);
    if (conversion.pTimeline)
        StartRender(dlg, conversion, conversion.pTimeline);
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
            const std::string text
                = "The conversion stopped because of an error: " + conversion.m_lastError;
            conversion.Host().SetStatusText(text);
            platform::ShowAppMessageBox(text);
        }
    }
    return 0;
}

HRESULT FinishConversion(ConversionJob &dlg, Conversion &conversion)
{
    ConversionHost &host = conversion.Host();
    host.StopConversionTimer();
    HRESULT hr = S_FALSE;
    if (conversion.pControl)
        hr = conversion.pControl->Stop();
    conversion.Release();
    dlg.m_bConverting = 0;
    host.SetConvertCaption(CLanguage::Instance().GetDialogString(125));
    dlg.m_nElapsedSeconds = 0;
    host.SetStatusText(DoneText(dlg));
    UnlockConversionControls(host);
    return hr;
}
