#pragma once

#include "platform/dialogs.h"

class QWidget;

// Message boxes, the open-file dialog and the beep as Qt widgets show them.
class QtDialogs : public Dialogs
{
public:
    // The title of a message box that sets none of its own.
    static QString applicationTitle() { return QStringLiteral("Inventaire TIRVANO"); }

    void setParent(QWidget *parent) { m_parent = parent; }

    void message(const QString &text, MessageIcon icon, const std::optional<QString> &title) override;
    QString openFile(const QString &filter) override;
    void beep() override;

    // "Description | pattern | ..." as the open-file dialog lists it: "Description (pattern)".
    // "*.*" lists every file, names without a dot included.
    static QString nameFilters(const QString &filter);

private:
    QWidget *m_parent = nullptr;
    // One dialog serves every picker: after a cancel it reports the name it reported last.
    QString m_fileName;
};
