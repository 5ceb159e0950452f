#pragma once

#include "import/importview.h"
#include "platform/failure.h"

#include <QList>
#include <QStringList>

// The window's part of an import, remembered: every status text and every bar value.
class FakeImportView : public ImportView
{
public:
    QString lblGestion() const override { return gestion; }
    QString lblchemin() const override { return chemin; }
    void setLblMessages(const QString &text) override { statuses << text; }
    float progressValue() const override { return value; }
    void setProgressValue(float v) override
    {
        if (!(v >= 0.0f && v <= 101.0f))
            throw Failure::invalidPropertyValue();
        value = v;
        values << v;
    }

    QString gestion;
    QString chemin;
    QStringList statuses;
    float value = 0.0f;
    QList<float> values;
};
