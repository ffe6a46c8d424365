#include "AppTestSupport.h"

#include "app/AboutDlg.h"
#include "app/VinteloDlg.h"
#include "controls/HyperLink.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QImage>
#include <QLabel>
#include <QTest>

namespace {

QString Text(const CAboutDlg &dialog, int id)
{
    QWidget *widget = dialog.Control(id);
    if (auto *label = qobject_cast<QLabel *>(widget))
        return label->text();
    return qobject_cast<QAbstractButton *>(widget)->text();
}

void ExpectBothLinks(const CAboutDlg &dialog,
                     const QString &supportText = QStringLiteral("Support Email: Click here"))
{
    CHyperLink *home = dialog.HomePageLink();
    CHyperLink *support = dialog.SupportLink();
    ASSERT_EQ(home, dialog.Control(CAboutDlg::IDC_HOMEPAGE_LINK));
    ASSERT_EQ(support, dialog.Control(CAboutDlg::IDC_SUPPORT_LINK));
    EXPECT_EQ(home->text(), "https://clipwright.org/");
    EXPECT_EQ(home->GetTarget(), "https://clipwright.org/");
    EXPECT_EQ(support->text(), supportText);
    EXPECT_EQ(support->GetTarget(), "mailto:support@clipwright.org");
    for (CHyperLink *link : {home, support}) {
        EXPECT_TRUE(link->IsAttached());
        EXPECT_EQ(link->GetUnderlineMode(), CHyperLink::UnderlineAlways);
        EXPECT_TRUE(link->font().underline());
        EXPECT_EQ(link->toolTip(), link->GetTarget());
        EXPECT_EQ(link->CurrentColour(), QColor(0, 0, 238));
        // The text is painted in that colour.
        const QImage image = link->grab().toImage();
        int blue = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                blue += image.pixelColor(x, y) == QColor(0, 0, 238);
        EXPECT_GT(blue, 10) << link->text().toStdString();
    }
}

} // namespace

TEST(AboutDialog, ShowsIconNameVersionAndBothLinks)
{
    AppTestEnvironment env;
    CAboutDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), "About");
    EXPECT_EQ(dialog.property("controlId").toInt(), 100);
    EXPECT_EQ(Text(dialog, CAboutDlg::IDC_STATIC_PRODUCT), "Clipwright");
    EXPECT_EQ(Text(dialog, CAboutDlg::IDC_STATIC_VERSION), "Version " CW_PROJECT_VERSION);
    ExpectBothLinks(dialog);

    // Template 100 is 244 x 126 dialog units, in the same units as the main window's.
    CVinteloDlg main(env.store);
    EXPECT_EQ(dialog.size(), main.DialogUnitsToPixels(QRect(0, 0, 244, 126)).size());

    bool haveIcon = false;
    for (QLabel *label : dialog.findChildren<QLabel *>())
        haveIcon = haveIcon || !label->pixmap().isNull();
    EXPECT_TRUE(haveIcon);

    // The links fit their text and stay inside the box.
    for (CHyperLink *link : {dialog.HomePageLink(), dialog.SupportLink()})
        EXPECT_TRUE(dialog.rect().contains(link->geometry())) << link->text().toStdString();

    auto *ok = qobject_cast<QAbstractButton *>(dialog.Control(CAboutDlg::IDOK));
    dialog.show();
    ok->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST(AboutDialog, GermanTextsAndLinksStayUnderlined)
{
    AppTestEnvironment env;
    CLanguage::Instance().Initialize(CW_SOURCE_DIR, "German");
    ASSERT_EQ(CLanguage::Instance().GetCurrentLanguage(), "German");
    CAboutDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("Über"));
    EXPECT_EQ(Text(dialog, CAboutDlg::IDC_STATIC_PRODUCT), "Clipwright");
    ExpectBothLinks(dialog, QStringLiteral("Support per E-Mail: hier klicken"));
    // The German link text is longer and still fits inside the box.
    EXPECT_TRUE(dialog.rect().contains(dialog.SupportLink()->geometry()));
}

TEST(AboutDialog, LinksOpenTheirAddresses)
{
    AppTestEnvironment env;
    CAboutDlg dialog;
    dialog.show();
    CHyperLink *home = dialog.HomePageLink();
    CHyperLink *support = dialog.SupportLink();
    QTest::mouseClick(home, Qt::LeftButton, {}, home->rect().center());
    env.shell.QueueOpenResult(platform::SE_ERR_NOASSOC);
    QTest::mouseClick(support, Qt::LeftButton, {}, support->rect().center());
    EXPECT_EQ(env.shell.Opened(), (std::vector<std::string>{"https://clipwright.org/",
                                                            "mailto:support@clipwright.org"}));
    EXPECT_TRUE(home->GetVisitedState());
    EXPECT_FALSE(support->GetVisitedState());
    ASSERT_EQ(env.boxes.Texts(),
              std::vector<std::string>{"Unable to open hyperlink:\n\nThere is no application "
                                       "associated\nwith the given filename extension."});
}
