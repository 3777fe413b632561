#pragma once

#include <QList>
#include <QUrl>

#include <functional>
#include <optional>

// The folder a window shows and its back/forward history. Every navigation of a
// window ends in navigate(): it updates the history, makes the folder current,
// drops it from the listing cache so it is listed afresh, and then runs the
// window's effects in a fixed order: browsers, watcher, buttons, status, title.
// Main thread only.
class NavigationModel
{
public:
    // Each effect gets the new current folder; absent effects are skipped.
    struct Effects
    {
        std::function<void(const QUrl &folder)> setBrowserRoots;
        std::function<void(const QUrl &folder)> moveWatcher;
        std::function<void(bool canGoBack, bool canGoForward)> updateNavigationButtons;
        std::function<void(const QUrl &folder)> refreshStatus;
        std::function<void(const QUrl &folder)> updateWindowTitle;
    };

    // A one-entry history holding `root`, which is current. Runs no effect.
    explicit NavigationModel(const QUrl &root);

    void setEffects(Effects effects);

    void navigate(const QUrl &to, bool pushHistory);
    // Segment 0 goes back, segment 1 forward; any other does nothing.
    void navigationControlClicked(int selectedSegment);
    void goBack();
    void goForward();
    // Nothing at the root of the file system.
    void goToEnclosingFolder();
    // The folder above the current one; nothing at the root of the file system.
    std::optional<QUrl> enclosingFolder() const;
    void updateNavigationButtonsState();

    bool canGoBack() const { return m_historyIndex > 0; }
    bool canGoForward() const { return m_historyIndex < m_historyStack.size() - 1; }
    const QList<QUrl> &historyStack() const { return m_historyStack; }
    qsizetype historyIndex() const { return m_historyIndex; }
    const QUrl &currentRootUrl() const { return m_currentRootUrl; }

private:
    QList<QUrl> m_historyStack;
    qsizetype m_historyIndex = -1;
    QUrl m_currentRootUrl;
    Effects m_effects;
};
