#pragma once

#include <QWidget>

class ClassicSegmentedControl;
class QLabel;
class QLineEdit;

// The band at the top of a main window, under the desktop's own title bar:
// back/forward, the shown folder's name, the view modes and the search field.
// The desktop owns the title bar on X11 and on most Wayland compositors, so
// the controls keep their distances from the band's top-left corner instead.
class MainToolbarView : public QWidget
{
    Q_OBJECT
public:
    explicit MainToolbarView(int viewModeSegment, QWidget *parent = nullptr);

    ClassicSegmentedControl *navigationControl() const { return m_navigationControl; }
    ClassicSegmentedControl *viewModeControl() const { return m_viewModeControl; }
    QLabel *folderNameLabel() const { return m_folderNameLabel; }
    QLineEdit *searchField() const { return m_searchField; }

    void setFolderName(const QString &name);
    // The narrowest window in which no control overlaps another.
    int minimumWindowWidth() const;

    static QString searchPlaceholder();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void updateFloatingToolbarButtonFrames();

    ClassicSegmentedControl *m_navigationControl = nullptr;
    ClassicSegmentedControl *m_viewModeControl = nullptr;
    QLabel *m_folderNameLabel = nullptr;
    QLineEdit *m_searchField = nullptr;
};
