// A stand-in for a launch of the program, for the single-instance tests: it
// builds the application object with the program's key and then, like the
// real entry point, either hands its arguments to the running owner and exits
// ("sent", or "no answer" and status 1), or becomes the owner ("owner") and
// prints every message it receives.
#include "singleapplication.h"

#include <cstdio>

int main(int argc, char* argv[])
{
    SingleApplication app(argc, argv, QStringLiteral("orvelUniqueKey"));
    if (app.isRunning()) {
        switch (app.handOver(QCoreApplication::arguments().mid(1))) {
        case SingleApplication::HandOver::Delivered:
            printf("sent\n");
            return 0;
        case SingleApplication::HandOver::NoAnswer:
            printf("no answer\n");
            return 1;
        case SingleApplication::HandOver::BecameOwner:
            break;
        }
    }
    QObject::connect(&app, &SingleApplication::messageAvailable, [&app](const QStringList& message) {
        printf("message: %s\n", qPrintable(message.join(QLatin1Char('|'))));
        fflush(stdout);
        if (message == QStringList{QStringLiteral("quit")})
            app.quit();
    });
    QObject::connect(&app, &SingleApplication::messageRefused, [](const QString& reason) {
        printf("refused: %s\n", qPrintable(reason));
        fflush(stdout);
    });
    app.startDeliveringMessages();
    printf("owner\n");
    fflush(stdout);
    return app.exec();
}
