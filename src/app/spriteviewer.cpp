#include "app/spriteviewer.h"

#include "app/appsettings.h"
#include "app/playbackclock.h"
#include "app/spritecanvas.h"
#include "artfile/artformat.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

constexpr int kFallbackRate = 10; // frames per second for a rate that is not positive
constexpr int kMaxZoom = 8;
// Centres further apart than this (in file pixels) are not trusted for
// placing frames: the canvas would grow without bound.
constexpr qint64 kMaxExtent = 8192;

/** The background choices after the checkerboard: name and colour. */
struct NamedColour {
    const char *name;
    QRgb rgb;
};
constexpr NamedColour kBackgrounds[] = {
    {"Black", 0xff000000},
    {"White", 0xffffffff},
    {"Magenta", 0xffff00ff},
};

QLabel *caption(const QString &text, QWidget *buddy, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

} // namespace

SpriteViewer::SpriteViewer(kestrin::ArtFile art, const QString &name, QWidget *parent, PlaybackClock *clock)
    : QWidget(parent, Qt::Window),
      m_art(std::move(art)),
      m_clock(clock ? clock : new TimerClock)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("SpriteViewer"));
    setWindowTitle(tr("%1 - Sprite viewer").arg(name));
    m_clock->setParent(this);
    connect(m_clock, &PlaybackClock::ticked, this, &SpriteViewer::ticked);

    m_directionCount = int(m_art.rowCount());
    m_framesPerDirection = int(m_art.framesPerDirection);
    if (qint64(m_framesPerDirection) * m_directionCount != qint64(m_art.frames.size()))
        m_framesPerDirection = 0; // a checked file never gets here

    // The area every frame covers around the centre, in 64 bits: centres are
    // whatever the file says.
    qint64 left = 0, top = 0, right = 0, bottom = 0, widest = 0, tallest = 0;
    bool first = true;
    for (const kestrin::ArtFrame &f : m_art.frames) {
        widest = qMax<qint64>(widest, f.width);
        tallest = qMax<qint64>(tallest, f.height);
        const qint64 l = -qint64(f.centerX), t = -qint64(f.centerY);
        left = first ? l : qMin(left, l);
        top = first ? t : qMin(top, t);
        right = first ? l + f.width : qMax(right, l + f.width);
        bottom = first ? t + f.height : qMax(bottom, t + f.height);
        first = false;
    }
    const auto near = [](qint64 v) { return qAbs(v) <= kMaxExtent * 256; };
    m_placeByCentre = right - left <= kMaxExtent && bottom - top <= kMaxExtent && near(left) && near(top);
    m_extent = m_placeByCentre ? QRect(int(left), int(top), int(right - left), int(bottom - top))
                               : QRect(0, 0, int(qMin(widest, kMaxExtent)), int(qMin(tallest, kMaxExtent)));

    buildControls();
    bindKeys();
    updateColors();
    showFrame();

    // Fit the sprite on screen at the zoom chosen, within sensible bounds.
    const QSize want = m_canvas->size() + QSize(48, 140);
    resize(want.boundedTo(QSize(1200, 900)).expandedTo(QSize(560, 360)));
}

SpriteViewer::~SpriteViewer() = default;

bool SpriteViewer::readFile(const QString &path, kestrin::ArtFile &art, QString &error)
{
    const QString file = path == QLatin1String("-") ? QStringLiteral("./-") : path;
    const QFileInfo info(file);
    if (info.exists() && !info.isFile() && !info.isDir()) {
        error = tr("not a regular file (a device, FIFO or socket)");
        return false;
    }
    // Unbuffered: a device is read no further than the reader asks.
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        error = in.errorString();
        return false;
    }
    const kestrin::Failure failure = kestrin::readArt(in, art);
    error = failure.reason;
    return !failure;
}

