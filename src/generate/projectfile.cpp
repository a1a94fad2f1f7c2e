#include "generate/projectfile.h"

#include "fileio/failure.h"
#include "fileio/outputfile.h"
#include "generate/buildoptions.h"
#include "generate/jobfailure.h"
#include "project/filenamerule.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <limits>

namespace kestrin {

namespace {

/** A problem with one key; the reason a BadProjectFile failure carries. */
struct KeyProblem {
    QString key;
    QString what;
};

QString folderOf(const QString &projectPath)
{
    return QFileInfo(projectPath).path();
}

/** `path` as written in the file, made usable from the current folder. */
QString resolved(const QString &base, const QString &path)
{
    return QDir::cleanPath(QDir(base).filePath(path));
}

/** `path` as the file at `projectPath` writes it. */
QString relativeTo(const QString &base, const QString &path)
{
    const QString relative = QDir(base).relativeFilePath(QFileInfo(path).absoluteFilePath());
    return relative.isEmpty() ? QStringLiteral(".") : relative;
}

/** The keys of a folder pattern, its folder written as `folder`. */
void insertPattern(QJsonObject &object, const FolderPattern &source, const QString &folder)
{
    object.insert(QStringLiteral("folder"), folder);
    object.insert(QStringLiteral("pattern"), source.pattern);
    object.insert(QStringLiteral("stageMin"), qint64(source.stageMin));
    object.insert(QStringLiteral("stageMax"), qint64(source.stageMax));
    object.insert(QStringLiteral("stageWidth"), source.stageWidth);
    object.insert(QStringLiteral("frameMin"), qint64(source.frameMin));
    object.insert(QStringLiteral("frameMax"), qint64(source.frameMax));
    object.insert(QStringLiteral("frameWidth"), source.frameWidth);
}

/** A JSON value as it reads in a message. */
QString shown(const QJsonValue &value)
{
    if (value.isString())
        return QLatin1Char('"') + value.toString() + QLatin1Char('"');
    if (value.isArray())
        return QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
    if (value.isObject())
        return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
    if (value.isBool())
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (value.isNull())
        return QStringLiteral("null");
    return QString::number(value.toDouble(), 'g', 17);
}

/** A whole number from min to max, or nothing. */
std::optional<qint64> wholeNumber(const QJsonValue &value, qint64 min, qint64 max)
{
    if (!value.isDouble())
        return std::nullopt;
    const double d = value.toDouble();
    if (!std::isfinite(d) || d != std::floor(d) || d < double(min) || d > double(max))
        return std::nullopt;
    return qint64(d);
}

class Reader
{
public:
    Reader(const QJsonObject &object, const QString &base, BuildProject &project)
        : m_object(object),
          m_base(base),
          m_project(project)
    {
    }

    std::optional<KeyProblem> read();

private:
    std::optional<KeyProblem> readKey(const QString &key, const QJsonValue &value);
    std::optional<KeyProblem> readNumber(const QString &key, const QJsonValue &value);
    std::optional<KeyProblem> readStages(const QJsonValue &value);
    std::optional<KeyProblem> readKeyColour(const QJsonValue &value);

