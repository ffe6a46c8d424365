#include "AppTestSupport.h"

#include "app/AboutDlg.h"
#include "app/VinteloDlg.h"
#include "controls/ButtonST.h"
#include "controls/HyperLink.h"
#include "controls/ValueLabel.h"
#include "localisation/BuiltinTexts.h"
#include "localisation/InterfaceFont.h"
#include "localisation/Language.h"
#include "options/DialogOutputSettings.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRawFont>
#include <QRegularExpression>
#include <QStyleOptionComboBox>

namespace {

struct Case
{
    const char *language;
    int points;
    const char *face = nullptr; // nullptr: the language's own default face
};

// Characters of control's texts that its font has no glyph for: they would show as boxes or
// come from a fallback face of another cut.
std::string Undrawn(QWidget *control)
{
    QStringList texts;
    if (auto *status = qobject_cast<CStatusLine *>(control))
        texts << status->ShownText();
    else if (auto *button = qobject_cast<QAbstractButton *>(control))
        texts << button->text().remove('&');
    else if (auto *label = qobject_cast<QLabel *>(control))
        texts << label->text();
    else if (auto *group = qobject_cast<QGroupBox *>(control))
        texts << group->title();
    else if (auto *combo = qobject_cast<QComboBox *>(control))
        for (int i = 0; i < combo->count(); ++i)
            texts << combo->itemText(i);
    const QRawFont font = QRawFont::fromFont(control->font());
    QString missing;
    for (const QString &text : texts)
        for (const char32_t c : text.toUcs4())
            if (!QChar::isSpace(c) && !font.supportsCharacter(c))
                missing += QString::fromUcs4(&c, 1);
    return missing.toStdString();
}

// Words of a caption as drawn: "&" marks a mnemonic.
QStringList Words(QString text)
{
    return text.remove('&').split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
}

// What of control is cut: an empty text when everything shows.
std::string CutPart(QWidget *control)
{
    const QFontMetrics metrics(control->font());
    if (auto *button = qobject_cast<CButtonST *>(control)) {
        // The caption wraps between words; a word is never broken or shrunk.
        for (const QString &word : Words(button->text()))
            if (metrics.horizontalAdvance(word) > button->TextRect().width() + 1)
                return "word " + word.toStdString();
        const QRect text = button->TextRect();
        if (!text.isNull() && !button->rect().contains(text))
            return "caption outside";
        if (button->IconRect().isNull() || button->IconRect().width() < 16)
            return "icon";
        if (button->IconRect().intersects(text))
            return "icon over caption";
        return {};
    }
    QString text;
    int margin = 0;
    if (auto *button = qobject_cast<QPushButton *>(control)) {
        text = button->text().remove('&');
        margin = 4;
    } else if (auto *status = qobject_cast<CStatusLine *>(control)) {
        text = status->ShownText(); // what is drawn, path shortened
        margin = 2 * status->frameWidth();
    } else if (auto *label = qobject_cast<QLabel *>(control)) {
        if (label->wordWrap())
            return label->heightForWidth(label->width()) > label->height() ? "wrapped text" : "";
        text = label->text();
        margin = 2 * label->frameWidth();
    } else if (auto *combo = qobject_cast<QComboBox *>(control)) {
        // The lists of the program's own entries show each whole, with an opened video's size or
        // rate after it; the encoder lists hold the installed elements' long names as they come.
        const int id = control->property("controlId").toInt();
        if (id == 1025 || id == 1068 || id == 1070 || id == 1094) {
            QStyleOptionComboBox option;
            option.initFrom(combo);
            const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                               QStyle::SC_ComboBoxEditField, combo);
            for (int i = 0; i < combo->count(); ++i)
                if (metrics.horizontalAdvance(combo->itemText(i)) > field.width())
                    return "entry " + combo->itemText(i).toStdString();
        }
        // Of the encoder lists, the program's own copy entry.
        if ((id == 1001 || id == 1002) && combo->count() > 1) {
            const QString copy
                = QString::fromStdString(CLanguage::Instance().GetString(IDS_COPY_FROM_SOURCE));
            QStyleOptionComboBox option;
            option.initFrom(combo);
            const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                               QStyle::SC_ComboBoxEditField, combo);
            if (combo->itemText(1) == copy && metrics.horizontalAdvance(copy) > field.width())
                return "entry " + copy.toStdString();
        }
        return control->height() < metrics.height() ? "height" : "";
    } else if (qobject_cast<QLineEdit *>(control)) {
        return control->height() < metrics.height() + 2 ? "height" : "";
    }
    if (metrics.horizontalAdvance(text) + margin > control->width())
        return "text " + text.toStdString();
    if (!text.isEmpty() && metrics.height() > control->height())
        return "height";
    return {};
}

