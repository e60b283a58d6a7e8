#include "app/main_window.h"

#include "app/alphapicture.h"
#include "app/cursor.h"
#include "app/startup/fontsetup.h"
#include "os/system.h"
#include "player/mediaplayer.h"
#include "update/versioncheck.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

// The control inventory: every control under its design name, at its design place.
namespace App {

namespace {

const QColor statusBarColour(20, 178, 164);
const QColor feedbackGrey(0xE7, 0xE7, 0xE7);

// The preview area's pictures; the loader scales the first two to these sizes ahead of the first paint.
const QString placeholderPicture = QStringLiteral(":/assets/placeholder.png");
const QString playPicture = QStringLiteral(":/assets/play.png");
const QRect placeholderPlace(376, 104, 380, 400);
const QRect playPlace(376, 104, 377, 397);

void fill(QWidget *w, const QColor &colour)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Window, colour);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

void setTextColour(QWidget *w, const QColor &colour)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, colour);
    w->setPalette(p);
}

QLabel *makeLabel(QWidget *parent, const QString &name, const QString &text, QPoint at)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    // Authors and descriptions come straight from foreign pages: never interpret them.
    label->setTextFormat(Qt::PlainText);
    label->move(at);
    label->setText(text);
    label->adjustSize();
    return label;
}

QFrame *makeLine(QWidget *parent, const QString &name, int x, int top, int bottom)
{
    auto *line = new QFrame(parent);
    line->setObjectName(name);
    line->setFrameShape(QFrame::NoFrame);
    fill(line, Qt::white);
    line->setGeometry(x, top, 1, bottom - top + 1);
    return line;
}

QLabel *makePicture(QWidget *parent, const QString &name, const QRect &rect)
{
    auto *picture = new QLabel(parent);
    picture->setObjectName(name);
    picture->setTextFormat(Qt::PlainText);
    picture->setScaledContents(true);
    picture->setGeometry(rect);
    return picture;
}

AlphaPicture *makeAlpha(QWidget *parent, const QString &name, const QRect &rect, const QString &resource,
                        const AlphaPicture::Reader &read, const AlphaPicture::ShownReader &readShown)
{
    auto *picture = new AlphaPicture(parent);
    picture->setObjectName(name);
    picture->setGeometry(rect);
    if (!resource.isEmpty())
        picture->setPictureSource(resource, read, readShown);
    return picture;
}

} // namespace

QList<QPair<QString, QSize>> Form1::firstPaintPreviews()
{
    return {{placeholderPicture, placeholderPlace.size()}, {playPicture, playPlace.size()}};
}

