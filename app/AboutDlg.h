#pragma once

#include <QDialog>

#include <map>

class CHyperLink;

// The About box: the program's icon, name and version, and links to the home page and to the
// contact address.
class CAboutDlg : public QDialog
{
    Q_OBJECT
public:
    enum ControlId {
        IDOK = 1,
        IDC_HOMEPAGE_LINK = 1049,
        IDC_SUPPORT_LINK = 1050,
        IDC_STATIC_PRODUCT = 1085,
        IDC_STATIC_VERSION = 1086,
        IDC_STATIC_HELP_NOTE = 1089, // only where the help is in English alone
    };
    static constexpr int kDialogNumber = 100;

    explicit CAboutDlg(QWidget *parent = nullptr);
    ~CAboutDlg() override;

    QWidget *Control(int id) const;
    CHyperLink *HomePageLink() const { return m_homePage; }
    CHyperLink *SupportLink() const { return m_support; }

private:
    void CreateControls();
    void DoDataExchange();
    bool OnInitDialog();

    std::map<int, QWidget *> m_controls;
    CHyperLink *m_homePage = nullptr;
    CHyperLink *m_support = nullptr;
};