// Every visible control of window whole, inside it, and clear of the others.
void ExpectWhole(QWidget *window, const std::string &where)
{
    std::vector<QWidget *> shown;
    for (QWidget *child : window->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (child->isHidden() || child->isWindow())
            continue;
        const int id = child->property("controlId").toInt();
        EXPECT_TRUE(window->rect().contains(child->geometry())) << where << " " << id;
        QFont drawn = child->font();
        if (qobject_cast<CHyperLink *>(child))
            drawn.setUnderline(window->font().underline()); // a link may be underlined
        EXPECT_EQ(drawn, window->font()) << where << " " << id;
        if (qobject_cast<QGroupBox *>(child))
            continue;
        EXPECT_EQ(CutPart(child), "") << where << " " << id;
        EXPECT_EQ(Undrawn(child), "")
            << where << " " << id << " in " << QFontInfo(child->font()).family().toStdString();
        for (QWidget *other : shown)
            EXPECT_FALSE(child->geometry().intersects(other->geometry()))
                << where << " " << id << " over " << other->property("controlId").toInt();
        shown.push_back(child);
    }
}

} // namespace

// Windows grow with the interface font: at each size and in every language nothing is cut,
// nothing overlaps, every icon is drawn and the language's face has every character shown.
// Pictures for a person go to build/screenshots.
TEST(FontScaling, WindowsGrowWithTheInterfaceFont)
{
    const QString shots = QStringLiteral(CW_BINARY_DIR "/screenshots");
    QDir().mkpath(shots);
    int lastWidth = 0;
    std::vector<Case> cases{{"English", 9, "DejaVu Sans"},  {"English", 12, "DejaVu Sans"},
                            {"English", 16, "DejaVu Sans"}, {"German", 9, "DejaVu Sans"},
                            {"German", 12, "DejaVu Sans"},  {"German", 16, "DejaVu Sans"}};
    for (const char *other : {"French", "Spanish", "Italian", "Portuguese_Brazil", "Polish",
                              "Russian", "Chinese_Simplified", "Japanese"})
        for (const int points : {9, 16})
            cases.push_back({other, points});
    for (const Case &c : cases) {
        AppTestEnvironment env;
        CLanguage &language = CLanguage::Instance();
        ASSERT_TRUE(language.Initialize(CW_BINARY_DIR "/bin", c.language));
        QFont font(c.face ? QString::fromLatin1(c.face)
                          : QString::fromStdString(language.GetInterfaceFont().lfFaceName));
        font.setPointSize(c.points);
        language.SaveInterfaceFont(FromQFont(font));
        const std::string where = std::string(c.language) + " " + std::to_string(c.points) + "pt";

        CVinteloDlg dialog(env.store);
        dialog.show();
        ExpectWhole(&dialog, "main " + where);
        EXPECT_EQ(dialog.size(), dialog.DialogUnitsToPixels(QRect(0, 0, 357, 196)).size());
        if (c.points == 9)
            lastWidth = 0;
        EXPECT_GT(dialog.width(), lastWidth) << where; // grows with every step
        lastWidth = dialog.width();
        const QString name
            = QString("%1/main-%2-%3pt.png").arg(shots).arg(c.language).arg(c.points);
        dialog.grab().save(name);

        CDialogOutputSettings options(env.store);
        options.m_szOutputFile = env.dir.path().toStdString() + "/output.wmv";
        options.OnInitDialog();
        options.show();
        ExpectWhole(&options, "options " + where);
        options.grab().save(
            QString("%1/options-%2-%3pt.png").arg(shots).arg(c.language).arg(c.points));
        // A format with compressors of its own shows their rows and the note instead.
        CDialogOutputSettings compressors(env.store);
        compressors.m_nOutputFormat = OutputFormatAvi;
        compressors.m_szOutputFile = env.dir.path().toStdString() + "/output.avi";
        // With a video open, its size and rate follow the "original" entries.
        compressors.m_nSourceWidth = 1920;
        compressors.m_nSourceHeight = 1080;
        compressors.m_dSourceFrameRate = 29.97;
        compressors.m_nPhotoCount = 1;
        compressors.m_sourceVideoCaps = "video/x-h264, stream-format=(string)avc";
        compressors.m_sourceAudioCaps = "audio/mpeg, mpegversion=(int)1, layer=(int)3";
        compressors.OnInitDialog();
        compressors.show();
        ExpectWhole(&compressors, "options avi " + where);

        CAboutDlg about;
        about.show();
        ExpectWhole(&about, "about " + where);
        EXPECT_GE(about.width(), dialog.width() * 244 / 357 - 1) << where; // the same units
        about.grab().save(QString("%1/about-%2-%3pt.png").arg(shots).arg(c.language).arg(c.points));
    }
}

