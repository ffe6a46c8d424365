#include "controls/ButtonST.h"
#include "media/core/MediaPlatform.h"
#include "media/playback/WaveSounds.h"
#include "platform/Sounds.h"
#include "resources/Artwork.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QMouseEvent>
#include <QTest>

#include <memory>

namespace {

constexpr int kHoverSound = 144;

// A window with two command buttons side by side on a plain coloured background.
struct ButtonRow
{
    QWidget window;
    CButtonST *first = new CButtonST(&window);
    CButtonST *second = new CButtonST(&window);

    ButtonRow()
    {
        window.resize(240, 80);
        QPalette colours = window.palette();
        colours.setColor(QPalette::Window, QColor(200, 40, 40));
        window.setPalette(colours);
        window.setAutoFillBackground(true);
        int x = 10;
        for (CButtonST *button : {first, second}) {
            button->setGeometry(x, 10, 100, 56);
            button->setText(button == first ? "Open Video" : "Options");
            button->SetIcons(artwork::Icon(artwork::IconOpen));
            button->SetHoverSound(kHoverSound);
            button->EnableTransparency();
            button->SetIconAlignment(CButtonST::IconAbove);
            x += 110;
        }
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    QPoint Centre(const CButtonST *button) const { return button->geometry().center(); }
};

// A move as the window system delivers it: through the window, with the buttons held.
void MoveTo(QWidget *window, const QPoint &point)
{
    QTest::mouseMove(window, point);
    QApplication::processEvents();
}

// A move delivered straight to a widget while the left button is held.
void DragMove(QWidget *target, const QPoint &local)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(local), QPointF(target->mapToGlobal(local)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
}

// What the window shows where the button is: the button composed over its parent.
QImage Shot(QWidget &window, const QWidget *button)
{
    return window.grab(button->geometry()).toImage();
}

bool Near(QRgb pixel, const QColor &colour)
{
    return qAbs(qRed(pixel) - colour.red()) + qAbs(qGreen(pixel) - colour.green())
               + qAbs(qBlue(pixel) - colour.blue())
           < 24;
}

bool IsGrey(QRgb pixel)
{
    return qAbs(qRed(pixel) - qGreen(pixel)) <= 2 && qAbs(qGreen(pixel) - qBlue(pixel)) <= 2;
}

} // namespace

TEST(CommandButtons, PointerFromOneButtonToTheNextMovesTheHighlightAndPlaysOnce)
{
    platform::SoundRecorder sounds;
    ButtonRow row;
    MoveTo(&row.window, QPoint(5, 5));
    EXPECT_FALSE(row.first->IsHovering());

    MoveTo(&row.window, row.Centre(row.first));
    EXPECT_TRUE(row.first->IsHovering());
    ASSERT_EQ(sounds.Count(), 1);
    EXPECT_EQ(sounds.Plays()[0].resource, kHoverSound);
    const unsigned expected = platform::SoundFromResource | platform::SoundNoDefault
                              | platform::SoundNoWait | platform::SoundAsync;
    EXPECT_EQ(sounds.Plays()[0].flags, expected);

    // More moves over the same button play nothing more.
    MoveTo(&row.window, row.Centre(row.first) + QPoint(5, 3));
    EXPECT_EQ(sounds.Count(), 1);

    MoveTo(&row.window, row.Centre(row.second));
    EXPECT_FALSE(row.first->IsHovering());
    EXPECT_TRUE(row.second->IsHovering());
    EXPECT_EQ(sounds.Count(), 2);
    MoveTo(&row.window, row.Centre(row.second) + QPoint(-4, 2));
    EXPECT_EQ(sounds.Count(), 2);

    // Leaving, losing the focus or being disabled ends the hover.
    MoveTo(&row.window, QPoint(235, 75));
    EXPECT_FALSE(row.second->IsHovering());
    MoveTo(&row.window, row.Centre(row.second));
    EXPECT_EQ(sounds.Count(), 3);
    row.second->setFocus();
    row.second->setEnabled(false);
    EXPECT_FALSE(row.second->IsHovering());
    EXPECT_FALSE(row.second->hasFocus());
}

TEST(CommandButtons, APressDraggedOffTheButtonStartsNoHoverElsewhere)
{
    platform::SoundRecorder sounds;
    ButtonRow row;
    MoveTo(&row.window, row.Centre(row.first));
    ASSERT_TRUE(row.first->IsHovering());
    QTest::mousePress(row.first, Qt::LeftButton, {}, row.first->rect().center());
    ASSERT_TRUE(row.first->isDown());

    // The pressed button still receives the moves: off it, its highlight ends.
    DragMove(row.first, row.first->mapFrom(&row.window, row.Centre(row.second)));
    EXPECT_FALSE(row.first->IsHovering());
    // The other button, reached with the button held, does not light up or sound.
    DragMove(row.second, QPoint(20, 20));
    EXPECT_FALSE(row.second->IsHovering());
    // Back on the pressed button with the button still held: no new hover either.
    DragMove(row.first, QPoint(20, 20));
    EXPECT_FALSE(row.first->IsHovering());
    EXPECT_EQ(sounds.Count(), 1);

    QTest::mouseRelease(row.first, Qt::LeftButton, {},
                        row.first->mapFrom(&row.window, row.Centre(row.second)));
    MoveTo(&row.window, row.Centre(row.second) + QPoint(1, 1));
    EXPECT_TRUE(row.second->IsHovering());
    EXPECT_EQ(sounds.Count(), 2);
}

TEST(CommandButtons, DrawsFlatWithEdgesOnlyWhenHoveredOrPressed)
{
    ButtonRow row;
    CButtonST *button = row.first;
    const QRgb light = button->palette().color(QPalette::Light).rgb();
    const QRgb dark = button->palette().color(QPalette::Dark).rgb();
    const auto corner = [&](int x, int y) { return Shot(row.window, button).pixel(x, y); };
    const int right = button->width() - 1, bottom = button->height() - 1;

    // Idle: no edge, the window's background shows through.
    EXPECT_EQ(corner(0, 0), qRgb(200, 40, 40));
    EXPECT_EQ(corner(right, bottom), qRgb(200, 40, 40));

    MoveTo(&row.window, row.Centre(button));
    ASSERT_TRUE(button->IsHovering());
    EXPECT_EQ(corner(0, 0), light); // raised
    EXPECT_EQ(corner(right, bottom), dark);

    const QRect iconUp = button->IconRect();
    const QRect textUp = button->TextRect();
    EXPECT_EQ(iconUp.top(), 3);
    EXPECT_LE(qAbs(iconUp.left() + iconUp.right() + 1 - button->width()), 1); // centred
    EXPECT_GT(textUp.top(), iconUp.bottom());
    button->setDown(true);
    EXPECT_EQ(corner(0, 0), dark); // sunken
    EXPECT_EQ(corner(right, bottom), light);
    EXPECT_EQ(button->IconRect(), iconUp.translated(1, 1));
    EXPECT_EQ(button->TextRect(), textUp.translated(1, 1));
    button->setDown(false);

    // Without transparency the button face is filled.
    CButtonST opaque(&row.window);
    opaque.setGeometry(10, 10, 60, 30);
    opaque.setText("X");
    opaque.show();
    EXPECT_EQ(Shot(row.window, &opaque).pixel(1, 1),
              opaque.palette().color(QPalette::Button).rgb());
}

TEST(CommandButtons, ADisabledButtonShowsAGreyEmbossedIconAndText)
{
    ButtonRow row;
    CButtonST *button = row.second;
    const QRect icon = button->IconRect();
    const QImage enabled = Shot(row.window, button);
    bool colouredWhenEnabled = false;
    for (int y = icon.top(); y <= icon.bottom(); ++y)
        for (int x = icon.left(); x <= icon.right(); ++x)
            colouredWhenEnabled
                |= !IsGrey(enabled.pixel(x, y)) && enabled.pixel(x, y) != qRgb(200, 40, 40);
    EXPECT_TRUE(colouredWhenEnabled);

    button->setEnabled(false);
    const QImage disabled = Shot(row.window, button);
    int ink = 0;
    for (int y = icon.top(); y <= icon.bottom(); ++y) {
        for (int x = icon.left(); x <= icon.right(); ++x) {
            const QRgb pixel = disabled.pixel(x, y);
            if (pixel == qRgb(200, 40, 40))
                continue;
            EXPECT_TRUE(IsGrey(pixel)) << x << "," << y;
            ++ink;
        }
    }
    EXPECT_GT(ink, 50);

    // The text: highlight one pixel down and right, shadow in place.
    const QColor light = button->palette().color(QPalette::Light);
    const QColor dark = button->palette().color(QPalette::Dark);
    int lightPixels = 0, darkPixels = 0;
    const QRect text = button->TextRect().adjusted(0, 0, 1, 1);
    for (int y = text.top(); y <= text.bottom(); ++y) {
        for (int x = text.left(); x <= text.right(); ++x) {
            const QRgb pixel = disabled.pixel(x, y);
            lightPixels += Near(pixel, light);
            darkPixels += Near(pixel, dark);
        }
    }
    EXPECT_GT(lightPixels, 5);
    EXPECT_GT(darkPixels, 5);
}

TEST(CommandButtons, AlignmentTooltipCursorAndALargeFont)
{
    ButtonRow row;
    CButtonST *button = row.first;
    const QRect icon = button->IconRect();
    EXPECT_EQ(button->SetIconAlignment(5), 4);
    EXPECT_EQ(button->IconAlignment(), CButtonST::IconAbove);
    EXPECT_EQ(button->IconRect(), icon);
    EXPECT_EQ(button->SetIconAlignment(CButtonST::IconLeft), 0);
    EXPECT_EQ(button->IconRect().left(), 3);
    EXPECT_GT(button->TextRect().left(), button->IconRect().right());
    button->SetIconAlignment(CButtonST::IconAbove);

    button->SetTooltip("Open a video file");
    EXPECT_EQ(button->toolTip(), "Open a video file");
    button->SetTooltip("inactive", false);
    EXPECT_TRUE(button->toolTip().isEmpty());

    button->SetHoverCursor(artwork::Cursor(artwork::CursorHand));
    EXPECT_EQ(button->cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(button->cursor().hotSpot(), QPoint(7, 1));
    EXPECT_FALSE(button->cursor().pixmap().isNull());

    // A large font: the caption stays whole inside the button, the icon gives way.
    QFont large("DejaVu Sans");
    large.setPixelSize(22);
    large.setBold(true);
    button->setFont(large);
    for (const char *caption : {"Open Video", "Konvertieren", "&Hilfe"}) {
        button->setText(caption);
        const QRect text = button->TextRect();
        EXPECT_TRUE(button->rect().contains(text)) << caption << ": " << text.x() << "," << text.y()
                                                   << " " << text.width() << "x" << text.height();
        EXPECT_FALSE(button->IconRect().intersects(text)) << caption;
    }
    // Two lines of a large font leave the icon less room.
    button->setText("Open Video");
    EXPECT_LT(button->IconRect().height(), icon.height());
}

TEST(CommandButtons, TheHoverSoundPlaysWithoutWaitingAndIsSilentWithoutADevice)
{
    const QByteArray wave = artwork::Sound(artwork::SoundHover);
    ASSERT_GT(wave.size(), 44);
    EXPECT_TRUE(wave.startsWith("RIFF"));
    EXPECT_EQ(wave.mid(8, 4), "WAVE");
    EXPECT_TRUE(artwork::Sound(1).isEmpty());

    ASSERT_TRUE(media::InitializeMediaPlatform(nullptr, media::MediaServices::Playback));
    auto sounds = std::make_unique<media::WaveSounds>();
    sounds->AddResource(kHoverSound, std::vector<unsigned char>(wave.begin(), wave.end()));
    platform::SoundService *previous = platform::SetSoundService(sounds.get());

    // Requests only leave a note for the sound's worker; a burst restarts the one sound.
    for (int i = 0; i < 5; ++i)
        platform::PlaySound({kHoverSound, {}, platform::SoundFromResource | platform::SoundAsync});
    platform::PlaySound({99, {}, platform::SoundFromResource}); // unknown: nothing
    platform::PlaySound({0, "/no/such.wav", 0});                // files are not ours: nothing
    ASSERT_TRUE(sounds->WaitIdle(60000));
    EXPECT_GE(sounds->StartedCount(kHoverSound), 1);
    EXPECT_LE(sounds->StartedCount(kHoverSound), 5);
    EXPECT_EQ(sounds->StartedCount(99), 0);

    platform::PlaySound({kHoverSound, {}, platform::SoundFromResource | platform::SoundAsync});
    ASSERT_TRUE(sounds->WaitIdle(60000));
    platform::SetSoundService(previous);
    sounds.reset(); // stops its worker and pipeline
}

TEST(CommandButtons, EnterPressesTheFocusedButtonInsteadOfClosingTheDialog)
{
    QDialog dialog;
    auto *button = new CButtonST(&dialog);
    button->setText("Options");
    int clicks = 0;
    QObject::connect(button, &QAbstractButton::clicked, [&] { ++clicks; });
    bool accepted = false;
    QObject::connect(&dialog, &QDialog::accepted, [&] { accepted = true; });
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QApplication::setActiveWindow(&dialog);
    // A focus the window does not show (given by a click) is not pressed.
    button->setFocus(Qt::MouseFocusReason);
    dialog.setAttribute(Qt::WA_KeyboardFocusChange, false);
    QTest::keyClick(button, Qt::Key_Return);
    EXPECT_EQ(clicks, 0);
    EXPECT_FALSE(button->FocusShown());
    // Tab shows it; then Enter presses the button.
    QTest::keyClick(button, Qt::Key_Tab);
    ASSERT_TRUE(button->hasFocus());
    EXPECT_TRUE(button->FocusShown());
    QTest::keyClick(button, Qt::Key_Return);
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(accepted);
}
