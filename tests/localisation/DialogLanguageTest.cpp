#include "localisation/DialogLanguage.h"
#include "LanguageFolder.h"
#include "localisation/InterfaceFont.h"
#include "localisation/Language.h"
#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>

namespace {

void SetText(QAbstractButton *button, const QString &text)
{
    button->setText(text);
}
void SetText(QLabel *label, const QString &text)
{
    label->setText(text);
}
void SetText(QLineEdit *edit, const QString &text)
{
    edit->setText(text);
}
void SetText(QWidget *, const QString &) {}

template<typename Widget>
Widget *Control(QWidget *parent, int number, const QString &text = QString())
{
    auto *widget = new Widget(parent);
    widget->setProperty("controlId", number);
    SetText(widget, text);
    return widget;
}

class ApplyToDialogTest : public ::testing::Test
{
protected:
    void SetUp() override { CLanguage::Instance().UseSettings(&m_store); }
    void TearDown() override { CLanguage::Instance().UseSettings(nullptr); }

    QTemporaryDir m_settingsDir;
    SettingsStore m_store{m_settingsDir.path().toStdString() + "/settings.conf"};
};

} // namespace

TEST_F(ApplyToDialogTest, RewritesCaptionAndControls)
{
    LanguageFolder folder;
    folder.Write("German.ini", "[DIALOG]\n"
                               "IDD_DIALOG_OUTPUT_OPTIONS=Ausgabeoptionen\n"
                               "IDC_BUTTON_BROWSE=Durchsuchen\n"
                               "IDC_STATIC_OUTPUT_FILE=Ausgabedatei:\n"
                               "IDC_STATIC_RESOLUTION=A\\nB\n"
                               "IDC_STATIC_FRAME_RATE=X\\nY\\n\n"
                               "IDC_STATIC_RESIZE_MODE=Skalierung:\n"
                               "IDC_STATIC_VIDEO_COMPRESSOR=Kompressor\n"
                               "IDC_BUTTON_OPTIONS_OK=Gut\n"
                               "IDC_BUTTON_OUTPUT_DEAULT=Zur\374ck\n"
                               "IDC_STATIC_OUTPUT_FORMAT=Format\n"
                               "[STRING]\n"
                               "IDS_MESSAGE_ERROR=Fehler\n");
    m_store.WriteInt("German", "lfHeight", -20);
    m_store.WriteInt("German", "lfWeight", 700);
    m_store.WriteInt("German", "lfItalic", 1);

    CLanguage language;
    language.UseSettings(&m_store);
    ASSERT_TRUE(language.Initialize(folder.Root(), "German"));

    QDialog dialog;
    dialog.setWindowTitle("Output options");
    const QFont original = dialog.font();
    auto *browse = Control<QPushButton>(&dialog, 1024, "Browse");
    auto *label = Control<QLabel>(&dialog, 1023, "Output file:");
    auto *sizes = Control<QComboBox>(&dialog, 1026);
    sizes->addItems({"old 1", "old 2", "old 3"});
    auto *rates = Control<QComboBox>(&dialog, 1078);
    auto *edit = Control<QLineEdit>(&dialog, 1079, "keep");
    auto *list = Control<QListWidget>(&dialog, 1080);
    auto *spin = Control<QSpinBox>(&dialog, 1082);
    auto *group = Control<QGroupBox>(&dialog, 1097);
    auto *untouched = Control<QPushButton>(&dialog, 1083, "Cancel");
    auto *latin1 = Control<QPushButton>(&dialog, 1051, "Default");
    auto *unnamed = Control<QLabel>(&dialog, 65535, "static");
    auto *unnumbered = new QLabel("no number", &dialog);
    auto *ok = Control<QPushButton>(&dialog, 1, "OK");
    auto *other = Control<QPushButton>(&dialog, 2, "Cancel");
    auto *grandChild = Control<QPushButton>(group, 1024, "inside");

    ASSERT_TRUE(ApplyToDialog(&dialog, 129, language));

    EXPECT_EQ(dialog.windowTitle(), "Ausgabeoptionen");
    EXPECT_NE(dialog.font(), original);
    EXPECT_EQ(browse->text(), "Durchsuchen");
    EXPECT_EQ(label->text(), "Ausgabedatei:");
    EXPECT_EQ(group->title(), "Format");
    EXPECT_EQ(sizes->count(), 2);
    EXPECT_EQ(sizes->itemText(0), "A");
    EXPECT_EQ(sizes->itemText(1), "B");
    ASSERT_EQ(rates->count(), 3);
    EXPECT_EQ(rates->itemText(2), "");
    EXPECT_EQ(edit->text(), "keep");
    EXPECT_EQ(list->count(), 0);
    EXPECT_EQ(spin->value(), 0);
    EXPECT_EQ(untouched->text(), "Cancel");
    // A single-byte file still shows its letters.
    EXPECT_EQ(latin1->text(), QString::fromUtf8("Zur\u00FCck"));
    EXPECT_EQ(unnamed->text(), "static");
    EXPECT_EQ(unnumbered->text(), "no number");
    EXPECT_EQ(grandChild->text(), "inside");
    // Numbers below 100 are messages, with the built-in strings behind them.
    EXPECT_EQ(ok->text(), "OK");
    EXPECT_EQ(other->text(), "Cancel");

    // The interface font reaches every control, also those the language gives no text.
    EXPECT_EQ(browse->font().pixelSize(), 20);
    EXPECT_EQ(browse->font().weight(), QFont::Bold);
    EXPECT_TRUE(label->font().italic());
    for (QWidget *control : std::initializer_list<QWidget *>{untouched, sizes, ok, edit, spin})
        EXPECT_EQ(control->font().pixelSize(), 20);

    // An empty caption text leaves the caption alone.
    dialog.setWindowTitle("About");
    EXPECT_TRUE(ApplyToDialog(&dialog, 100, language));
    EXPECT_EQ(dialog.windowTitle(), "About");
}

