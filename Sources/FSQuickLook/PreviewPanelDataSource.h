#pragma once

#include <QUrl>

class PreviewPanel;

// What a window tells the preview panel while it owns it: the items to step
// through (its browser's sorted items) and what becomes of the panel.
class PreviewPanelDataSource
{
public:
    virtual ~PreviewPanelDataSource() = default;

    virtual int numberOfPreviewItems(PreviewPanel *panel) = 0;
    // Asked afresh whenever the panel shows an item; an empty URL for an
    // index outside the list.
    virtual QUrl previewPanel(PreviewPanel *panel, int previewItemAt) = 0;
    // The panel moved to another item; the browser's selection follows.
    virtual void previewPanelDidChangeCurrentItem(PreviewPanel *panel, int index)
    {
        Q_UNUSED(panel)
        Q_UNUSED(index)
    }
    // Another window took the panel, or it was closed by its own control.
    virtual void previewPanelDidEndOwnership(PreviewPanel *panel) { Q_UNUSED(panel) }
};
