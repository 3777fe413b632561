#pragma once

#include "FSCore/LabelColor.h"

#include <QWidget>

#include <functional>

// A small round label-colour swatch that can be clicked. It keeps no state of
// its own about being chosen: its owner sets isSelectedSwatch and calls
// update().
class ColorSwatchView : public QWidget
{
    Q_OBJECT
public:
    explicit ColorSwatchView(QWidget *parent = nullptr);

    LabelColor color = LabelColor::none;
    bool isSelectedSwatch = false;
    std::function<void()> onClick;

    QSize sizeHint() const override { return {18, 18}; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void handleClick();

    // The focus ring shows only for focus that came from the keyboard, not for
    // the focus a window hands its first control.
    bool m_showsFocusRing = false;
};
