#pragma once

#include "platform/dialogs.h"

#include <QList>
#include <QStringList>

// Answers every conversation at once and remembers it, in order.
class RecordingDialogs : public Dialogs
{
public:
    struct Message
    {
        QString text;
        MessageIcon icon;
        std::optional<QString> title;
    };

    void message(const QString &text, MessageIcon icon, const std::optional<QString> &title) override
    {
        messages.append({text, icon, title});
        events.append(QStringLiteral("message:") + text);
    }
    QString openFile(const QString &filter) override
    {
        events.append(QStringLiteral("openFile:") + filter);
        return fileAnswers.isEmpty() ? lastFile : (lastFile = fileAnswers.takeFirst());
    }
    void beep() override
    {
        ++beeps;
        events.append(QStringLiteral("beep"));
    }

    QList<Message> messages;
    QStringList fileAnswers; // answers of the next open-file dialogs; a cancel repeats the last
    QString lastFile;
    int beeps = 0;
    QStringList events; // every conversation in order, for tests of sequence
};