void SpriteViewer::buildControls()
{
    m_play = new QPushButton(tr("Play"), this);
    m_play->setObjectName(QStringLiteral("play"));
    m_play->setAccessibleName(tr("Play"));
    m_play->setCheckable(true);
    m_play->setEnabled(m_framesPerDirection > 0);
    connect(m_play, &QPushButton::toggled, this, [this](bool on) { on ? play() : pause(); });

    m_directionBox = new QSpinBox(this);
    m_directionBox->setObjectName(QStringLiteral("direction"));
    m_directionBox->setAccessibleName(tr("Direction"));
    m_directionBox->setRange(1, m_directionCount);
    connect(m_directionBox, qOverload<int>(&QSpinBox::valueChanged), this,
            [this](int value) { setDirection(value - 1); });

    m_paletteBox = new QSpinBox(this);
    m_paletteBox->setObjectName(QStringLiteral("palette"));
    m_paletteBox->setAccessibleName(tr("Palette"));
    m_paletteBox->setRange(1, int(qMax(1u, m_art.paletteCount)));
    connect(m_paletteBox, qOverload<int>(&QSpinBox::valueChanged), this,
            [this](int value) { setPaletteCopy(value - 1); });

    // A zoom that shows the sprite at about 512 pixels, at most 4x.
    const int side = qMax(1, qMax(m_extent.width(), m_extent.height()));
    m_zoomBox = new QSpinBox(this);
    m_zoomBox->setObjectName(QStringLiteral("zoom"));
    m_zoomBox->setAccessibleName(tr("Zoom"));
    m_zoomBox->setRange(1, kMaxZoom);
    m_zoomBox->setSuffix(QStringLiteral("\u00d7"));
    m_zoomBox->setValue(qBound(1, 512 / side, 4));
    connect(m_zoomBox, qOverload<int>(&QSpinBox::valueChanged), this, &SpriteViewer::setZoom);

    m_backgroundBox = new QComboBox(this);
    m_backgroundBox->setObjectName(QStringLiteral("background"));
    m_backgroundBox->setAccessibleName(tr("Background"));
    m_backgroundBox->addItem(tr("Checkerboard"), QColor());
    for (const NamedColour &c : kBackgrounds)
        m_backgroundBox->addItem(tr(c.name), QColor::fromRgb(c.rgb));
    m_backgroundBox->addItem(tr("Other colour..."));
    connect(m_backgroundBox, qOverload<int>(&QComboBox::activated), this, &SpriteViewer::backgroundChosen);

    m_centreBox = new QCheckBox(tr("Centre"), this);
    m_centreBox->setObjectName(QStringLiteral("centre"));
    m_centreBox->setAccessibleName(tr("Centre"));
    connect(m_centreBox, &QCheckBox::toggled, this, &SpriteViewer::setShowCentre);

    m_canvas = new SpriteCanvas;
    m_canvas->setObjectName(QStringLiteral("canvas"));
    m_canvas->setAccessibleName(tr("Sprite"));
    m_canvas->setExtent(m_extent);
    m_canvas->setZoom(m_zoomBox->value());
    m_scroll = new QScrollArea(this);
    m_scroll->setWidget(m_canvas);
    m_scroll->setAlignment(Qt::AlignCenter);
    // The zoom and background the user chose last, in any viewer.
    m_zoomBox->setValue(
        qBound(1, appsettings::value(QStringLiteral("viewer/zoom"), m_zoomBox->value()).toInt(), kMaxZoom));
    m_canvas->setZoom(m_zoomBox->value());
    const QString background = appsettings::value(QStringLiteral("viewer/background")).toString();
    if (QColor::isValidColorName(background))
        setBackgroundColor(QColor::fromString(background));
    m_scroll->setFocusPolicy(Qt::NoFocus);

    m_info = new QLabel(this);
    m_info->setObjectName(QStringLiteral("frameInfo"));
    m_info->setAccessibleName(tr("Frame info"));
    m_info->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_hit = new QLabel(this);
    m_hit->setObjectName(QStringLiteral("hitFrame"));
    m_hit->setAccessibleName(tr("Hit frame"));
    m_hit->setStyleSheet(QStringLiteral("color: #c00000; font-weight: bold;"));
    m_rate = new QLabel(this);
    m_rate->setObjectName(QStringLiteral("rate"));
    m_rate->setAccessibleName(tr("Rate"));
    m_rate->setText(m_art.rate > 0 ? tr("%1 fps").arg(m_art.rate)
                                   : tr("rate %1 in the file: playing at %2 fps").arg(m_art.rate).arg(kFallbackRate));

    auto *controls = new QHBoxLayout;
    controls->addWidget(m_play);
    controls->addWidget(caption(tr("&Direction:"), m_directionBox, this));
    controls->addWidget(m_directionBox);
    controls->addWidget(caption(tr("&Palette:"), m_paletteBox, this));
    controls->addWidget(m_paletteBox);
    controls->addWidget(caption(tr("&Zoom:"), m_zoomBox, this));
    controls->addWidget(m_zoomBox);
    controls->addWidget(caption(tr("&Background:"), m_backgroundBox, this));
    controls->addWidget(m_backgroundBox);
    controls->addWidget(m_centreBox);
    controls->addStretch();
    auto *status = new QHBoxLayout;
    status->addWidget(m_info);
    status->addWidget(m_hit);
    status->addStretch();
    status->addWidget(m_rate);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(m_scroll, 1);
    layout->addLayout(status);
    m_canvas->setFocus();
}

