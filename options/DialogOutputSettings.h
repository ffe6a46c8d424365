#pragma once

#include "options/OutputOptionsTemplate.h"
#include "settings/OutputSettings.h"

#include <QDialog>
#include <QSize>

#include <map>
#include <memory>
#include <string>

class CompressorList;
class QComboBox;
class QLineEdit;
class SettingsStore;

// The modal "Output options" dialog. The caller fills the inherited OutputSettings fields and
// the facts about the opened video, runs DoModal, and reads the fields back after OK. OK
// validates the frame rate and writes the confirmed values to the settings store.
class CDialogOutputSettings : public QDialog, public OutputSettings
{
    Q_OBJECT
public:
    // The choices are read from and saved to store.
    explicit CDialogOutputSettings(SettingsStore &store, QWidget *parent = nullptr);
    ~CDialogOutputSettings() override;

    // Facts about the opened video: never copied back.
    int m_nSourceWidth = 0;
    int m_nSourceHeight = 0;
    double m_dSourceFrameRate = 23.976;
    int m_nPhotoCount = 0;
    // Its streams as the copy reads them: the lists offer the copy where the format takes them.
    std::string m_sourceVideoCaps;
    std::string m_sourceAudioCaps;

    // Initialises the controls from the fields and runs the dialog; QDialog::Accepted on OK.
    int DoModal();
    // The initialisation alone, for showing the dialog without a modal loop.
    void OnInitDialog();

    // The control carrying number id, or nullptr.
    QWidget *Control(int id) const;
    const std::map<int, QWidget *> &Controls() const { return m_controls; }
    QRect DialogUnitsToPixels(const QRect &units) const;

private slots:
    void OnSelchangeOutputFormat(int position);
    void OnSelchangeResolution(int position);
    void OnSelchangeFrameRate(int position);
    void OnBrowse();
    void OnDefault();
    void OnCodecSettings();
    void FollowVideoChoice();
    void OnOK();
    void OnCancel();

private:
    void InitFrameRate();
    void ApplyFormat(int format);
    // The format code of a position of the format list.
    static int FormatAtPosition(int position);
    void ShowControls(std::initializer_list<int> ids, bool show);
    void SetText(int id, const std::string &text);
    std::string Text(int id) const;
    QComboBox *Combo(int id) const;

    // The compressor lists: filled at start, confirmed by OK, defaulted by "Default".
    void FillCompressorLists();
    void ConfirmCompressors();
    void SelectDefaultCompressors();

    SettingsStore &m_store;
    std::unique_ptr<CompressorList> m_videoList;
    std::unique_ptr<CompressorList> m_audioList;
    QSize m_baseUnits;
    std::map<int, QWidget *> m_controls;
    // The record's size, rate and path as they were when the dialog opened.
    int m_nInitialWidth = 0;
    int m_nInitialHeight = 0;
    double m_dInitialFrameRate = 23.976;
    std::string m_szInitialOutputFile;
    // While the picture is copied: the size and rate chosen before, shown again with an encoder.
    bool m_bCopyShown = false;
    int m_nKeptResolution = 0;
    int m_nKeptFrameRate = 0;
    std::string m_szKeptWidth, m_szKeptHeight, m_szKeptFrameRate;
};