TEST_F(ApplyToDialogTest, MessageNumbersAndMissingLanguage)
{
    LanguageFolder folder;
    CLanguage language;
    language.UseSettings(&m_store);
    QDialog dialog;
    auto *button = Control<QPushButton>(&dialog, 1024, "Browse");
    auto *error = Control<QLabel>(&dialog, 5, "five");

    EXPECT_FALSE(language.Initialize(folder.Root(), "english"));
    EXPECT_FALSE(ApplyToDialog(&dialog, 129, language));
    EXPECT_FALSE(ApplyToDialog(nullptr, 129, language));
    EXPECT_EQ(button->text(), "Browse");

    folder.Write("English.ini", "[STRING]\nIDS_MESSAGE_ERROR=Oops\n");
    ASSERT_TRUE(language.Initialize(folder.Root(), "english"));
    EXPECT_TRUE(ApplyToDialog(&dialog, 129, language));
    EXPECT_EQ(button->text(), "Browse");
    EXPECT_EQ(error->text(), "five");
}

TEST(InterfaceFont, ConvertsBothWays)
{
    LogFont record;
    record.lfHeight = -18;
    record.lfWeight = 700;
    record.lfItalic = 1;
    record.lfUnderline = 1;
    record.lfStrikeOut = 1;
    record.lfPitchAndFamily = 0x31;
    record.lfFaceName = "DejaVu Sans Mono";
    const QFont font = ToQFont(record);
    EXPECT_EQ(font.pixelSize(), 18);
    EXPECT_EQ(font.weight(), QFont::Bold);
    EXPECT_TRUE(font.italic());
    EXPECT_TRUE(font.underline());
    EXPECT_TRUE(font.strikeOut());
    EXPECT_TRUE(font.fixedPitch());
    EXPECT_EQ(font.family(), "DejaVu Sans Mono");

    const LogFont back = FromQFont(font);
    EXPECT_EQ(back.lfHeight, -18);
    EXPECT_EQ(back.lfWeight, 700);
    EXPECT_EQ(back.lfItalic, 1);
    EXPECT_EQ(back.lfUnderline, 1);
    EXPECT_EQ(back.lfStrikeOut, 1);
    EXPECT_EQ(back.lfPitchAndFamily, 0x31);
    EXPECT_EQ(back.lfFaceName, "DejaVu Sans Mono");

    // A positive height is the cell height: the line is no taller than asked.
    record = LogFont();
    record.lfHeight = 24;
    EXPECT_LE(QFontMetrics(ToQFont(record)).height(), 26);

    // Damaged records give a usable font.
    record = LogFont();
    record.lfHeight = INT_MIN;
    record.lfWidth = INT_MAX;
    record.lfWeight = -5;
    record.lfFaceName.clear();
    const QFont damaged = ToQFont(record);
    EXPECT_GT(damaged.pixelSize(), 0);
    EXPECT_LE(damaged.pixelSize(), 512);
    record.lfHeight = INT_MAX;
    record.lfWeight = INT_MAX;
    EXPECT_LE(ToQFont(record).pixelSize(), 512);

    QFont points("Sans");
    points.setPointSize(12);
    EXPECT_LT(FromQFont(points).lfHeight, 0);
}