// The status line shows its whole text at every font and in both languages: a long output path
// is shortened in its middle (both its ends stay), the resolution after it always shows.
TEST(FontScaling, StatusLineKeepsTheResolutionInView)
{
    for (const Case &c : {Case{"English", 0}, Case{"English", 9}, Case{"English", 16},
                          Case{"German", 0}, Case{"German", 9}, Case{"German", 16}}) {
        const std::string where = std::string(c.language) + " " + std::to_string(c.points) + "pt";
        AppTestEnvironment env;
        CLanguage &language = CLanguage::Instance();
        ASSERT_TRUE(language.Initialize(CW_BINARY_DIR "/bin", c.language));
        if (c.points) { // 0: the window's own font
            QFont font(QStringLiteral("DejaVu Sans"));
            font.setPointSize(c.points);
            language.SaveInterfaceFont(FromQFont(font));
        }
        const QString resolution = QString::fromStdString(language.GetString(116));
        const QString outputFile = QString::fromStdString(language.GetString(115));
        CVinteloDlg dialog(env.store);
        dialog.show();
        auto *status = qobject_cast<CStatusLine *>(dialog.Control(CVinteloDlg::IDC_STATIC_STATUS));
        ASSERT_NE(status, nullptr);
        const QFontMetrics metrics(status->font());

        for (const QString &folder :
             {QString("/v"), "/" + QString("Urlaubsvideos 2026 ").repeated(8)}) {
            const QString path = env.dir.path() + folder + "/clip.wmv";
            dialog.Job().m_szOutputFile = path.toStdString();
            dialog.OpenVideoFile(Fixture("h264_aac.mp4"));
            ASSERT_EQ(dialog.Job().m_nPhotoCount, 1) << where;
            const QString size = QString::number(dialog.Job().m_nOutputWidth) + '*'
                                 + QString::number(dialog.Job().m_nOutputHeight);
            const QString shown = status->ShownText();
            EXPECT_TRUE(status->text().contains(path)) << where;
            EXPECT_TRUE(shown.startsWith(outputFile + ' ' + env.dir.path().left(4)))
                << where << " " << shown.toStdString();
            EXPECT_TRUE(shown.endsWith("clip.wmv     " + resolution + ' ' + size))
                << where << " " << shown.toStdString();
            EXPECT_LE(metrics.horizontalAdvance(shown), status->TextWidth()) << where;
            if (folder.size() > 2)
                EXPECT_TRUE(shown.contains(QChar(0x2026))) << where;
            else
                EXPECT_EQ(shown, status->text()) << where;
        }
    }
}
