// Runs the test classes of the widgets one after the other; the exit code is
// the number of failed test functions. With ORVEL_WIDGET_TESTS=viewer only the
// viewer's tests run (the arguments may then name its test functions).
#include <QApplication>
#include <QStyleFactory>

int runTimelineWidgetTests(int argc, char** argv);
int runRangeTimelineWidgetTests(int argc, char** argv);
int runControlsTests(int argc, char** argv);
int runSoftwareViewerTests(int argc, char** argv);

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(resources);
    // The program's style; the pixel tests do not depend on it.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    if (qgetenv("ORVEL_WIDGET_TESTS") == "viewer")
        return runSoftwareViewerTests(argc, argv);
    int failures = 0;
    failures += runTimelineWidgetTests(argc, argv);
    failures += runRangeTimelineWidgetTests(argc, argv);
    failures += runControlsTests(argc, argv);
    failures += runSoftwareViewerTests(argc, argv);
    return failures;
}
