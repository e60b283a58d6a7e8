#pragma once

#include "app/startup/pictures.h"
#include "config/settings.h"
#include "extract/extraction.h"
#include "extract/videoinfo.h"

#include <QPixmap>
#include <QPointer>
#include <QThreadPool>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QProgressBar;

namespace Extract {
struct RoadResult;
}

namespace Web {
class CancelToken;
class DeferredLookupCache;
}

namespace Player {
class MediaPlayer;
}

namespace Download {
class Downloader;
class Records;
struct DownloadResult;
} // namespace Download

namespace App {

class AlphaPicture;

// The one window. Controls keep their design names as object names ("Command1", "Option1(2)",
// "v(1)", ...) so that every handler and test can find them.
class Form1 : public QWidget
{
    Q_OBJECT
public:
    // Outside effects go through these so that the window can be driven without a desktop.
    struct Hooks
    {
        // style 64 information, 48 exclamation; title is always "Zavlen系列软件"
        std::function<void(const QString &text, int style)> messageBox;
        std::function<void(const QString &address)> openPage; // the system's browser
        std::function<void()> endProgram;
        std::function<QString(const QString &proposedPath)> askSavePath; // empty: cancelled
        std::function<void()> startMove; // the system moves the window with the pointer
    };

    explicit Form1(const Config::Settings &settings, QWidget *parent = nullptr);
    // The pictures the controls are built with and the first paint shows, in the order needed,
    // and the two previews at the sizes of their controls: what the build bakes ahead.
    static QStringList firstPaintPictures();
    static QList<QPair<QString, QSize>> firstPaintPreviews();
    ~Form1() override;

    void setHooks(Hooks hooks);
    const Config::Settings &settings() const { return m_settings; }

    // Start-up: runs once; shows the window and runs the update check.
    void Form_Load();

    // Handlers, named after the control and its event.
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Option1_Click(int index);
    void Labe1_Click(int index);
    void Text1_DblClick();
    void Text1_MouseMove();
    void Label10_MouseMove();
    void Label10_MouseDown();
    void Label10_MouseUp();
    void Form_MouseDown(Qt::MouseButton button, QPointF pos);
    void Form_MouseMove(QPointF pos);
    void Form_MouseUp(QPointF pos);
    void aicAlphaImage1_MouseMove();
    void aicAlphaImage2_MouseLeave();
    void aicAlphaImage2_MouseUp();
    void W1_PlayStateChange(int newState);
    void Slider1_Scroll();
    // Esc, and a new service choice: the extraction under way ends, showing nothing of its result.
    void cancelExtraction();

    // Private procedures of the window, public for the tests.
    void gx();
    void tzstop();

    int playingFlag() const { return m_playing; }
    // An extraction, the update check or a picture is being waited for.
    bool isWaiting() const { return m_extraction || m_versionLoad || m_coverLoad || m_avatarLoad; }
    const Extract::Slots &resultSlots() const { return m_slots; }

    // Looks of the caption buttons as last drawn: 0 normal, 1 hover, 2 pressed.
    int minimiseLook() const { return m_minimiseLook; }
    int closeLook() const { return m_closeLook; }

    static inline const QString addressHint = QStringLiteral("请在此粘贴您要获取的微视视频页面地址");
    static inline const QString noVideoMessage = QStringLiteral("请先获取视频!");

Q_SIGNALS:
    // The version record's answer has been acted on (also when it ends the program).
    void updateChecked();
    // An extraction has ended and its result is shown (not for a cancelled one).
    void extractionEnded();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildControls();
    void setStatus(const QString &text);
    void showMessage(const QString &text, int style);
    // The extracted video address; when there is none, says so and returns the empty text.
    QString videoOrMessage();
    void onVersionRecord(const std::optional<QString> &record);
    void endExtraction(const Extract::RoadResult &road);
    void applyResult(const Extract::RoadResult &road, const std::function<void()> &then);
    void clearResult();
    void loadCover(const QString &address, const std::function<void()> &then = {});
    void loadAvatar(const QString &address, bool intoFile, const std::function<void()> &then);
    void startDownload();
    void onDownloadProgress(qint64 received, qint64 total, double bytesPerSecond);
    void onDownloadFinished(const Download::DownloadResult &result);
    void keepProvenance(const QString &path, const QString &tagNote);
    void drawCaptionButtons(int minimiseLook, int closeLook);
    bool isOwnSurface(QPointF pos) const;

