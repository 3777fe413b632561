#include "NavigationModel.h"

#include "FSCore/DirectoryListingCache.h"
#include "FSPlatform/PathCodec.h"

NavigationModel::NavigationModel(const QUrl &root)
    : m_historyStack{root}
    , m_historyIndex(0)
    , m_currentRootUrl(root)
{
}

void NavigationModel::setEffects(Effects effects)
{
    m_effects = std::move(effects);
}

void NavigationModel::navigate(const QUrl &to, bool pushHistory)
{
    if (pushHistory) {
        const bool isCurrent = m_historyIndex >= 0 && m_historyStack.at(m_historyIndex) == to;
        if (!isCurrent) {
            m_historyStack.resize(m_historyIndex + 1);
            m_historyStack.append(to);
            ++m_historyIndex;
        }
    }
    // The rest runs even when the folder was already current: opening it again
    // reloads everything.
    m_currentRootUrl = to;
    DirectoryListingCache::invalidate(to);
    if (m_effects.setBrowserRoots)
        m_effects.setBrowserRoots(to);
    if (m_effects.moveWatcher)
        m_effects.moveWatcher(to);
    updateNavigationButtonsState();
    if (m_effects.refreshStatus)
        m_effects.refreshStatus(to);
    if (m_effects.updateWindowTitle)
        m_effects.updateWindowTitle(to);
}

void NavigationModel::navigationControlClicked(int selectedSegment)
{
    if (selectedSegment == 0)
        goBack();
    else if (selectedSegment == 1)
        goForward();
}

void NavigationModel::goBack()
{
    if (!canGoBack())
        return;
    --m_historyIndex;
    navigate(m_historyStack.at(m_historyIndex), false);
}

void NavigationModel::goForward()
{
    if (!canGoForward())
        return;
    ++m_historyIndex;
    navigate(m_historyStack.at(m_historyIndex), false);
}

std::optional<QUrl> NavigationModel::enclosingFolder() const
{
    const QString path = m_currentRootUrl.toLocalFile();
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return std::nullopt;
    const QString parentPath = slash == 0 ? QStringLiteral("/") : path.left(slash);
    if (parentPath == path)
        return std::nullopt;
    return PathCodec::urlForPath(parentPath);
}

void NavigationModel::goToEnclosingFolder()
{
    if (const std::optional<QUrl> parent = enclosingFolder())
        navigate(*parent, true);
}

void NavigationModel::updateNavigationButtonsState()
{
    if (m_effects.updateNavigationButtons)
        m_effects.updateNavigationButtons(canGoBack(), canGoForward());
}
