#pragma once

#include <QWidget>

class QButtonGroup;
class QPushButton;

// The application's one preferences panel: theme, text size, and a button that
// puts every main window back to its default size. It changes no window
// itself: the appearance store broadcasts each choice and the windows answer
// the reset request. Closing only hides it, so it reopens as the user left it;
// its segments show the preferences as they were when it was built.
class PreferencesWindowController : public QWidget
{
    Q_OBJECT
public:
    explicit PreferencesWindowController(QWidget *parent = nullptr);

    // One checkable segment per case, in allCases order; the id is the index.
    QButtonGroup *themeControl() const { return m_themeControl; }
    QButtonGroup *textSizeControl() const { return m_textSizeControl; }
    QPushButton *resetButton() const { return m_resetButton; }

private:
    void buildUI();
    void themeChanged();
    void textSizeChanged();
    void resetWindowLayout();

    QButtonGroup *m_themeControl = nullptr;
    QButtonGroup *m_textSizeControl = nullptr;
    QPushButton *m_resetButton = nullptr;
};