    Config::Settings m_settings;
    PictureLoader m_pictures; // first: it reads while the controls are built
    Hooks m_hooks;
    Extract::Slots m_slots;
    Extract::VideoInfo m_info; // of the last extraction that found a video; play, download and copy act on it
    QString m_cover; // the cover as the window loads it (from the archive for an archived page)
    qint16 m_playing = 0;
    int m_minimiseLook = 0;
    int m_closeLook = 0;

    // Picture sources of the window's own drawing.
    QPixmap m_logo;        // Image8, 347 x 70
    QPixmap m_buttonStrip; // Image9, 70 x 69
    QPixmap m_framePicture; // Image10, 13 x 101
    QPixmap m_frameTop, m_frameBottom; // its stretched columns, cut once

    QFrame *m_frame1 = nullptr;
    QFrame *m_frame2 = nullptr;
    std::array<QLabel *, 2> m_labe1{};
    std::array<QRadioButton *, 5> m_option1{};
    QLineEdit *m_text1 = nullptr;
    QPushButton *m_command1 = nullptr;
    QPushButton *m_command2 = nullptr;
    QPushButton *m_command3 = nullptr;
    QPushButton *m_command4 = nullptr;
    QPushButton *m_command5 = nullptr;
    QWidget *m_web1 = nullptr;
    QLabel *m_image1 = nullptr;
    QLabel *m_image2 = nullptr;
    QLabel *m_label1 = nullptr;
    QLabel *m_label2 = nullptr;
    QLabel *m_label3 = nullptr;
    QLabel *m_label4 = nullptr;
    QLabel *m_label5 = nullptr;
    QLabel *m_label6 = nullptr;
    QLabel *m_label10 = nullptr;
    QLabel *m_archiveLabel = nullptr; // "来自网页存档 YYYY-MM-DD" under the description
    std::array<QLabel *, 3> m_v{};
    QSlider *m_slider1 = nullptr;
    AlphaPicture *m_aicAlphaImage1 = nullptr;
    AlphaPicture *m_aicAlphaImage2 = nullptr;
    AlphaPicture *m_aicAlphaImage3 = nullptr;
    AlphaPicture *m_aicAlphaImage5 = nullptr;
    Player::MediaPlayer *m_w1 = nullptr;
    QFrame *m_picture1 = nullptr;
    QFrame *m_line2 = nullptr;
    QFrame *m_line3 = nullptr;
    QProgressBar *m_downloadBar = nullptr;
    QPushButton *m_cancelDownload = nullptr;
    Download::Downloader *m_downloader = nullptr;
    Extract::VideoInfo m_downloadInfo; // of the download under way
    std::shared_ptr<Web::CancelToken> m_extraction; // the extraction under way, if any
    std::shared_ptr<Web::DeferredLookupCache> m_cache; // what the archive said before, and what downloads wrote
    bool m_archiveCache = false;                       // the archive's answers are kept in it
    std::shared_ptr<Download::Records> m_records;      // what downloads wrote where
    QPointer<QObject> m_versionLoad;
    QPointer<QObject> m_coverLoad;
    QPointer<QObject> m_avatarLoad;
    // Last: its destructor waits for the roads under way, which the destructor has cancelled.
    QThreadPool m_roads;

    bool m_loaded = false;
    bool m_looksFromMouse = false; // the next paint keeps the looks a mouse handler chose
};

} // namespace App
