// Opens the settings dialog of one encoder on the real display and saves a picture of the
// screen, for looking at the editors by eye:
//   xvfb-run -a property-dialog-shot x264enc shot.png [scroll-fraction]
// or the element list of a graph:
//   xvfb-run -a property-dialog-shot "graph:videotestsrc ! x264enc ! mp4mux ! fakesink" shot.png
#include "media/encoders/CompressorEnumeration.h"
#include "options/DialogFilterPerproty.h"
#include "options/PropertyDialog.h"

#include <QApplication>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FACTORY OUTPUT.png [SCROLL-FRACTION]\n", argv[0]);
        return 2;
    }
    const QString what = QString::fromLocal8Bit(argv[1]);
    if (what.startsWith(QLatin1String("graph:"))) {
        media::Filter graph;
        if (FAILED(media::CreateGraphFromDescription(what.mid(6).toStdString(), &graph))) {
            std::fprintf(stderr, "no graph %s\n", argv[1]);
            return 1;
        }
        CDialogFilterPerproty dialog(graph);
        dialog.move(10, 10);
        dialog.show();
        QTimer::singleShot(800, [&] {
            const bool saved = QGuiApplication::primaryScreen()->grabWindow(0).save(argv[2]);
            app.exit(saved ? 0 : 1);
        });
        return app.exec();
    }
    media::Filter encoder;
    if (FAILED(media::CreateCompressor(argv[1], &encoder))) {
        std::fprintf(stderr, "no encoder %s\n", argv[1]);
        return 1;
    }
    PropertyDialog dialog(encoder, QString::fromStdString(media::CompressorFriendlyName(argv[1])));
    dialog.move(10, 10);
    dialog.show();
    const double fraction = argc > 3 ? QString::fromLatin1(argv[3]).toDouble() : 0.0;
    QTimer::singleShot(800, [&] {
        QScrollBar *bar = dialog.findChild<QScrollArea *>()->verticalScrollBar();
        bar->setValue(static_cast<int>(bar->maximum() * fraction));
        QTimer::singleShot(400, [&] {
            const bool saved = QGuiApplication::primaryScreen()->grabWindow(0).save(argv[2]);
            std::printf("%s: %dx%d dialog, scroll range %d\n", saved ? "saved" : "NOT saved",
                        dialog.width(), dialog.height(),
                        dialog.findChild<QScrollArea *>()->verticalScrollBar()->maximum());
            app.exit(saved ? 0 : 1);
        });
    });
    return app.exec();
}