    const QJsonObject &m_object;
    QString m_base;
    BuildProject &m_project;
};

std::optional<KeyProblem> Reader::read()
{
    for (auto it = m_object.begin(); it != m_object.end(); ++it) {
        if (auto problem = readKey(it.key(), it.value()))
            return problem;
        m_project.keys.append(it.key());
    }
    const auto given = [&](const char *option) { return m_object.contains(keyOfOption(QLatin1String(option))); };
    if (m_object.contains(QStringLiteral("stages"))) {
        for (const char *option :
             {"folder", "pattern", "stage-min", "stage-max", "stage-width", "frame-min", "frame-max", "frame-width"}) {
            if (given(option))
                return KeyProblem{QStringLiteral("stages"),
                                  QStringLiteral("cannot be combined with %1 (the "
                                                 "stages name their files)")
                                      .arg(keyOfOption(QLatin1String(option)))};
        }
    }
    if (const std::optional<OptionConflict> conflict = colorOptionConflict(given, m_project.settings.paletteFile)) {
        const QString key = keyOfOption(conflict->option);
        const QString other = keyOfOption(conflict->other);
        switch (conflict->kind) {
        case OptionConflict::Needs:
            return KeyProblem{key, QStringLiteral("needs %1").arg(other)};
        case OptionConflict::Excludes:
            return KeyProblem{key,
                              QStringLiteral("cannot be combined with %1 (the file fixes the colours)").arg(other)};
        case OptionConflict::EmptyName:
            return KeyProblem{key, QStringLiteral("the palette file name is empty")};
        }
    }
    return std::nullopt;
}

std::optional<KeyProblem> Reader::readKey(const QString &key, const QJsonValue &value)
{
    const QString option = optionOfKey(key);
    // Options that are no setting of the project, spelled as keys.
    static const QStringList notKeys = {QStringLiteral("threads"), QStringLiteral("output"), QStringLiteral("quiet"),
                                        QStringLiteral("json"), QStringLiteral("depfile")};
    if (notKeys.contains(option) || keyOfOption(option) != key)
        return KeyProblem{key, QStringLiteral("unknown key")};
    if (numberOption(option))
        return readNumber(key, value);
    const QStringList choices = optionChoices(option);
    if (!choices.isEmpty()) {
        if (!value.isString() || !choices.contains(value.toString()))
            return KeyProblem{
                key,
                QStringLiteral("%1 is not one of: %2")
                    .arg(shown(value),
                         QStringLiteral("\"") + choices.join(QStringLiteral("\", \"")) + QStringLiteral("\""))};
        const QString word = value.toString();
        if (key == QLatin1String("type"))
            m_project.settings.rotatable = word == QLatin1String("rotatable") ? 1 : 0;
        else if (key == QLatin1String("quantizer"))
            m_project.settings.quantizer = quantizerNamed(word).value_or(QuantizerKind::Octree);
        else
            m_project.settings.dither = ditherNamed(word).value_or(DitherKind::None);
        return std::nullopt;
    }
    if (key == QLatin1String("version")) {
        if (wholeNumber(value, kProjectVersion, kProjectVersion))
            return std::nullopt;
        return KeyProblem{
            key, QStringLiteral("%1 is not %2, the version this program reads").arg(shown(value)).arg(kProjectVersion)};
    }
    if (key == QLatin1String("trim")) {
        if (!value.isBool())
            return KeyProblem{key, QStringLiteral("%1 is not true or false").arg(shown(value))};
        m_project.trim = value.toBool();
        return std::nullopt;
    }
    if (key == QLatin1String("key"))
        return readKeyColour(value);
    if (key == QLatin1String("stages"))
        return readStages(value);
    const bool path
        = key == QLatin1String("folder") || key == QLatin1String("target") || key == QLatin1String("palette");
    if (!path && key != QLatin1String("pattern"))
        return KeyProblem{key, QStringLiteral("unknown key")};
    if (!value.isString())
        return KeyProblem{key, QStringLiteral("%1 is not a string").arg(shown(value))};
    const QString text = value.toString();
    if (key == QLatin1String("pattern")) {
        if (patternShape(text) == PatternShape::NoFrameNumber)
            return KeyProblem{key,
                              shown(value)
                                  + QStringLiteral(": The file-name pattern has no %2 for the frame number: "
                                                   "write %2 where the frame number goes (walk_%2.png for one "
                                                   "numbered sequence) and %1 where the stage number goes "
                                                   "(camera%1_%2.png for several stages)")};
        m_project.source.pattern = text;
    } else if (key == QLatin1String("folder")) {
        m_project.source.folder = resolved(m_base, text) + QLatin1Char('/');
    } else if (text.isEmpty()) {
        return KeyProblem{key, QStringLiteral("the file name is empty")};
    } else if (key == QLatin1String("target")) {
        m_project.target = resolved(m_base, text);
    } else {
        m_project.settings.paletteFile = resolved(m_base, text);
    }
    return std::nullopt;
}

std::optional<KeyProblem> Reader::readNumber(const QString &key, const QJsonValue &value)
{
    const NumberOption *rule = numberOption(optionOfKey(key));
    const std::optional<qint64> number = wholeNumber(value, rule->min, rule->max);
    if (!number) {
        return KeyProblem{key,
                          QStringLiteral("%1 is not a whole number from %2 to %3")
                              .arg(shown(value), QString::number(rule->min), QString::number(rule->max))};
    }
    // Bounds below zero are unsigned 32-bit numbers, as on the command line.
    const quint32 u = quint32(*number);
    const int i = int(*number);
    FolderPattern &source = m_project.source;
    GenerationSettings &settings = m_project.settings;
    const QString option = optionOfKey(key);
    if (option == QLatin1String("stage-min"))
        source.stageMin = u;
    else if (option == QLatin1String("stage-max"))
        source.stageMax = u;
    else if (option == QLatin1String("stage-width"))
        source.stageWidth = i;
    else if (option == QLatin1String("frame-min"))
        source.frameMin = u;
    else if (option == QLatin1String("frame-max"))
        source.frameMax = u;
    else if (option == QLatin1String("frame-width"))
        source.frameWidth = i;
    else if (option == QLatin1String("frame-rate"))
        settings.frameRate = i;
    else if (option == QLatin1String("hit-frame"))
        settings.hitFrame = i;
    else if (option == QLatin1String("palettes"))
        settings.paletteCount = u;
    else if (option == QLatin1String("key-tolerance"))
        settings.keyTolerance = i;
    else if (option == QLatin1String("alpha-threshold"))
        settings.alphaThreshold = i;
    else if (option == QLatin1String("colors"))
        settings.colorBudget = u;
    else
        return KeyProblem{key, QStringLiteral("unknown key")};
    return std::nullopt;
}

std::optional<KeyProblem> Reader::readKeyColour(const QJsonValue &value)
{
    const QJsonArray rgb = value.toArray();
    quint32 colour = 0;
    bool ok = value.isArray() && rgb.size() == 3;
    for (qsizetype i = 0; ok && i < 3; ++i) {
        const std::optional<qint64> channel = wholeNumber(rgb[i], 0, 255);
        ok = channel.has_value();
        colour = colour << 8 | quint32(channel.value_or(0));
    }
    if (!ok)
        return KeyProblem{
            QStringLiteral("key"),
            QStringLiteral("%1 is not [R, G, B] with each a whole number from 0 to 255").arg(shown(value))};
    m_project.settings.useKey = true;
    m_project.settings.keyColor = colour;
    return std::nullopt;
}

std::optional<KeyProblem> Reader::readStages(const QJsonValue &value)
{
    if (!value.isArray())
        return KeyProblem{QStringLiteral("stages"), QStringLiteral("is not an array of stages")};
    FrameList list;
    const QJsonArray stages = value.toArray();
    for (qsizetype s = 0; s < stages.size(); ++s) {
        const QString stageKey = QStringLiteral("stages[%1]").arg(s);
        if (!stages[s].isArray())
            return KeyProblem{stageKey, QStringLiteral("is not an array of frames")};
        std::vector<ListedFrame> frames;
        const QJsonArray entries = stages[s].toArray();
        for (qsizetype f = 0; f < entries.size(); ++f) {
            const QString frameKey = stageKey + QStringLiteral("[%1]").arg(f);
            const QJsonObject entry = entries[f].toObject();
            if (!entries[f].isObject())
                return KeyProblem{frameKey, QStringLiteral("is not an object {\"file\": ..., \"centre\": [X, Y]}")};
            for (auto it = entry.begin(); it != entry.end(); ++it) {
                if (it.key() != QLatin1String("file") && it.key() != QLatin1String("centre"))
                    return KeyProblem{frameKey + QLatin1Char('.') + it.key(), QStringLiteral("unknown key")};
            }
            // A frame without a file is a frame without pixels.
            const QJsonValue file = entry.value(QStringLiteral("file"));
            if (entry.contains(QStringLiteral("file")) && (!file.isString() || file.toString().isEmpty()))
                return KeyProblem{frameKey + QStringLiteral(".file"),
                                  QStringLiteral("%1 is not a file name").arg(shown(file))};
            ListedFrame frame;
            if (file.isString())
                frame.file = resolved(m_base, file.toString());
            if (entry.contains(QStringLiteral("centre"))) {
                const QJsonValue centre = entry.value(QStringLiteral("centre"));
                const QJsonArray xy = centre.toArray();
                const qint64 lo = std::numeric_limits<qint32>::min();
                const qint64 hi = std::numeric_limits<qint32>::max();
                const auto x = xy.size() == 2 ? wholeNumber(xy[0], lo, hi) : std::nullopt;
                const auto y = xy.size() == 2 ? wholeNumber(xy[1], lo, hi) : std::nullopt;
                if (!centre.isArray() || !x || !y)
                    return KeyProblem{frameKey + QStringLiteral(".centre"),
                                      QStringLiteral("%1 is not [X, Y] with two whole numbers").arg(shown(centre))};
                frame.centre = QPoint(int(*x), int(*y));
            }
            frames.push_back(std::move(frame));
        }
        list.push_back(std::move(frames));
    }
    m_project.frames = std::move(list);
    return std::nullopt;
}

} // namespace

Failure parseProject(const QByteArray &bytes, const QString &projectPath, BuildProject *project)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        return Failure::of(FailureKind(kestrin::JobFailure::BadProjectFile), projectPath,
                           QStringLiteral("not JSON: %1 at byte %2").arg(error.errorString()).arg(error.offset));
    }
    if (!document.isObject())
        return Failure::of(FailureKind(kestrin::JobFailure::BadProjectFile), projectPath,
                           QStringLiteral("not one JSON object"));
    BuildProject read;
    const QString base = folderOf(projectPath);
    read.source.folder = base + QLatin1Char('/');
    const QJsonObject object = document.object();
    if (const std::optional<KeyProblem> problem = Reader(object, base, read).read())
        return Failure::of(FailureKind(kestrin::JobFailure::BadProjectFile), projectPath,
                           problem->key + QStringLiteral(": ") + problem->what);
    *project = std::move(read);
    return Failure();
}

