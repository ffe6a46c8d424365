// Opens the output options dialog on the real display and saves a picture of it, for looking
// at the layout by eye:
//   xvfb-run -a options-dialog-shot LANGUAGE FORMAT shot.png [WIDTH HEIGHT [custom|copy]]
// LANGUAGE names a file of the language folder beside the program ("english", "german"),
// FORMAT is a stored container code (1 WMV, 3 ASF, 0 AVI, ...); WIDTH and HEIGHT describe an
// opened video; "custom" opens on a custom size and frame rate. CW_SHOT_FONT_PT=16 sets that
// interface font first, as the Font command would; CW_SHOT_OUTPUT names the output file shown.
#include "localisation/InterfaceFont.h"
#include "localisation/Language.h"
#include "options/DialogOutputSettings.h"
#include "platform/MessageBoxes.h"
#include "settings/SettingsStore.h"

#include <QApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s LANGUAGE FORMAT OUTPUT.png [WIDTH HEIGHT [custom|copy]]\n",
                     argv[0]);
        return 2;
    }
    QTemporaryDir dir;
    SettingsStore store((dir.path() + "/clipwright.conf").toStdString());
    CLanguage::Instance().UseSettings(&store);
    platform::MessageBoxRecorder boxes;
    CLanguage::Instance().Initialize(CLanguage::GetLanguageRoot(), argv[1]);
    if (const int points = qEnvironmentVariableIntValue("CW_SHOT_FONT_PT"); points > 0)
        CLanguage::Instance().SaveInterfaceFont(
            FromQFont(QFont(QStringLiteral("DejaVu Sans"), points)));

    CDialogOutputSettings dialog(store);
    dialog.m_nOutputFormat = std::atoi(argv[2]);
    dialog.m_szOutputFile = qEnvironmentVariableIsSet("CW_SHOT_OUTPUT")
                                ? qEnvironmentVariable("CW_SHOT_OUTPUT").toStdString()
                                : dir.path().toStdString() + "/output.wmv";
    ApplyFormatExtension(dialog.m_nOutputFormat, dialog.m_szOutputFile, &dialog.m_szOutputFile);
    dialog.m_nVideoBitrate = 798720;
    dialog.m_nAudioBitrate = 128000;
    if (argc > 5) {
        dialog.m_nSourceWidth = dialog.m_nOutputWidth = std::atoi(argv[4]);
        dialog.m_nSourceHeight = dialog.m_nOutputHeight = std::atoi(argv[5]);
        dialog.m_dSourceFrameRate = 29.97;
        dialog.m_nPhotoCount = 1;
    }
    // "copy": an H.264/AAC source whose streams the lists offer to copy, copy chosen.
    const bool copy = argc > 6 && std::strcmp(argv[6], "copy") == 0;
    if (copy) {
        dialog.m_sourceVideoCaps = "video/x-h264, stream-format=(string)avc, alignment=(string)au";
        dialog.m_sourceAudioCaps = "audio/mpeg, mpegversion=(int)4, stream-format=(string)raw";
        store.WriteString("DexVideoCompress", "CompressorName", "copy");
        store.WriteInt("DexVideoCompress", "CompressorNumber", 0);
        store.WriteString("DexAudioCompress", "CompressorName", "copy");
        store.WriteInt("DexAudioCompress", "CompressorNumber", 0);
    }
    if (argc > 6 && std::strcmp(argv[6], "custom") == 0) {
        dialog.m_nOutputWidth = 800;
        dialog.m_nOutputHeight = 600;
        dialog.m_nFrameRateIndex = FrameRateCustom;
        dialog.m_dOutputFrameRate = 12.5;
    }
    dialog.OnInitDialog();
    dialog.move(10, 10);
    dialog.show();
    QTimer::singleShot(800, [&] {
        const QRect frame = dialog.frameGeometry().adjusted(-4, -4, 4, 4);
        const bool saved = QGuiApplication::primaryScreen()
                               ->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
                               .save(argv[3]);
        std::printf("%s: %dx%d dialog \"%s\"\n", saved ? "saved" : "NOT saved", dialog.width(),
                    dialog.height(), dialog.windowTitle().toStdString().c_str());
        for (const auto &box : boxes.Boxes())
            std::printf("message: %s\n", box.text.c_str());
        app.exit(saved ? 0 : 1);
    });
    return app.exec();
}
