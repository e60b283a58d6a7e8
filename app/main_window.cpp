#include "app/main_window.h"

#include "app/alphapicture.h"
#include "app/skin.h"
#include "player/mediaplayer.h"
#include "extract/road.h"
#include "update/versioncheck.h"
#include "web/cancel.h"
#include "web/getbody.h"
#include "web/lookupcache.h"
#include "download/records.h"
#include "web/transfer.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QUrl>
#include <QWindow>

namespace App {

namespace {

const QString productName = QStringLiteral("ZavlenAPP视频助手");

const QString serviceChosen[] = {
    QStringLiteral("您当前选择的是微视视频提取.."),
    QStringLiteral("您当前选择的是美拍视频提取.."),
    QStringLiteral("您当前选择的是GIF快手视频提取.."),
    QString(),
    QStringLiteral("您当前选择的是秒拍视频提取.."),
};

} // namespace

Form1::Form1(const Config::Settings &settings, QWidget *parent)
    : QWidget(parent)
    , m_settings(settings)
    , m_pictures(firstPaintPictures(), firstPaintPreviews())
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(productName);
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setFixedSize(777, 571);
    setMouseTracking(true);

    setHooks({});
    buildControls();
    // Opened when first asked: by the archive's road, or by a download telling its files from others'.
    m_archiveCache = m_settings.cache.enabled && m_settings.archive.mode != Config::ArchiveMode::Off;
    m_cache = std::make_shared<Web::DeferredLookupCache>(
        Web::LookupCache::defaultPath(), m_settings.cache.maxAgeDays,
        [](const QString &warning) { qWarning("%s", qUtf8Printable(warning)); });
    m_records = std::make_shared<Download::Records>(m_cache);

    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

Form1::~Form1()
{
    // A road under way ends at its next request or wait; m_roads waits for it as it goes.
    if (m_extraction)
        m_extraction->cancel();
}

QStringList Form1::firstPaintPictures()
{
    return {
        QStringLiteral(":/assets/badge_weishi.jpg"), QStringLiteral(":/assets/badge_red.jpg"),
        QStringLiteral(":/assets/hand.png"),         QStringLiteral(":/assets/logo.jpg"),
        QStringLiteral(":/assets/buttons.jpg"),      QStringLiteral(":/assets/frame.jpg"),
    };
}

void Form1::setHooks(Hooks hooks)
{
    // A hook left empty keeps its desktop behaviour.
    if (!hooks.messageBox) {
        hooks.messageBox = [this](const QString &text, int style) {
            QMessageBox box(style == 48 ? QMessageBox::Warning : QMessageBox::Information,
                            Update::messageTitle, text, QMessageBox::Ok, this);
            box.exec();
        };
    }
    if (!hooks.openPage)
        hooks.openPage = [](const QString &address) { QDesktopServices::openUrl(QUrl(address)); };
    if (!hooks.endProgram) {
        // The event loop ends and the window with it: requests are aborted, a road under way is
        // cancelled and waited for, files are closed.
        hooks.endProgram = [] { QCoreApplication::quit(); };
    }
    if (!hooks.askSavePath) {
        hooks.askSavePath = [this](const QString &proposed) {
            return QFileDialog::getSaveFileName(this, Update::messageTitle, proposed);
        };
    }
    if (!hooks.startMove) {
        hooks.startMove = [this] {
            if (QWindow *window = windowHandle())
                window->startSystemMove();
        };
    }
    m_hooks = std::move(hooks);
}
void Form1::Form_Load()
{
    if (m_loaded)
        return;
    m_loaded = true;

    setWindowIcon(QIcon());
    m_picture1->setGeometry(2, m_picture1->y(), width() - 3, m_picture1->height());
    m_w1->setVisible(false);
    {
        // Restyling every control is the dearest step of the start-up: once for both calls.
        const SkinBatch once;
        SkinH_AttachEx(QCoreApplication::applicationDirPath() + QStringLiteral("/skinh.she"), QString());
        SkinH_AdjustHSV(-44, -40, 0);
    }
    {
        // Reading the player's volume is no scroll of the slider.
        const QSignalBlocker quiet(m_slider1);
        m_slider1->setValue(m_w1->volume());
    }
    show();
    m_command5->setFocus();
    gx();
}

void Form1::gx()
{
    Web::FetchOptions options;
    options.headers = Web::pageHeaders();
    auto *load = new Web::Transfer(m_settings.maker.versionRecordUrl, options, this);
    m_versionLoad = load;
    connect(load, &Web::Transfer::finished, this, [this, load] {
        load->deleteLater();
        onVersionRecord(Web::bodyText(load->result()));
    });
}

void Form1::onVersionRecord(const std::optional<QString> &record)
{
    const Update::Decision decision = Update::decide(record);
    switch (decision.outcome) {
    case Update::Outcome::Newer:
        showMessage(Update::newerVersionMessage(decision.version), 64);
        m_hooks.openPage(m_settings.maker.forumUrl);
        m_hooks.endProgram();
        Q_EMIT updateChecked();
        return;
    case Update::Outcome::Unavailable:
        // No word from the maker is no reason to lock the user out.
        showMessage(Update::checkFailedMessage, 48);
        break;
    case Update::Outcome::Current:
        break;
    }
    m_command1->setEnabled(true);
    m_text1->setEnabled(true);
    m_frame1->setEnabled(true);
    setStatus(Update::welcomeStatus);
    Q_EMIT updateChecked();
}

void Form1::Command4_Click()
{
    m_hooks.endProgram();
}

void Form1::Command5_Click()
{
    m_hooks.openPage(m_settings.maker.forumUrl);
}

void Form1::Option1_Click(int)
{
    // The result would arrive with another service chosen than the one it belongs to.
    cancelExtraction();
    for (int i : {0, 1, 2, 4}) {
        if (m_option1[std::size_t(i)]->isChecked()) {
            setStatus(serviceChosen[i]);
            return;
        }
    }
}

void Form1::Labe1_Click(int) {}

void Form1::Text1_DblClick()
{
    const QClipboard *clipboard = QGuiApplication::clipboard();
    // text() is empty when the clipboard holds no text at all
    m_text1->setText(clipboard ? clipboard->text() : QString());
}

void Form1::Text1_MouseMove()
{
    if (m_text1->text() == addressHint)
        m_text1->clear();
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (watched == m_text1 && m_text1->isEnabled()) {
        if (type == QEvent::MouseButtonDblClick) {
            Text1_DblClick();
            return true;
        }
        if (type == QEvent::MouseMove)
            Text1_MouseMove();
    } else if (watched == m_label10) {
        // The link sits in the title strip: its presses must not start a drag of the window.
        switch (type) {
        case QEvent::MouseMove: Label10_MouseMove(); return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: Label10_MouseDown(); return true;
        case QEvent::MouseButtonRelease: Label10_MouseUp(); return true;
        default: break;
        }
    } else if (type == QEvent::MouseButtonRelease) {
        for (int i = 0; i < 2; ++i) {
            if (watched == m_labe1[std::size_t(i)]) {
                Labe1_Click(i);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && m_extraction) {
        cancelExtraction();
        return;
    }
    QWidget::keyPressEvent(event);
}

void Form1::cancelExtraction()
{
    if (!m_extraction)
        return;
    m_extraction->cancel();
    m_extraction.reset();
    delete m_coverLoad;
    delete m_avatarLoad;
    m_command1->setEnabled(true);
    setStatus(Extract::statusCancelled);
}

void Form1::setStatus(const QString &text)
{
    m_label5->setText(text);
    m_label5->adjustSize();
}

void Form1::showMessage(const QString &text, int style)
{
    m_hooks.messageBox(text, style);
}

void Form1::Command1_Click()
{
    for (QLabel *badge : m_v)
        badge->setVisible(false);

    int chosen = -1;
    for (int i = 0; i < 5 && chosen < 0; ++i) {
        if (m_option1[std::size_t(i)]->isChecked())
            chosen = i;
    }
    if (chosen < 0 || chosen == int(Extract::Service::Weipai))
        return;

    // The checks need no network: they run here, and only an address that passes goes on.
    const Extract::RoadResult checked = Extract::checkRoad(m_text1->text(), Extract::Service(chosen), m_settings);
    if (!checked.started) {
        setStatus(checked.result.status);
        return;
    }
    m_command1->setEnabled(false);
    setStatus(Extract::statusExtracting);
    m_aicAlphaImage1->setVisible(true);
    m_aicAlphaImage2->setVisible(false);
    m_image1->setVisible(true);
    m_w1->setURL(QString());
    clearResult();

    // Its own token: after a cancel, another extraction may start while this one still unwinds.
    const auto token = std::make_shared<Web::CancelToken>();
    m_extraction = token;
    Extract::RoadHooks hooks;
    hooks.cancel = token.get();
    hooks.cache = m_archiveCache ? m_cache.get() : nullptr;
    hooks.status = [this, token](const QString &status) {
        QMetaObject::invokeMethod(this, [this, token, status] {
            if (!token->isCancelled())
                setStatus(status);
        }, Qt::QueuedConnection);
    };
    m_roads.start([this, checked, token, hooks, cfg = m_settings, cache = m_cache] {
        const Extract::RoadResult road = Extract::continueRoad(checked, cfg, Web::networkFetch(), hooks);
        QMetaObject::invokeMethod(this, [this, road, token] {
            if (!token->isCancelled())
                endExtraction(road);
        }, Qt::QueuedConnection);
    });
}

void Form1::endExtraction(const Extract::RoadResult &road)
{
    // The extraction ends once its pictures are in: only then is the button usable again.
    const auto end = [this, status = road.result.status] {
        m_extraction.reset();
        m_command1->setEnabled(true);
        m_playing = 0;
        setStatus(status);
        Q_EMIT extractionEnded();
    };
    if (road.result.slot.isEmpty(0)) {
        clearResult();
        end();
    } else {
        applyResult(road, end);
    }
}

} // namespace App
