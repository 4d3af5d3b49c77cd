#pragma once

class QWidget;

// Moves a top-level window between the always-on-top layer and the normal one without moving or sizing it.
namespace WindowLayer {

void setTopmost(QWidget* window, bool on);
// The layer last set through setTopmost (the platform cannot always be asked).
[[nodiscard]] bool isTopmost(const QWidget* window);

} // namespace WindowLayer
