#pragma once

#include "media/core/Filter.h"

#include <QDialog>

class QListWidget;
class QPushButton;

// "Set Filter's Properties": the elements of a graph, and the settings of the one chosen.
// The caller runs it modally and carries on when it closes; its result means nothing.
class CDialogFilterPerproty : public QDialog
{
    Q_OBJECT
public:
    enum {
        kDialogNumber = 164,
        IDC_LIST_FILTERS = 1095,
        IDC_BUTTON_SETTINGS = 1096,
        IDCANCEL = 2,
    };

    explicit CDialogFilterPerproty(media::Filter graph, QWidget *parent = nullptr);

    QListWidget *FilterList() const { return m_list; }
    QPushButton *SettingsButton() const { return m_settings; }

private:
    void OnInitDialog();
    void OnSelectionChange();
    void OnSettings();
    // The first element of the graph whose name is the selected text.
    media::Filter SelectedFilter() const;

    media::Filter m_graph;
    QListWidget *m_list = nullptr;
    QPushButton *m_settings = nullptr;
};
