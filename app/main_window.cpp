#include "app/main_window.h"

#include "app/alphapicture.h"
#include "app/skin.h"
#include "player/mediaplayer.h"
#include "extract/road.h"
#include "update/versioncheck.h"
#include "web/cancel.h"
#include "web/getbody.h"

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
#include <cstdlib>

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

    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

Form1::~Form1() = default;

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
        // At once, even from inside a page fetch's wait: no handler may run after this.
        hooks.endProgram = [] { std::_Exit(0); };
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
    QPointer<Form1> self(this);
    const Web::BodyResult record = Web::GetBody(m_settings.maker.versionRecordUrl);
    if (!self)
        return;
    const Update::Decision decision = Update::decide(record.text);
    switch (decision.outcome) {
    case Update::Outcome::Newer:
        showMessage(Update::newerVersionMessage(decision.version), 64);
        m_hooks.openPage(m_settings.maker.forumUrl);
        m_hooks.endProgram();
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

    QPointer<Form1> self(this);
    // Its own token: after a cancel, another extraction may start while this one still unwinds.
    const auto token = std::make_shared<Web::CancelToken>();
    m_extraction = token;
    Extract::RoadHooks hooks;
    hooks.cancel = token.get();
    hooks.started = [this] {
        m_command1->setEnabled(false);
        setStatus(Extract::statusExtracting);
        m_aicAlphaImage1->setVisible(true);
        m_aicAlphaImage2->setVisible(false);
        m_image1->setVisible(true);
        m_w1->setURL(QString());
        clearResult();
    };
    // A handler run during one of the road's waits may have closed the window.
    hooks.status = [self, token](const QString &status) {
        if (self && !token->isCancelled())
            self->setStatus(status);
    };
    const Extract::RoadResult road = Extract::runRoad(m_text1->text(), Extract::Service(chosen), m_settings,
                                                      Web::networkFetch(), hooks);
    if (!self || token->isCancelled())
        return;
    m_extraction.reset();
    if (!road.started) {
        setStatus(road.result.status);
        return;
    }
    if (road.result.slot[0].isEmpty())
        clearResult();
    else
        applyResult(road);
    if (!self)
        return;
    m_command1->setEnabled(true);
    m_playing = 0;
    setStatus(road.result.status);
}

} // namespace App
