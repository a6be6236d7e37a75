// A drag source for the drag-and-drop tests: a small window that starts a
// real drag of the files named on its command line when the mouse is pressed
// on it, exactly as a file manager does. It prints "accepted" when a window
// under the pointer takes the drop and then how the drop ended, and stays
// (the target fetches the data after the drop) until it is ended.
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <QWidget>
#include <cstdio>

class DragSource : public QWidget
{
public:
    explicit DragSource(const QList<QUrl>& urls) : files(urls)
    {
        setWindowTitle(QStringLiteral("drag source"));
        setFixedSize(120, 120);
    }

protected:
    void mousePressEvent(QMouseEvent*) override
    {
        auto* drag = new QDrag(this);
        auto* data = new QMimeData;
        data->setUrls(files);
        drag->setMimeData(data);
        connect(drag, &QDrag::actionChanged, [](Qt::DropAction action) {
            if (action != Qt::IgnoreAction) {
                printf("accepted\n");
                fflush(stdout);
            }
        });
        const Qt::DropAction action = drag->exec(Qt::CopyAction);
        printf("dropped %d\n", int(action));
        fflush(stdout);
    }

private:
    QList<QUrl> files;
};

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QList<QUrl> urls;
    for (int i = 1; i < argc; ++i)
        urls << QUrl::fromLocalFile(QString::fromLocal8Bit(argv[i]));
    DragSource source(urls);
    source.move(1700, 1000);
    source.show();
    printf("ready\n");
    fflush(stdout);
    return app.exec();
}