void SpriteViewer::bindKeys()
{
    const auto bind = [this](const QKeySequence &keys, auto slot) {
        auto *shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, slot);
    };
    bind(QKeySequence(Qt::Key_Space), [this] { togglePlay(); });
    bind(QKeySequence(Qt::Key_Left), [this] {
        pause();
        step(-1);
    });
    bind(QKeySequence(Qt::Key_Right), [this] {
        pause();
        step(1);
    });
    bind(QKeySequence(Qt::Key_Up), [this] { setDirection(m_direction + 1); });
    bind(QKeySequence(Qt::Key_Down), [this] { setDirection(m_direction - 1); });
    bind(QKeySequence(Qt::Key_Plus), [this] { setZoom(zoom() + 1); });
    bind(QKeySequence(Qt::Key_Equal), [this] { setZoom(zoom() + 1); });
    bind(QKeySequence(Qt::Key_Minus), [this] { setZoom(zoom() - 1); });
    bind(QKeySequence(Qt::Key_C), [this] { setShowCentre(!m_centreBox->isChecked()); });
}

int SpriteViewer::zoom() const
{
    return m_canvas->zoom();
}

bool SpriteViewer::isPlaying() const
{
    return m_clock->isRunning();
}

int SpriteViewer::playbackRate() const
{
    return m_art.rate > 0 ? m_art.rate : kFallbackRate;
}

int SpriteViewer::playbackInterval() const
{
    // Never longer than a frame, so no frame waits a whole tick too long.
    return qMax(1, 1000 / playbackRate());
}

void SpriteViewer::ticked()
{
    if (m_framesPerDirection == 0)
        return;
    const qint64 due = m_playOrigin + m_clock->elapsedMs() * playbackRate() / 1000;
    const int frame = int(due % m_framesPerDirection);
    if (frame != m_frame) {
        m_frame = frame;
        showFrame();
    }
}

int SpriteViewer::fileIndex() const
{
    return m_direction * m_framesPerDirection + m_frame;
}

QString SpriteViewer::infoText() const
{
    if (m_framesPerDirection == 0) {
        return QStringLiteral("direction %1 of %2, frame 0 of 0, 0 x 0, centre 0,0")
            .arg(m_direction + 1)
            .arg(m_directionCount);
    }
    const kestrin::ArtFrame &f = m_art.frames[size_t(fileIndex())];
    return QStringLiteral("direction %1 of %2, frame %3 of %4, %5 x %6, centre %7,%8")
        .arg(m_direction + 1)
        .arg(m_directionCount)
        .arg(m_frame + 1)
        .arg(m_framesPerDirection)
        .arg(f.width)
        .arg(f.height)
        .arg(f.centerX)
        .arg(f.centerY);
}

void SpriteViewer::play()
{
    if (m_framesPerDirection == 0)
        return;
    m_playOrigin = m_frame;
    m_clock->start(playbackInterval());
    const QSignalBlocker block(m_play);
    m_play->setChecked(true);
    m_play->setText(tr("Pause"));
}

void SpriteViewer::pause()
{
    m_clock->stop();
    const QSignalBlocker block(m_play);
    m_play->setChecked(false);
    m_play->setText(tr("Play"));
}

void SpriteViewer::togglePlay()
{
    isPlaying() ? pause() : play();
}

void SpriteViewer::step(int delta)
{
    if (m_framesPerDirection == 0)
        return;
    const int m = m_framesPerDirection;
    m_frame = ((m_frame + delta) % m + m) % m;
    showFrame();
}

