#include "app/windowimportview.h"

#include "app/controls.h"

WindowImportView::WindowImportView(TextLabel &gestion, TextLabel &chemin, TextLabel &messages, ProgressBar &bar)
    : m_gestion(gestion), m_chemin(chemin), m_messages(messages), m_bar(bar)
{
}

QString WindowImportView::lblGestion() const
{
    return m_gestion.text();
}

QString WindowImportView::lblchemin() const
{
    return m_chemin.text();
}

void WindowImportView::setLblMessages(const QString &text)
{
    if (text == m_messages.text())
        return;
    m_messages.setText(text);
    m_messages.repaint();
}

float WindowImportView::progressValue() const
{
    return m_bar.preciseValue();
}

void WindowImportView::setProgressValue(float value)
{
    m_bar.setPreciseValue(value);
    m_bar.repaintIfChanged();
}
