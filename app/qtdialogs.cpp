#include "app/qtdialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace {

QMessageBox::Icon boxIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Critical:
        return QMessageBox::Critical;
    case MessageIcon::Exclamation:
        return QMessageBox::Warning;
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// "*.*" means every file; on this system that is "*", or names without a dot would be hidden.
QString pattern(const QString &raw)
{
    const QString p = raw.trimmed();
    return p == QLatin1String("*.*") ? QStringLiteral("*") : p;
}

} // namespace

void QtDialogs::message(const QString &text, MessageIcon icon, const std::optional<QString> &title)
{
    QMessageBox box(boxIcon(icon), title.value_or(applicationTitle()), text, QMessageBox::Ok, m_parent);
    // Paths and server messages are shown as they stand, never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

QString QtDialogs::nameFilters(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    if (parts.size() == 1)
        return QStringLiteral("Tous les fichiers (") + pattern(parts[0]) + QLatin1Char(')');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        filters << parts[i].trimmed() + QStringLiteral(" (") + pattern(parts[i + 1]) + QLatin1Char(')');
    return filters.join(QStringLiteral(";;"));
}

QString QtDialogs::openFile(const QString &filter)
{
    const QString chosen = QFileDialog::getOpenFileName(m_parent, QStringLiteral("Ouvrir"),
                                                        QFileInfo(m_fileName).path(), nameFilters(filter));
    if (!chosen.isEmpty())
        m_fileName = chosen;
    return m_fileName;
}

void QtDialogs::beep()
{
    QApplication::beep();
}
