#pragma once

#include "app/mainwindow.h"
#include "app/mainwindowform.h"

#include <QMetaObject>

/** Read access to MainWindow's state for the tests, and calls of its
 *  non-slot operations. Widgets are reached through the form by object name
 *  like a user would; this is only for what a user cannot see. */
class MainWindowInspector
{
public:
    static MainWindowForm &form(MainWindow &w) { return *w.ui; }
    static kestrin::Project &project(MainWindow &w) { return w.project; }
    static qint32 frameRate(const MainWindow &w) { return w.frameRate; }
    static qint32 hitFrame(const MainWindow &w) { return w.hitFrame; }
    static quint32 paletteCount(const MainWindow &w) { return w.paletteCount; }
    static quint32 rotatable(const MainWindow &w) { return w.rotatable; }
    static const kestrin::GenerationSettings &colourOptions(const MainWindow &w) { return w.colourOptions; }

    static bool loadFrame(MainWindow &w, kestrin::Frame *f, const QString &path) { return w.loadFrame(f, path); }
    static bool clearStages(MainWindow &w) { return w.clearStages(); }
    static bool refreshStageList(MainWindow &w) { return w.refreshStageList(); }
    static bool GenFile(MainWindow &w, const QString &folder, const QString &pattern, quint32 stageMin,
                        quint32 stageMax, int stageWidth, quint32 frameMin, quint32 frameMax, int frameWidth)
    {
        return w.GenFile(folder, pattern, stageMin, stageMax, stageWidth, frameMin, frameMax, frameWidth);
    }
    static bool generateArt(MainWindow &w, const QString &target) { return w.generateArt(target); }
    static bool applyBoundRect(MainWindow &w, bool enabled) { return w.applyBoundRect(enabled); }
    static bool applyTransparency(MainWindow &w, bool enabled) { return w.applyTransparency(enabled); }
    static bool openProject(MainWindow &w, const QString &path) { return w.openProject(path); }
    static bool saveProject(MainWindow &w, const QString &path) { return w.saveProject(path); }
};
