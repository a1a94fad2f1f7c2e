#include "cli/buildreport.h"

#include "fileio/failure.h"
#include "fileio/outputfile.h"
#include "wording/failuretext.h"

#include <QFile>
#include <QIODevice>
#include <QJsonArray>

#include <cmath>

namespace kestrin {

namespace {

/** Nanoseconds as milliseconds, to the microsecond. */
double milliseconds(qint64 nanoseconds)
{
    return std::round(double(nanoseconds) / 1000.0) / 1000.0;
}

QJsonObject frameJson(const FrameReport &f)
{
    return QJsonObject{
        {QStringLiteral("stage"), qint64(f.stage)},
        {QStringLiteral("frame"), qint64(f.frame)},
        {QStringLiteral("file"), f.file},
        {QStringLiteral("width"), f.width},
        {QStringLiteral("height"), f.height},
        {QStringLiteral("centerX"), f.centerX},
        {QStringLiteral("centerY"), f.centerY},
        {QStringLiteral("sourceWidth"), f.source.width()},
        {QStringLiteral("sourceHeight"), f.source.height()},
        {QStringLiteral("trim"),
         QJsonObject{
             {QStringLiteral("left"), f.trim.left()},
             {QStringLiteral("top"), f.trim.top()},
             {QStringLiteral("width"), f.trim.width()},
             {QStringLiteral("height"), f.trim.height()},
         }},
    };
}

} // namespace

QString warningKindName(GenerationWarning::Kind kind)
{
    switch (kind) {
    case GenerationWarning::Kind::MadeOpaque:
        return QStringLiteral("made-opaque");
    case GenerationWarning::Kind::HitFrameBeyond:
        return QStringLiteral("hit-frame-beyond-frames");
    }
    return QString();
}

QJsonObject buildReport(const GenerationOutcome &outcome, const QString &target, const QJsonObject &settings)
{
    QJsonArray frames;
    for (const FrameReport &frame : outcome.frames)
        frames.append(frameJson(frame));
    QJsonArray warnings;
    for (const GenerationWarning &warning : outcome.warnings) {
        if (warning.kind == GenerationWarning::Kind::HitFrameBeyond) {
            warnings.append(QJsonObject{
                {QStringLiteral("kind"), warningKindName(warning.kind)},
                {QStringLiteral("hitFrame"), warning.hitFrame},
                {QStringLiteral("framesPerStage"), qint64(warning.frames)},
            });
            continue;
        }
        warnings.append(QJsonObject{
            {QStringLiteral("kind"), warningKindName(warning.kind)},
            {QStringLiteral("pixels"), qint64(warning.pixels)},
            {QStringLiteral("frames"), qint64(warning.frames)},
        });
    }
    QJsonObject report{
        {QStringLiteral("target"), target},
        {QStringLiteral("ok"), outcome.ok()},
        {QStringLiteral("bytes"), qint64(outcome.bytes)},
        {QStringLiteral("type"), outcome.rotatable ? QStringLiteral("rotatable") : QStringLiteral("static")},
        {QStringLiteral("stages"), qint64(outcome.stageCount)},
        {QStringLiteral("framesPerStage"), qint64(outcome.framesPerStage)},
        {QStringLiteral("palettes"), qint64(outcome.paletteCount)},
        {QStringLiteral("colors"), qint64(outcome.colorCount)},
        {QStringLiteral("frames"), frames},
        {QStringLiteral("inputs"), QJsonArray::fromStringList(outcome.inputFiles)},
        {QStringLiteral("warnings"), warnings},
        {QStringLiteral("timingsMs"),
         QJsonObject{
             {QStringLiteral("load"), milliseconds(outcome.timings.load)},
             {QStringLiteral("reduce"), milliseconds(outcome.timings.reduce)},
             {QStringLiteral("map"), milliseconds(outcome.timings.map)},
             {QStringLiteral("write"), milliseconds(outcome.timings.write)},
         }},
    };
    report.insert(QStringLiteral("version"), QStringLiteral(KESTRIN_VERSION));
    if (!settings.isEmpty())
        report.insert(QStringLiteral("settings"), settings);
    if (outcome.failure) {
        report.insert(QStringLiteral("error"),
                      QJsonObject{
                          {QStringLiteral("kind"), failureKindName(outcome.failure.kind)},
                          {QStringLiteral("path"), outcome.failure.path},
                          {QStringLiteral("message"), describeFailure(outcome.failure)},
                      });
    }
    return report;
}

char unquotableByte(const QByteArray &name, bool target)
{
    // Tried with GNU make 4.3 and ninja 1.11 on a name holding each: a line
    // break ends the rule; ';' starts a recipe and '=' a variable in make;
    // '|' and the others end a name in ninja's reader, whatever the quoting;
    // '*' and '?' are wildcards to make; '%' makes a target a pattern.
    static const QByteArray refused = QByteArrayLiteral("\n\r\t;|=\"&'*<>?^`");
    for (const char c : name) {
        if (refused.contains(c) || (target && c == '%'))
            return c;
    }
    return name.endsWith('\\') ? '\\' : '\0';
}

std::optional<QByteArray> makeQuoted(const QByteArray &name, bool target)
{
    if (unquotableByte(name, target))
        return std::nullopt;
    QByteArray quoted;
    quoted.reserve(name.size() + 8);
    int backslashes = 0; // the run of backslashes just before the current byte
    for (const char c : name) {
        switch (c) {
        case ' ':
            quoted.append(backslashes + 1, '\\');
            break;
        case '#':
        case ':':
            quoted.append('\\');
            break;
        case '$':
            quoted.append('$');
            break;
        default:
            break;
        }
        quoted.append(c);
        backslashes = c == '\\' ? backslashes + 1 : 0;
    }
    return quoted;
}

Failure dependencyRule(const QString &depfile, const QString &target, const QStringList &inputs, QByteArray *rule)
{
    const auto quote = [&](const QString &name, bool isTarget, QByteArray *out) {
        const QByteArray bytes = QFile::encodeName(name);
        const std::optional<QByteArray> quoted = makeQuoted(bytes, isTarget);
        if (!quoted) {
            const char c = unquotableByte(bytes, isTarget);
            const QString shown = c == '\n' ? QStringLiteral("a line break")
                : c == '\r'                 ? QStringLiteral("a carriage return")
                : c == '\t'                 ? QStringLiteral("a tab")
                : c == '\\'                 ? QStringLiteral("a backslash at its end")
                                            : QStringLiteral("'%1'").arg(QLatin1Char(c));
            return Failure::of(FailureKind(kestrin::FileFailure::CannotWriteFile), depfile,
                               QStringLiteral("the name \"%1\" holds %2, which a dependency file cannot express so "
                                              "that both make and ninja read it back")
                                   .arg(name, shown));
        }
        *out = *quoted;
        return Failure();
    };
    QByteArray text;
    QByteArray quoted;
    if (Failure failure = quote(target, true, &quoted))
        return failure;
    text = quoted + ':';
    for (int i = 0; i < inputs.size(); ++i) {
        if (Failure failure = quote(inputs[i], false, &quoted))
            return failure;
        text += (i == 0 ? " " : " \\\n  ") + quoted;
    }
    text += '\n';
    *rule = text;
    return Failure();
}

Failure writeDepfile(const QString &depfile, const QString &target, const QStringList &inputs)
{
    QByteArray rule;
    if (Failure failure = dependencyRule(depfile, target, inputs, &rule))
        return failure;
    return saveFile(depfile, [&](QIODevice &device) { return device.write(rule) == rule.size(); });
}

} // namespace kestrin
