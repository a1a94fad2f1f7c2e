#pragma once

// Peers and whole processes for the benchmarks: finding pngquant, timing a
// program from start to exit, and the frames stacked into one image the way
// peers are given them.

#include <QFile>
#include <QImage>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace kestrinbench {

inline QString pngquantPath()
{
    return QStandardPaths::findExecutable(QStringLiteral("pngquant"));
}

/** Runs `program` with `arguments`, its standard output and error going to
 *  `outputFile`, and returns its wall time in ms from spawn to exit, or -1
 *  when it could not start or failed. posix_spawn keeps the cost of starting
 *  it as small as the system allows, so that start-up times compare. */
inline double spawnMs(const QString &program, const QStringList &arguments, const QString &outputFile)
{
    std::vector<QByteArray> owned{QFile::encodeName(program)};
    for (const QString &a : arguments)
        owned.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &a : owned)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const QByteArray output = QFile::encodeName(outputFile);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    timespec start{}, end{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned != 0 || waitpid(pid, &status, 0) != pid)
        return -1;
    clock_gettime(CLOCK_MONOTONIC, &end);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return double(end.tv_sec - start.tv_sec) * 1e3 + double(end.tv_nsec - start.tv_nsec) / 1e6;
}

/** The best of `runs` spawnMs() times, or -1 when any run failed. */
inline double bestSpawnMs(int runs, const QString &program, const QStringList &arguments, const QString &outputFile)
{
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        const double ms = spawnMs(program, arguments, outputFile);
        if (ms < 0)
            return -1;
        best = std::min(best, ms);
    }
    return best;
}

/** The frames stacked top to bottom into one image (as wide as the first). */
inline QImage stack(const std::vector<QImage> &frames, QImage::Format format)
{
    int height = 0;
    for (const QImage &f : frames)
        height += f.height();
    QImage out(frames[0].width(), height, format);
    int y = 0;
    for (const QImage &f : frames) {
        const QImage part = f.convertToFormat(format);
        for (int r = 0; r < part.height(); ++r)
            std::memcpy(out.scanLine(y + r), part.constScanLine(r), size_t(part.bytesPerLine()));
        y += f.height();
    }
    return out;
}

/** The frames of a stacked image, each the size of its counterpart in `like`. */
inline std::vector<QImage> unstack(const QImage &image, const std::vector<QImage> &like)
{
    std::vector<QImage> out;
    int y = 0;
    for (const QImage &f : like) {
        out.push_back(image.copy(0, y, f.width(), f.height()).convertToFormat(QImage::Format_ARGB32));
        y += f.height();
    }
    return out;
}

} // namespace kestrinbench
