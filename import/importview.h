#pragma once

#include <QString>

// What the import run reaches of the window: the two path boxes, the status line and the
// progress bar. Each change is shown at once, without handing control back to the window.
class ImportView
{
public:
    virtual ~ImportView() = default;

    virtual QString lblGestion() const = 0; // the management database's path
    virtual QString lblchemin() const = 0;  // the count file's path
    virtual void setLblMessages(const QString &text) = 0;

    // The bar's value, single precision, between its minimum 0 and maximum 101. A value
    // outside them is refused with Failure::invalidPropertyValue().
    virtual float progressValue() const = 0;
    virtual void setProgressValue(float value) = 0;
};
