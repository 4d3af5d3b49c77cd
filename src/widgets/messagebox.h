#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

// The program's message boxes: OK only, titled "TARNOLUX". Tests replace the handler so nothing modal
// blocks a headless run.
namespace MessageBox {

using Handler = std::function<void(QWidget* parent, const QString& text)>;

void show(QWidget* parent, const QString& text);
// An empty handler restores the real message box.
void setHandler(Handler handler);

// A question with the given buttons; the index of the one chosen (Escape: the last).
using AskHandler = std::function<int(QWidget* parent, const QString& text, const QStringList& buttons)>;
int ask(QWidget* parent, const QString& text, const QStringList& buttons);
void setAskHandler(AskHandler handler);

} // namespace MessageBox
