#pragma once

#include "settings/CompressorChoices.h"

class QComboBox;
class QWidget;
class SettingsStore;

// A combo box of another dialog acting as a compressor list: entry 0 means no compressor,
// entries 1..n are the devices the container of format takes, its usual ones first (for a
// format of no container of its own, the whole category in its order). The box stays the dialog's;
// this object only fills, selects and confirms it.
class CompressorList
{
public:
    CompressorList(QComboBox *box, CompressorCategory category, int format = -1);

    // The opened video's stream of this category (caps as the copy reads them; known false for
    // no video open): decides whether the copy entry is listed.
    void SetSource(bool known, const std::string &caps);
    // Empties the box, adds entry 0 and the devices, selects entry 0.
    void Fill();
    // Lists the devices of another format's container, keeping the selected encoder where the
    // new list holds it and opening at the format's default otherwise.
    void ChangeFormat(int format);
    // Opens at the stored choice, or at the default by name when nothing (or a device that is
    // no longer there) is stored.
    void SelectInitial(const SettingsStore &store);
    // The "Default" button: the device found by name, or entry 0.
    void SelectDefault();
    // OK of the dialog: stores the choice and binds it to settings, or clears its use flag.
    void Confirm(SettingsStore &store, OutputSettings *settings);

    QComboBox *Box() const { return m_box; }
    CompressorCategory Category() const { return m_category; }
    // The factory of the selected device; empty for entry 0.
    std::string SelectedFactory() const;

private:
    QComboBox *m_box;
    CompressorCategory m_category;
    int m_format;
    bool m_sourceKnown = false;
    std::string m_sourceCaps;
    std::vector<media::CompressorDevice> m_devices;
};

// The "Settings" button: opens the settings of the video codec selected in videoList, with
// optionsDialog as parent, using hiddenList as the scratch list of configurable codecs.
// Returns true when a codec dialog was shown and confirmed (its state is then kept in
// settings and put on its chosen video encoder, when that is the same codec); false when
// nothing matched or it was cancelled.
bool ConfigureCodec(QWidget *optionsDialog, QComboBox *videoList, QComboBox *hiddenList,
                    OutputSettings *settings);
