#include "appsettings.h"
#include "commandline.h"
#include "darkstyle.h"
#include "paintprobe.h"
#include "player.h"
#include "programinfo.h"
#include "singleapplication.h"
#include "terminationsignals.h"
#include "timerresolution.h"

#include <QTimer>
#include <cstdio>
#include <memory>

namespace {

const QString uniqueKey = QStringLiteral("orvelUniqueKey");
// After a termination signal the window closes normally (unloading first);
// should that take longer, the event loop is left regardless.
constexpr int terminationGraceMs = 800;

QStringList rawArguments(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

int runPlayer(SingleApplication& app, Player& player)
{
    // Only the owner of the single-instance channel hears from later launches.
    if (!app.isRunning()) {
        QObject::connect(&app, &SingleApplication::messageAvailable, &player,
                         &Player::receiveMessageFromOtherInstance);
        QObject::connect(&app, &SingleApplication::messageRefused, &player, &Player::reportWarning);
        app.startDeliveringMessages();
    }
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &player, [&player]() {
        player.closeUnattended();
        QTimer::singleShot(terminationGraceMs, qApp, &QCoreApplication::quit);
    });
    const TimerResolution resolution;
    PaintProbe::installFromEnvironment(&player);
    player.show();
    return app.exec();
}

} // namespace

int main(int argc, char* argv[])
{
    // Answered before anything else: no window, no hand-over.
    const CommandLine early = CommandLine::parse(rawArguments(argc, argv));
    if (early.request == CommandLine::Request::Help) {
        fputs(qPrintable(CommandLine::usage()), stdout);
        return 0;
    }
    if (early.request == CommandLine::Request::Version) {
        printf("%s %s\n", ProgramInfo::productName, ProgramInfo::version);
        return 0;
    }

    Q_INIT_RESOURCE(resources);
    SingleApplication app(argc, argv, uniqueKey);
    const CommandLine args = CommandLine::parse(QCoreApplication::arguments().mid(1));

    // A launch that hands its files over builds no window and opens nothing.
    loadAppSettings();
    if (app.isRunning() && !appSettings().openMediaInNewPlayers) {
        switch (app.handOver(CommandLine::absoluteArguments(args.entries))) {
        case SingleApplication::HandOver::Delivered:
            return 0;
        case SingleApplication::HandOver::NoAnswer:
            return 1;
        case SingleApplication::HandOver::BecameOwner:
            break;
        }
    }

    DarkStyle::apply(app);
    auto player = std::make_unique<Player>();
    player->openLaunchFiles(args.entries);
    if (!player->isRemoteControlListening())
        player->reportWarning(
            QStringLiteral("remote control is off: port %1 is not available").arg(appSettings().tcpPort));
    const int code = runPlayer(app, *player);
    player.reset();
    return code;
}
