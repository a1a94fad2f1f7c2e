#pragma once

#include <QString>
#include <QStringView>

namespace kestrin {

/** Largest digit width honoured when a number is put into a name. No file
 *  name component can be this long, so a wider field can never match a file;
 *  clamping keeps a mistyped width from building a name of gigabytes. */
constexpr int kMaxFieldWidth = 4096;

/** The number of the place marker that QString::arg sees at position `at` of
 *  `text` (a '%', an optional 'L', then one or two digits), or -1 when there
 *  is none there. */
[[nodiscard]] int argMarkerAt(QStringView text, qsizetype at);

/** True when QString::arg would find a place marker in `text`. Without one,
 *  arg returns the text unchanged. */
[[nodiscard]] bool hasArgMarker(QStringView text);

/** text.arg(QString::number(number), fieldWidth, '0'): every occurrence of
 *  the lowest-numbered marker becomes the number, right-aligned in a field of
 *  fieldWidth characters padded with '0' (left-aligned and padded on the
 *  right when fieldWidth is negative). Text without a marker comes back
 *  unchanged, without the console warning QString::arg prints for it.
 *  |fieldWidth| is clamped to kMaxFieldWidth. */
[[nodiscard]] QString argNumber(const QString &text, quint32 number, int fieldWidth);

/** The file name for stage number `stage` and frame number `frame`: the
 *  pattern's lowest marker gets the stage number (stageWidth digits), then the
 *  lowest marker left in that result gets the frame number (frameWidth
 *  digits). With "camera%1_%2.bmp", widths 2 and 4: 1, 0 -> camera01_0000.bmp. */
[[nodiscard]] QString frameFileName(const QString &pattern, quint32 stage, int stageWidth, quint32 frame,
                                    int frameWidth);

/** What the numbers of a pattern stand for, read from its place markers as
 *  QString::arg sees them. */
enum class PatternShape {
    NoFrameNumber,   // no %2: every frame number would name the same file, so it is refused
    FramesOnly,      // %2 and no lower marker: one stage whose frame numbers go into %2
    StagesAndFrames, // the lowest marker (normally %1) gets the stage number, then %2 the frame number
};

[[nodiscard]] PatternShape patternShape(QStringView pattern);

/** The three names the "Update" button shows for a folder pattern. */
struct NamePreview {
    QString first; // name(stageMin, frameMin)
    QString next;  // the name after the first one
    QString last;  // name(stageMax, frameMax), although loading stops before it
};

/** Names for the preview, in unsigned 32-bit arithmetic (a wrapping +1 is
 *  part of it): next is name(min(s', stageMax), min(frameMin + 1, frameMax))
 *  with s' = stageMin + 1 when frameMin + 1 > frameMax, else stageMin. When
 *  the pattern does not contain "%2", only the stage number is put in (one
 *  substitution with the stage width) and the frame numbers are not used.
 *  A FramesOnly pattern names one stage: first is name(frameMin), next
 *  name(min(frameMin + 1, frameMax)), last name(frameMax), each with the
 *  frame width, and the stage numbers are not used. */
[[nodiscard]] NamePreview previewNames(const QString &pattern, quint32 stageMin, quint32 stageMax, int stageWidth,
                                       quint32 frameMin, quint32 frameMax, int frameWidth);

} // namespace kestrin
