#pragma once

#include "import/importview.h"

class ProgressBar;
class TextLabel;

// The import run's view of the window: it reads the two path boxes and repaints the status
// line and the bar at once when what they draw changes (a new text, another filled width),
// without processing events, so that the window shows progress yet takes no input until the
// run returns.
class WindowImportView : public ImportView
{
public:
    WindowImportView(TextLabel &gestion, TextLabel &chemin, TextLabel &messages, ProgressBar &bar);

    QString lblGestion() const override;
    QString lblchemin() const override;
    void setLblMessages(const QString &text) override;
    float progressValue() const override;
    void setProgressValue(float value) override;

private:
    TextLabel &m_gestion;
    TextLabel &m_chemin;
    TextLabel &m_messages;
    ProgressBar &m_bar;
};
