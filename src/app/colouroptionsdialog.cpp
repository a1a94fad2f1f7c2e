#include "app/colouroptionsdialog.h"

#include "app/appsettings.h"
#include "frameutil/transparency.h"
#include "generate/colorreduction.h"
#include "palettes/palettefile.h"
#include "wording/failuretext.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>

namespace {

/** Gives `field` a row labelled `text` whose label is its buddy, with
 *  `text` as its accessible name and `name` as its object name. */
void addRow(QFormLayout *form, const QString &text, const char *name, QWidget *field, QWidget *row = nullptr)
{
    field->setObjectName(QLatin1String(name));
    field->setAccessibleName(text);
    auto *label = new QLabel(text);
    label->setBuddy(field);
    form->addRow(label, row ? row : field);
}

/** A widget holding `first` and `second` side by side. */
QWidget *pair(QWidget *first, QWidget *second)
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(first, 1);
    layout->addWidget(second);
    return row;
}

} // namespace

ColourOptionsDialog::ColourOptionsDialog(const QImage &frame, QWidget *parent) : QDialog(parent), m_frame(frame)
{
    setObjectName(QStringLiteral("ColourOptionsDialog"));
    setWindowTitle(tr("Colour options"));
    auto *form = new QFormLayout;

    m_key = new QLineEdit;
    m_key->setPlaceholderText(tr("R,G,B (empty: no key)"));
    m_pick = new QPushButton(tr("Pick from frame"));
    m_pick->setObjectName(QStringLiteral("pbPickKey"));
    m_pick->setEnabled(!m_frame.isNull());
    addRow(form, tr("Key colour"), "leKeyColour", m_key, pair(m_key, m_pick));

    m_tolerance = new QSpinBox;
    m_tolerance->setRange(0, kestrin::kMaxKeyTolerance);
    addRow(form, tr("Key tolerance"), "sbKeyTolerance", m_tolerance);

    m_alpha = new QSpinBox;
    m_alpha->setRange(0, kestrin::kMaxAlphaThreshold);
    m_alpha->setSpecialValueText(tr("off"));
    addRow(form, tr("Alpha threshold"), "sbAlphaThreshold", m_alpha);

    m_colours = new QSpinBox;
    m_colours->setRange(int(kestrin::kMinColorBudget), int(kestrin::kMaxColorBudget));
    addRow(form, tr("Colours"), "sbColours", m_colours);

    m_quantizer = new QComboBox;
    m_quantizer->addItems(kestrin::quantizerNames());
    addRow(form, tr("Quantizer"), "cbQuantizer", m_quantizer);

    m_dither = new QComboBox;
    m_dither->addItems(kestrin::ditherNames());
    addRow(form, tr("Dithering"), "cbDithering", m_dither);

    m_palette = new QLineEdit;
    m_palette->setPlaceholderText(tr("empty: make a palette"));
    auto *browse = new QPushButton(tr("Browse"));
    browse->setObjectName(QStringLiteral("pbBrowsePalette"));
    addRow(form, tr("Palette file"), "lePaletteFile", m_palette, pair(m_palette, browse));

    auto *buttons
        = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::RestoreDefaults);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons->button(QDialogButtonBox::RestoreDefaults), &QPushButton::clicked, this,
            [this] { setSettings(kestrin::GenerationSettings()); });
    connect(m_pick, &QPushButton::clicked, this, &ColourOptionsDialog::pickKey);
    connect(browse, &QPushButton::clicked, this, &ColourOptionsDialog::browsePalette);
    connect(m_key, &QLineEdit::textChanged, this, &ColourOptionsDialog::updateRules);
    connect(m_palette, &QLineEdit::textChanged, this, &ColourOptionsDialog::updateRules);
    setSettings(kestrin::GenerationSettings());
}

void ColourOptionsDialog::setSettings(const kestrin::GenerationSettings &settings)
{
    m_key->setText(settings.useKey ? kestrin::keyColorText(settings.keyColor) : QString());
    m_tolerance->setValue(settings.keyTolerance);
    m_alpha->setValue(settings.alphaThreshold);
    m_colours->setValue(int(settings.colorBudget));
    m_quantizer->setCurrentText(kestrin::quantizerName(settings.quantizer));
    m_dither->setCurrentText(kestrin::ditherName(settings.dither));
    m_palette->setText(settings.paletteFile);
    updateRules();
}

kestrin::GenerationSettings ColourOptionsDialog::settings() const
{
    kestrin::GenerationSettings settings;
    const QString key = m_key->text().trimmed();
    if (!key.isEmpty()) {
        // Text that is not a colour still asks for a key; accept() refuses it.
        settings.useKey = true;
        settings.keyColor = kestrin::parseKeyColor(key).value_or(0);
    }
    settings.keyTolerance = m_tolerance->value();
    settings.alphaThreshold = m_alpha->value();
    settings.colorBudget = quint32(m_colours->value());
    settings.quantizer = kestrin::quantizerNamed(m_quantizer->currentText()).value_or(kestrin::QuantizerKind::Octree);
    settings.dither = kestrin::ditherNamed(m_dither->currentText()).value_or(kestrin::DitherKind::None);
    settings.paletteFile = m_palette->text();
    return settings;
}

void ColourOptionsDialog::accept()
{
    const QString key = m_key->text().trimmed();
    QString problem;
    if (!key.isEmpty() && !kestrin::parseKeyColor(key)) {
        problem = tr("Key colour: \"%1\" is not R,G,B with each a whole number from 0 to 255").arg(key);
    } else {
        kestrin::PaletteFile palette;
        kestrin::ColorOptions options;
        const kestrin::Failure failure = kestrin::prepareColorOptions(settings(), &palette, &options);
        if (failure)
            problem = (failure.path.isEmpty() ? QString() : failure.path + QStringLiteral(": "))
                + kestrin::describeFailure(failure);
    }
    if (!problem.isEmpty()) {
        QMessageBox::warning(this, tr("Colour options"), problem);
        return;
    }
    QDialog::accept();
}

/** The rules between options, as the command line has them: a tolerance
 *  needs a key, and a palette file fixes the colours, so the budget and the
 *  quantizer go back to their defaults and cannot be changed. */
void ColourOptionsDialog::updateRules()
{
    const bool keyed = !m_key->text().trimmed().isEmpty();
    if (!keyed)
        m_tolerance->setValue(0);
    m_tolerance->setEnabled(keyed);
    const bool fixed = !m_palette->text().isEmpty();
    if (fixed) {
        m_colours->setValue(int(kestrin::kMaxColorBudget));
        m_quantizer->setCurrentText(kestrin::quantizerName(kestrin::QuantizerKind::Octree));
    }
    m_colours->setEnabled(!fixed);
    m_quantizer->setEnabled(!fixed);
}

void ColourOptionsDialog::pickKey()
{
    const std::optional<kestrin::PickedColor> colour = kestrin::pickColor(m_frame);
    if (colour)
        m_key->setText(
            kestrin::keyColorText(quint32(colour->red) << 16 | quint32(colour->green) << 8 | quint32(colour->blue)));
}

void ColourOptionsDialog::browsePalette()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Palette file"),
                                                      appsettings::lastFolder(QStringLiteral("palette"), QString()),
                                                      tr("Palettes (*.gpl *.pal *.act *.art);;All files (*)"));
    if (path.isEmpty())
        return;
    appsettings::rememberFolder(QStringLiteral("palette"), path);
    m_palette->setText(path);
}
