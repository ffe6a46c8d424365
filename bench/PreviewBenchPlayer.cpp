// Plays one file in the preview player from start to end, as the program does, for the
// preview benchmark. Prints how many pictures were painted.
#include "platform/MessageBoxes.h"
#include "preview/VcdCore.h"
#include "preview/VideoWidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: clipwright-preview-bench MEDIA\n");
        return 2;
    }
    QWidget owner;
    CVcdCore player(&owner);
    player.m_szMediaPath = argv[1];
    if (!player.OpenClip())
        return 1;
    player.Play();
    int paints = 0;
    QElapsedTimer clock;
    clock.start();
    // Completion stops the player; an hour is a bound, not an expectation.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (player.VideoWidget())
            paints = player.VideoWidget()->PaintCount();
        if (player.State() != Running || clock.elapsed() > 3600 * 1000)
            QCoreApplication::exit(0); // quit() would ask the preview window to close
    });
    watch.start(100);
    app.exec();
    const bool completed = player.State() == Stopped;
    player.CloseClip();
    std::printf("painted: %d\n", paints);
    return completed ? 0 : 1;
}
