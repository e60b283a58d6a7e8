#include "app/startup/fontsetup.h"
#include "app/main_window.h"
#include "config/settings.h"
#include "demo/demosite.h"
#include "demo/loopbacksite.h"
#include "os/system.h"
#include "player/mediaplayer.h"
#include "web/network.h"

#include <QApplication>
#include <QClipboard>
#include <QCommandLineParser>
#include <QLineEdit>
#include <QRadioButton>
#include <QTextStream>
#include <QTimer>
#include <QEvent>
#include <QFont>
#include <cstdlib>
#include <memory>

namespace {

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

// In demo mode every service choice puts that service's sample address on the clipboard,
// so that a double click on the address box is all it takes.
void offerDemoAddresses(App::Form1 &window, const QList<QPair<Extract::Service, QString>> &addresses)
{
    for (const auto &[service, address] : addresses) {
        const QString name = QStringLiteral("Option1(%1)").arg(int(service));
        auto *option = window.findChild<QRadioButton *>(name);
        if (!option)
            continue;
        QObject::connect(option, &QRadioButton::clicked, &window, [a = address] {
            QGuiApplication::clipboard()->setText(a);
        });
    }
}

// Once the update check has let the window be used: one extraction of the first sample address,
// then the window's picture is saved and the program ends.
void takeScreenshot(App::Form1 &window, const QList<QPair<Extract::Service, QString>> &addresses,
                    const QString &file)
{
    const auto save = [&window, file] {
        if (window.isWaiting())
            return;
        const bool saved = window.grab().save(file);
        if (!saved)
            err() << "zavlen-video: cannot write " << file << Qt::endl;
        QCoreApplication::exit(saved ? 0 : 1);
    };
    QObject::connect(&window, &App::Form1::updateChecked, &window, [&window, addresses, save] {
        if (addresses.isEmpty())
            return save();
        const auto &[service, address] = addresses.constFirst();
        if (auto *option = window.findChild<QRadioButton *>(QStringLiteral("Option1(%1)").arg(int(service))))
            option->click();
        if (auto *box = window.findChild<QLineEdit *>(QStringLiteral("Text1")))
            box->setText(address);
        QObject::connect(&window, &App::Form1::extractionEnded, &window, save, Qt::QueuedConnection);
        window.Command1_Click();
        save(); // an address that fails its checks starts no extraction
    });
}

// Hidden option for the start-up benchmark: end the process right after the first paint, the
// same way its bare baseline window does.
class ExitAfterFirstPaint final : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            QTimer::singleShot(0, this, [] { std::_Exit(0); });
        return false;
    }
};

} // namespace

int main(int argc, char *argv[])
{
    App::FontSetup fonts;
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zavlen-video"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZAVLEN_VERSION));
    // Lets the desktop match the window to its menu entry and icon (the Wayland app id).
    QGuiApplication::setDesktopFileName(QStringLiteral(ZAVLEN_APP_ID));
    if (const QStringList families = Os::applicationFontFamilies(); !families.isEmpty()) {
        QFont font = QApplication::font();
        font.setFamilies(families);
        QApplication::setFont(font);
    }

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("ZavlenAPP视频助手"));
    parser.addHelpOption();
    parser.addVersionOption();
    Config::addOptions(parser);
    const QCommandLineOption demoOption(QStringLiteral("demo"),
                                        QStringLiteral("Serve the built-in sample site in-process and use it for every address."));
    const QCommandLineOption screenshotOption(QStringLiteral("screenshot"),
                                              QStringLiteral("With --demo: extract a sample from the web archive, save a picture of the window to <file> and quit."),
                                              QStringLiteral("file"));
    parser.addOption(demoOption);
    parser.addOption(screenshotOption);
    QCommandLineOption quitAfterPaintOption(QStringLiteral("quit-after-first-paint"), QString());
    quitAfterPaintOption.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(quitAfterPaintOption);
    parser.process(app);

    // A file the window saves carries what the page says of it unless the user says otherwise.
    Config::Settings windowDefaults;
    windowDefaults.download.embedMetadata = true;
    const Config::LoadResult loaded = Config::fromParser(parser, windowDefaults);
    if (!loaded.settings) {
        err() << "zavlen-video: " << loaded.error << Qt::endl;
        return 2;
    }
    Config::Settings settings = *loaded.settings;

    std::unique_ptr<Demo::LoopbackSite> site;
    QList<QPair<Extract::Service, QString>> samples;
    QList<QPair<Extract::Service, QString>> archivedSamples;
    if (parser.isSet(demoOption)) {
        site = std::make_unique<Demo::LoopbackSite>();
        if (!site->listen()) {
            err() << "zavlen-video: cannot start the sample site" << Qt::endl;
            return 2;
        }
        Demo::useDemoSite(settings, site->proxyUrl());
        // Filled when the version check first asks it, after the first paint.
        site->prepareOnFirstRequest([s = site.get(), settings] { Demo::addDemoSite(*s, settings); });
        samples = Demo::demoAddresses(settings);
        archivedSamples = Demo::archivedDemoAddresses(settings);
        err() << "Sample addresses:" << Qt::endl;
        for (const auto &[service, address] : samples)
            err() << "  " << Extract::serviceKey(service) << "  " << address << Qt::endl;
        err() << "Lost pages, kept by the web archive:" << Qt::endl;
        for (const auto &[service, address] : archivedSamples)
            err() << "  " << Extract::serviceKey(service) << "  " << address << Qt::endl;
    }
    Web::NetworkAccess::configure(settings);
    Player::MediaPlayer::setProxy(settings.network.proxy);

    fonts.wait();
    App::Form1 window(settings);
    if (site)
        offerDemoAddresses(window, samples);
    if (parser.isSet(screenshotOption)) {
        App::Form1::Hooks hooks;
        hooks.messageBox = [](const QString &text, int) { err() << text << Qt::endl; };
        window.setHooks(hooks);
        // The Meipai page the archive keeps, with its video: the road most pages take today.
        takeScreenshot(window, {archivedSamples.value(1)}, parser.value(screenshotOption));
        window.Form_Load();
        return app.exec();
    }
    ExitAfterFirstPaint exitAfterPaint;
    if (parser.isSet(quitAfterPaintOption))
        window.installEventFilter(&exitAfterPaint);
    window.Form_Load();
    return app.exec();
}
