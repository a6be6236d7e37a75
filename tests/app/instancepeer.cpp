// A stand-in for a launch of the program, for the single-instance tests: it
// builds the application object with the program's key and then, like the
// real entry point, either hands its arguments to the running owner and exits,
// or becomes the owner and prints every message it receives.
#include "singleapplication.h"

#include <cstdio>

int main(int argc, char* argv[])
{
    SingleApplication app(argc, argv, QStringLiteral("orvelUniqueKey"));
    if (app.isRunning()) {
        const bool sent = app.sendMessage(QCoreApplication::arguments(), false);
        printf("sent %d\n", sent ? 1 : 0);
        return 0;
    }
    QObject::connect(&app, &SingleApplication::messageAvailable, [&app](const QStringList& message) {
        printf("message: %s\n", qPrintable(message.join(QLatin1Char('|'))));
        fflush(stdout);
        if (message == QStringList{QStringLiteral("quit")})
            app.quit();
    });
    printf("owner\n");
    fflush(stdout);
    return app.exec();
}
