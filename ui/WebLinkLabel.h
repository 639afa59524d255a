#pragma once
// A text label that is a link to a web address: underlined, blue until it is
// first clicked, red while the mouse is over it, dark blue once visited, with
// the hand pointer and an optional tooltip. A click, or Enter or Space while
// it has the focus, opens the address with the desktop's opener.

#include <QColor>
#include <QLabel>
#include <QString>

namespace quorlin {

class CWebLinkLabel : public QLabel {
    Q_OBJECT
public:
    static constexpr QColor kLinkColour{0, 0, 255};
    static constexpr QColor kHoverColour{255, 0, 0};
    static constexpr QColor kVisitedColour{5, 34, 143};

    explicit CWebLinkLabel(const QString& text, QWidget* parent = nullptr);

    void SetLinkAddress(const QString& address) { m_strAddress = address; }
    QString LinkAddress() const { return m_strAddress; }
    void SetToolTipOn(bool on);
    bool ToolTipOn() const { return m_bToolTipOn; }
    // Takes effect only while the tooltip is on.
    void SetToolTipText(const QString& text);

    bool IsHovering() const { return m_bHovering; }
    bool IsVisited() const { return m_bVisited; }
    // The colour the text is drawn in now.
    QColor TextColour() const;

signals:
    // After the address was handed to the desktop's opener.
    void Opened(const QString& address);

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void SetHovering(bool hovering);
    void Open();
    void ApplyColour();

    bool m_bToolTipOn = false;
    bool m_bHovering = false;
    bool m_bVisited = false;
    bool m_bPressed = false;
    QString m_strToolTip;
    QString m_strAddress;
};

}  // namespace quorlin
