#pragma once

#include "generate/generationsettings.h"

#include <QDialog>
#include <QImage>

class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

/** The colour settings of a generation, the same ones kestrin-art build
 *  takes as --key, --key-tolerance, --alpha-threshold, --colors,
 *  --quantizer, --dither and --palette, with the same ranges and defaults.
 *  OK checks them with the core (the palette file is read) and keeps the
 *  dialog open, naming the problem, when the core refuses them. */
class ColourOptionsDialog : public QDialog
{
    Q_OBJECT

public:
    /** `frame` is the image the key colour is picked from (its top-left
     *  pixel); a null image disables picking. */
    explicit ColourOptionsDialog(const QImage &frame, QWidget *parent = nullptr);

    /** Shows the colour fields of `settings`; the other fields are ignored. */
    void setSettings(const kestrin::GenerationSettings &settings);
    /** The colour fields as shown, every other field at its default. */
    [[nodiscard]] kestrin::GenerationSettings settings() const;

    void accept() override;

private:
    void updateRules();
    void pickKey();
    void browsePalette();

    QImage m_frame;
    QLineEdit *m_key = nullptr;
    QPushButton *m_pick = nullptr;
    QSpinBox *m_tolerance = nullptr;
    QSpinBox *m_alpha = nullptr;
    QSpinBox *m_colours = nullptr;
    QComboBox *m_quantizer = nullptr;
    QComboBox *m_dither = nullptr;
    QLineEdit *m_palette = nullptr;
};
