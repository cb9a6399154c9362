// The test bench: a developer's window over the printer link library.
#include "fvqmain.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    FvqMain w;
    w.show();
    // VQ_BENCH_CLICK: buttons (object names, comma-separated) clicked once
    // after start, each logged when done; the demo uses it for its screenshot.
    const QStringList clicks = qEnvironmentVariable("VQ_BENCH_CLICK").split(',', Qt::SkipEmptyParts);
    QTimer::singleShot(0, &w, [&w, clicks] {
        for (const QString& name : clicks) {
            if (QPushButton* b = w.findChild<QPushButton*>(name.trimmed())) {
                b->click();
                qDebug() << "clicked" << b->objectName();
            }
        }
    });
    return app.exec();
}
