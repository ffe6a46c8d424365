#include "options/OutputOptionsCommand.h"

#include "options/DialogOutputSettings.h"

bool RunOutputOptions(QWidget *owner, SettingsStore &store, OutputSettings *settings,
                      const OpenedVideoFacts &facts, const std::function<void()> &rewriteStatus)
{
    CDialogOutputSettings dialog(store, owner);
    dialog.m_szOutputFile = settings->m_szOutputFile;
    dialog.m_nOutputWidth = settings->m_nOutputWidth;
    dialog.m_nOutputHeight = settings->m_nOutputHeight;
    dialog.m_bUseVideoCompressor = settings->m_bUseVideoCompressor;
    dialog.m_bUseAudioCompressor = settings->m_bUseAudioCompressor;
    dialog.m_videoCompressor = settings->m_videoCompressor;
    dialog.m_audioCompressor = settings->m_audioCompressor;
    dialog.m_codecState = settings->m_codecState;
    dialog.m_nSourceWidth = facts.width;
    dialog.m_nSourceHeight = facts.height;
    dialog.m_dSourceFrameRate = facts.frameRate;
    dialog.m_dOutputFrameRate = settings->m_dOutputFrameRate;
    dialog.m_nPhotoCount = facts.itemCount;
    dialog.m_sourceVideoCaps = facts.videoCaps;
    dialog.m_sourceAudioCaps = facts.audioCaps;
    dialog.m_nFrameRateIndex = settings->m_nFrameRateIndex;
    dialog.m_nStretchMode = settings->m_nStretchMode;
    dialog.m_nVideoBitrate = settings->m_nVideoBitrate;
    dialog.m_nAudioBitrate = settings->m_nAudioBitrate;
    dialog.m_nOutputFormat = settings->m_nOutputFormat;
    dialog.m_bFileProfile = settings->m_bFileProfile;

    const int answer = dialog.DoModal();
    // A codec's settings were confirmed in their own dialog: they stay, even when the options
    // are cancelled.
    settings->m_codecState = dialog.m_codecState;
    if (answer != QDialog::Accepted)
        return false;

    settings->m_szOutputFile = dialog.m_szOutputFile;
    settings->m_nOutputWidth = dialog.m_nOutputWidth;
    settings->m_nOutputHeight = dialog.m_nOutputHeight;
    settings->m_bUseVideoCompressor = dialog.m_bUseVideoCompressor;
    settings->m_bUseAudioCompressor = dialog.m_bUseAudioCompressor;
    settings->m_videoCompressor = dialog.m_videoCompressor;
    settings->m_audioCompressor = dialog.m_audioCompressor;
    settings->m_nFrameRateIndex = dialog.m_nFrameRateIndex;
    settings->m_dOutputFrameRate = dialog.m_dOutputFrameRate;
    settings->m_nStretchMode = dialog.m_nStretchMode;
    if (rewriteStatus)
        rewriteStatus();
    settings->m_nVideoBitrate = dialog.m_nVideoBitrate;
    settings->m_nAudioBitrate = dialog.m_nAudioBitrate;
    settings->m_nOutputFormat = dialog.m_nOutputFormat;
    settings->m_bFileProfile = dialog.m_bFileProfile;
    return true;
}