Failure readProjectFile(const QString &path, BuildProject *project)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Failure::of(FailureKind(kestrin::FileFailure::CannotReadFile), path, file.errorString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return Failure::of(FailureKind(kestrin::FileFailure::CannotReadFile), path, file.errorString());
    return parseProject(bytes, path, project);
}

QByteArray projectJson(const BuildProject &project, const QString &projectPath)
{
    const QString base = folderOf(projectPath);
    const GenerationSettings &settings = project.settings;
    QJsonObject object{
        {QStringLiteral("version"), kProjectVersion},
        {QStringLiteral("type"), settings.rotatable == 1 ? QStringLiteral("rotatable") : QStringLiteral("static")},
        {QStringLiteral("frameRate"), settings.frameRate},
        {QStringLiteral("hitFrame"), settings.hitFrame},
        {QStringLiteral("palettes"), qint64(settings.paletteCount)},
        {QStringLiteral("trim"), project.trim},
        {QStringLiteral("dither"), ditherName(settings.dither)},
    };
    if (project.frames) {
        QJsonArray stages;
        for (const auto &listed : *project.frames) {
            QJsonArray frames;
            for (const ListedFrame &frame : listed) {
                QJsonObject entry;
                if (!frame.file.isEmpty())
                    entry.insert(QStringLiteral("file"), relativeTo(base, frame.file));
                if (frame.centre)
                    entry.insert(QStringLiteral("centre"), QJsonArray{frame.centre->x(), frame.centre->y()});
                frames.append(entry);
            }
            stages.append(frames);
        }
        object.insert(QStringLiteral("stages"), stages);
    } else {
        insertPattern(object, project.source, relativeTo(base, project.source.folder));
    }
    if (!project.target.isEmpty())
        object.insert(QStringLiteral("target"), relativeTo(base, project.target));
    if (settings.useKey) {
        const quint32 rgb = settings.keyColor;
        object.insert(QStringLiteral("key"), QJsonArray{int(rgb >> 16 & 0xff), int(rgb >> 8 & 0xff), int(rgb & 0xff)});
        object.insert(QStringLiteral("keyTolerance"), settings.keyTolerance);
    }
    if (settings.alphaThreshold > 0)
        object.insert(QStringLiteral("alphaThreshold"), settings.alphaThreshold);
    if (settings.paletteFile.isEmpty()) {
        object.insert(QStringLiteral("colors"), qint64(settings.colorBudget));
        object.insert(QStringLiteral("quantizer"), quantizerName(settings.quantizer));
    } else {
        object.insert(QStringLiteral("palette"), relativeTo(base, settings.paletteFile));
    }
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

QJsonObject settingsJson(const BuildProject &project, int threads)
{
    const GenerationSettings &settings = project.settings;
    const FolderPattern &source = project.source;
    QJsonObject json{
        {QStringLiteral("type"), settings.rotatable == 1 ? QStringLiteral("rotatable") : QStringLiteral("static")},
        {QStringLiteral("frameRate"), settings.frameRate},
        {QStringLiteral("hitFrame"), settings.hitFrame},
        {QStringLiteral("palettes"), qint64(settings.paletteCount)},
        {QStringLiteral("trim"), project.trim},
        {QStringLiteral("keyTolerance"), settings.keyTolerance},
        {QStringLiteral("alphaThreshold"), settings.alphaThreshold},
        {QStringLiteral("colors"), qint64(settings.colorBudget)},
        {QStringLiteral("quantizer"), quantizerName(settings.quantizer)},
        {QStringLiteral("dither"), ditherName(settings.dither)},
        {QStringLiteral("threads"), threads},
        {QStringLiteral("target"), project.target},
    };
    const quint32 rgb = settings.keyColor;
    json.insert(QStringLiteral("key"),
                settings.useKey ? QJsonValue(QJsonArray{int(rgb >> 16 & 0xff), int(rgb >> 8 & 0xff), int(rgb & 0xff)})
                                : QJsonValue());
    json.insert(QStringLiteral("palette"),
                settings.paletteFile.isEmpty() ? QJsonValue() : QJsonValue(settings.paletteFile));
    if (project.frames) {
        QJsonArray stages;
        for (const auto &listed : *project.frames) {
            QJsonArray frames;
            for (const ListedFrame &frame : listed) {
                QJsonObject entry{{QStringLiteral("file"), frame.file}};
                if (frame.centre)
                    entry.insert(QStringLiteral("centre"), QJsonArray{frame.centre->x(), frame.centre->y()});
                frames.append(entry);
            }
            stages.append(frames);
        }
        json.insert(QStringLiteral("stages"), stages);
        return json;
    }
    insertPattern(json, source, source.folder);
    return json;
}

Failure writeProjectFile(const QString &path, const BuildProject &project)
{
    const QByteArray text = projectJson(project, path);
    return saveFile(path, [&](QIODevice &device) { return device.write(text) == text.size(); });
}

BuildRequest requestFor(const BuildProject &project)
{
    BuildRequest request;
    request.source = project.source;
    request.frames = project.frames;
    request.trim = project.trim;
    request.target = project.target;
    request.settings = project.settings;
    return request;
}

} // namespace kestrin