void SpriteViewer::setDirection(int direction)
{
    const int n = m_directionCount;
    m_direction = (direction % n + n) % n;
    const QSignalBlocker block(m_directionBox);
    m_directionBox->setValue(m_direction + 1);
    showFrame();
}

void SpriteViewer::setPaletteCopy(int copy)
{
    m_paletteCopy = qBound(0, copy, int(qMax(1u, m_art.paletteCount)) - 1);
    const QSignalBlocker block(m_paletteBox);
    m_paletteBox->setValue(m_paletteCopy + 1);
    updateColors();
    showFrame();
}

void SpriteViewer::setZoom(int zoom)
{
    const int z = qBound(1, zoom, kMaxZoom);
    const QSignalBlocker block(m_zoomBox);
    m_zoomBox->setValue(z);
    m_canvas->setZoom(z);
    appsettings::setValue(QStringLiteral("viewer/zoom"), z);
}

void SpriteViewer::setBackgroundColor(const QColor &colour)
{
    const QSignalBlocker block(m_backgroundBox);
    if (!colour.isValid()) {
        m_backgroundBox->setCurrentIndex(0);
    } else {
        int index = m_backgroundBox->findData(colour);
        if (index < 0) {
            // One custom entry, just before "Other colour...".
            const int custom = 1 + int(std::size(kBackgrounds));
            if (m_backgroundBox->count() == custom + 1)
                m_backgroundBox->insertItem(custom, QString());
            m_backgroundBox->setItemText(custom, colour.name());
            m_backgroundBox->setItemData(custom, colour);
            index = custom;
        }
        m_backgroundBox->setCurrentIndex(index);
    }
    m_canvas->setBackground(colour);
    // Empty for the checkerboard.
    appsettings::setValue(QStringLiteral("viewer/background"), colour.isValid() ? colour.name() : QString());
}

void SpriteViewer::backgroundChosen(int index)
{
    const QVariant data = m_backgroundBox->itemData(index);
    if (data.isValid() || index == 0) {
        setBackgroundColor(data.value<QColor>());
        return;
    }
    // "Other colour...": keep the current background when the dialog is cancelled.
    const QColor chosen = QColorDialog::getColor(Qt::white, this, tr("Background"));
    setBackgroundColor(chosen.isValid() ? chosen : m_backgroundBox->itemData(0).value<QColor>());
}

void SpriteViewer::setShowCentre(bool show)
{
    const QSignalBlocker block(m_centreBox);
    m_centreBox->setChecked(show);
    m_canvas->setShowCentre(show);
}

void SpriteViewer::updateColors()
{
    // The copy as stored, not the first copy: the window shows what the file holds.
    namespace art = kestrin::art;
    const auto *entries = reinterpret_cast<const quint8 *>(m_art.bytes.constData()) + art::kPaletteOffset
        + qint64(art::kPaletteSize) * m_paletteCopy;
    m_colors.resize(art::kPaletteEntries);
    for (int i = 0; i < m_colors.size(); ++i) {
        const quint8 *e = entries + art::kPaletteEntrySize * i;
        m_colors[i] = qRgb(e[2], e[1], e[0]);
    }
    m_colors[0] = 0; // transparent
}

void SpriteViewer::showFrame()
{
    const QString info = infoText();
    m_info->setText(info);
    m_info->setAccessibleDescription(info);
    if (m_framesPerDirection == 0) {
        m_canvas->setFrame(QImage(), QPoint());
        m_hit->clear();
        return;
    }
    const int index = fileIndex();
    const kestrin::ArtFrame &f = m_art.frames[size_t(index)];
    QImage image;
    if (f.dataSize > 0)
        image = QImage(f.width, f.height, QImage::Format_ARGB32_Premultiplied);
    if (!image.isNull()) {
        const quint8 *in = m_art.frameIndices(index);
        for (int y = 0; y < f.height; ++y) {
            auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
            const quint8 *src = in + qint64(y) * f.width;
            for (int x = 0; x < f.width; ++x)
                row[x] = m_colors[src[x]];
        }
    }
    m_canvas->setFrame(image, m_placeByCentre ? QPoint(-f.centerX, -f.centerY) : QPoint());
    m_hit->setText(m_frame == m_art.hitFrame ? tr("hit frame") : QString());
}