void Form1::buildControls()
{
    // A missing picture stays null and is simply not drawn.
    const auto pictureOrNothing = [this](const QString &resource) {
        return QPixmap::fromImage(m_pictures.take(resource));
    };
    const AlphaPicture::Reader fromLoader = [this](const QString &resource) { return m_pictures.take(resource); };
    const AlphaPicture::ShownReader shownFromLoader = [this](const QString &resource, const QSize &size) {
        return m_pictures.takeShown(resource, size);
    };
    fill(this, Qt::white);

    m_frame1 = new QFrame(this);
    m_frame1->setObjectName(QStringLiteral("Frame1"));
    m_frame1->setFrameShape(QFrame::StyledPanel);
    m_frame1->setGeometry(24, 104, 329, 57);
    fill(m_frame1, Qt::white);
    m_frame1->setEnabled(false);

    m_labe1[0] = makeLabel(m_frame1, QStringLiteral("Labe1(0)"), QStringLiteral("软件类型："), {8, 22});

    struct OptionDesign { int index; const char16_t *caption; QRect rect; };
    const OptionDesign options[] = {
        {0, u"微视", {72, 21, 57, 17}},    {1, u"美拍", {120, 21, 57, 17}},
        {4, u"秒拍", {168, 21, 49, 17}},   {2, u"GIF快手", {216, 21, 63, 17}},
        {3, u"微拍", {280, 16, 65, 17}},
    };
    for (const OptionDesign &design : options) {
        auto *option = new QRadioButton(QString::fromUtf16(design.caption), m_frame1);
        option->setObjectName(QStringLiteral("Option1(%1)").arg(design.index));
        option->setGeometry(design.rect);
        fill(option, Qt::white);
        m_option1[std::size_t(design.index)] = option;
        connect(option, &QRadioButton::clicked, this, [this, i = design.index] { Option1_Click(i); });
    }
    m_option1[3]->setVisible(false);

    m_frame2 = new QFrame(this);
    m_frame2->setObjectName(QStringLiteral("Frame2"));
    m_frame2->setFrameShape(QFrame::StyledPanel);
    m_frame2->setGeometry(24, 176, 329, 65);
    fill(m_frame2, Qt::white);

    m_labe1[1] = makeLabel(m_frame2, QStringLiteral("Labe1(1)"), QStringLiteral("地址（双击文本粘贴）："), {8, 27});
    for (QLabel *caption : m_labe1)
        caption->installEventFilter(this);

    m_text1 = new QLineEdit(m_frame2);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setGeometry(128, 24, 185, 18);
    m_text1->setEnabled(false);
    m_text1->setMouseTracking(true);
    m_text1->installEventFilter(this);

    auto button = [this](const QString &name, const QString &caption, const QRect &rect) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setGeometry(rect);
        return b;
    };
    m_command1 = button(QStringLiteral("Command1"), QStringLiteral("提取视频"), {24, 248, 329, 41});
    m_command1->setEnabled(false);

    // Downloads go through a real downloader now; the name stays so that every design name exists.
    m_web1 = new QWidget(this);
    m_web1->setObjectName(QStringLiteral("Web1"));
    m_web1->setGeometry(240, 256, 25, 25);
    m_web1->setAttribute(Qt::WA_TransparentForMouseEvents);

    m_image2 = makePicture(this, QStringLiteral("Image2"), {32, 320, 65, 65});
    m_aicAlphaImage3 = makeAlpha(this, QStringLiteral("aicAlphaImage3"), {32, 320, 65, 65}, {}, {}, {});

    m_label1 = makeLabel(this, QStringLiteral("Label1"), QStringLiteral("用户名"), {112, 320});
    QFont nameFont;
    // The designed font where it is installed; elsewhere only its stand-in.
    nameFont.setFamilies(installedFamilies(Os::chineseInterfaceFonts()));
    nameFont.setPointSizeF(15.75);
    nameFont.setBold(true);
    m_label1->setFont(nameFont);
    m_label1->adjustSize();

    const char16_t *badgeTips[] = {u"微视认证", u"秒拍认证", u"新浪微博认证"};
    const QPixmap yellowBadge = pictureOrNothing(QStringLiteral(":/assets/badge_weishi.jpg"));
    const QPixmap redBadge = pictureOrNothing(QStringLiteral(":/assets/badge_red.jpg"));
    for (int i = 0; i < 3; ++i) {
        QLabel *badge = makePicture(this, QStringLiteral("v(%1)").arg(i), {184 + 32 * i, 322, 25, 25});
        badge->setPixmap(i == 0 ? yellowBadge : redBadge);
        badge->setToolTip(QString::fromUtf16(badgeTips[i]));
        badge->setVisible(false);
        m_v[std::size_t(i)] = badge;
    }

    m_label3 = makeLabel(this, QStringLiteral("Label3"), QStringLiteral("日期"), {112, 352});
    m_label2 = makeLabel(this, QStringLiteral("Label2"), QStringLiteral("描述"), {112, 368});
    // Where an archived result came from; hidden for live results.
    m_archiveLabel = makeLabel(this, QStringLiteral("archiveLabel"), QString(), {112, 388});
    QFont small = m_archiveLabel->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    m_archiveLabel->setFont(small);
    setTextColour(m_archiveLabel, QColor(0x99, 0x99, 0x99));
    m_archiveLabel->setVisible(false);

    m_slider1 = new QSlider(Qt::Horizontal, this);
    m_slider1->setObjectName(QStringLiteral("Slider1"));
    m_slider1->setRange(0, 100);
    m_slider1->setGeometry(24, 408, 329, 25);
    connect(m_slider1, &QSlider::valueChanged, this, [this] { Slider1_Scroll(); });

    m_command2 = button(QStringLiteral("Command2"), QStringLiteral("下载视频"), {24, 456, 81, 41});
    m_command3 = button(QStringLiteral("Command3"), QStringLiteral("复制地址"), {104, 456, 81, 41});
    m_command5 = button(QStringLiteral("Command5"), QStringLiteral("官方论坛"), {184, 456, 81, 41});
    m_command4 = button(QStringLiteral("Command4"), QStringLiteral("退出软件"), {264, 456, 81, 41});
    connect(m_command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(m_command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
    connect(m_command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
    connect(m_command4, &QPushButton::clicked, this, [this] { Command4_Click(); });
    connect(m_command5, &QPushButton::clicked, this, [this] { Command5_Click(); });

    // The preview area, bottom to top: the player, the cover, the placeholder, the play buttons.
    m_w1 = new Player::MediaPlayer(this);
    m_w1->setObjectName(QStringLiteral("W1"));
    m_w1->setGeometry(376, 104, 377, 441);
    connect(m_w1, &Player::MediaPlayer::PlayStateChange, this, [this](int state) { W1_PlayStateChange(state); });

    m_image1 = makePicture(this, QStringLiteral("Image1"), {376, 104, 377, 397});
    m_aicAlphaImage5 = makeAlpha(this, QStringLiteral("aicAlphaImage5"), placeholderPlace, placeholderPicture,
                                 fromLoader, shownFromLoader);
    m_aicAlphaImage1 = makeAlpha(this, QStringLiteral("aicAlphaImage1"), playPlace, playPicture, fromLoader,
                                 shownFromLoader);
    m_aicAlphaImage2 = makeAlpha(this, QStringLiteral("aicAlphaImage2"), playPlace,
                                 QStringLiteral(":/assets/play_dim.png"), fromLoader, shownFromLoader);
    m_aicAlphaImage2->setVisible(false);
    connect(m_aicAlphaImage1, &AlphaPicture::MouseMove, this, [this] { aicAlphaImage1_MouseMove(); });
    connect(m_aicAlphaImage2, &AlphaPicture::MouseLeave, this, [this] { aicAlphaImage2_MouseLeave(); });
    connect(m_aicAlphaImage2, &AlphaPicture::MouseUp, this, [this] { aicAlphaImage2_MouseUp(); });

    m_label10 = makeLabel(this, QStringLiteral("Label10"), QStringLiteral("在线反馈"), {642, 7});
    setTextColour(m_label10, feedbackGrey);
    m_label10->setMouseTracking(true);
    m_label10->installEventFilter(this);

    m_picture1 = new QFrame(this);
    m_picture1->setObjectName(QStringLiteral("Picture1"));
    m_picture1->setFrameShape(QFrame::NoFrame);
    m_picture1->setGeometry(16, 520, 785, 49);
    fill(m_picture1, statusBarColour);

    m_label4 = makeLabel(m_picture1, QStringLiteral("Label4"), QStringLiteral("运行提示："), {16, 19});
    m_label5 = makeLabel(m_picture1, QStringLiteral("Label5"), Update::checkingStatus, {120, 19});
    m_label6 = makeLabel(m_picture1, QStringLiteral("Label6"), QStringLiteral("Zavlen出品"), {688, 19});
    for (QLabel *label : {m_label4, m_label5, m_label6})
        setTextColour(label, Qt::white);
    m_label4->setAlignment(Qt::AlignCenter);
    m_label6->setAlignment(Qt::AlignCenter);
    m_line2 = makeLine(m_picture1, QStringLiteral("Line2"), 104, 8, 40);
    m_line3 = makeLine(m_picture1, QStringLiteral("Line3"), 680, 8, 40);

    m_downloadBar = new QProgressBar(m_picture1);
    m_downloadBar->setObjectName(QStringLiteral("downloadBar"));
    m_downloadBar->setGeometry(500, 14, 120, 20);
    m_downloadBar->setVisible(false);
    m_cancelDownload = new QPushButton(QStringLiteral("取消"), m_picture1);
    m_cancelDownload->setObjectName(QStringLiteral("cancelDownload"));
    m_cancelDownload->setGeometry(625, 12, 45, 24);
    m_cancelDownload->setVisible(false);

    m_w1->lower();
    m_web1->lower();
    m_image1->raise();
    m_aicAlphaImage5->raise();
    m_aicAlphaImage1->raise();
    m_aicAlphaImage2->raise();

    QWidget *tabOrder[] = {m_command5, m_command3,  m_command2,  m_slider1,   m_command1,
                           m_text1,    m_option1[3], m_option1[2], m_option1[1], m_option1[0],
                           m_w1,       m_web1,      m_picture1,  m_option1[4], m_command4};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    m_command5->setFocus();

    // Taken last: the loader has read them while the controls above were made.
    const QCursor hand = handCursor(m_pictures.take(QStringLiteral(":/assets/hand.png")));
    for (QWidget *pointed : std::initializer_list<QWidget *>{m_option1[0], m_option1[1], m_option1[2], m_option1[3],
                                                             m_option1[4], m_aicAlphaImage1, m_aicAlphaImage2,
                                                             m_label10})
        pointed->setCursor(hand);
    m_logo = pictureOrNothing(QStringLiteral(":/assets/logo.jpg"));
    m_buttonStrip = pictureOrNothing(QStringLiteral(":/assets/buttons.jpg"));
    m_framePicture = pictureOrNothing(QStringLiteral(":/assets/frame.jpg"));
}

} // namespace App
