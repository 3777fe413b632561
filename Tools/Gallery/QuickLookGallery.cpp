#include "QuickLookGallery.h"

#include "FSPlatform/PathCodec.h"
#include "FSQuickLook/PreviewPanel.h"
#include "FSQuickLook/PreviewPanelDataSource.h"
#include "FSQuickLook/SpacebarMonitor.h"

#include <QDir>
#include <QLabel>

namespace {

class PathList : public QLabel, public PreviewPanelDataSource
{
public:
    explicit PathList(const QStringList &paths)
    {
        for (const QString &path : paths)
            m_urls.append(PathCodec::urlForPath(QDir(path).absolutePath()));
        setText(paths.join(QLatin1Char('\n')));
    }
    int numberOfPreviewItems(PreviewPanel *) override { return int(m_urls.size()); }
    QUrl previewPanel(PreviewPanel *, int index) override { return m_urls.value(index); }

private:
    QList<QUrl> m_urls;
};

} // namespace

void showQuickLook(const QStringList &paths, AppTheme theme, TextSize size)
{
    auto *window = new PathList(paths);
    window->setWindowTitle(QStringLiteral("Items"));
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->move(0, 0);
    window->show();
    PreviewPanel *panel = PreviewPanel::shared();
    auto *monitor = new SpacebarMonitor(window, window);
    monitor->onToggle = [panel, window] {
        if (panel->isVisible()) {
            panel->hide();
            return;
        }
        panel->setDataSource(window, window);
        panel->reloadData();
        panel->show();
    };
    monitor->isPreviewShown = [panel] { return panel->isVisible(); };
    monitor->onArrow = [panel](int direction) { panel->step(direction); };
    panel->applyTheme(theme);
    panel->applyTextSize(size);
    panel->move(300, 40);
    monitor->onToggle();
}
