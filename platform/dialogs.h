#pragma once

#include <QString>

#include <optional>

// Icons of a message box; every message box has the OK button only.
enum class MessageIcon {
    None,        // code 0
    Critical,    // code 16: a failure or a missing article
    Exclamation, // code 48: a missing input
    Information, // code 64: a confirmation
};

// The modal conversations of the program with the operator: message boxes, the open-file
// dialog and the beep. The window implements it with Qt widgets; tests answer it themselves.
class Dialogs
{
public:
    virtual ~Dialogs() = default;

    // Returns once the operator has closed the box. Without a title the box shows the
    // application's title, "Inventaire TIRVANO".
    virtual void message(const QString &text, MessageIcon icon, const std::optional<QString> &title) = 0;
    // Shows the open-file dialog with a filter ("Gestion | *.mdb", "*.*") and returns what it
    // reports once closed: the chosen file's full path, or the previous name after a cancel.
    virtual QString openFile(const QString &filter) = 0;
    virtual void beep() = 0;
};
