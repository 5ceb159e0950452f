#include "app/frmmain.h"

#include <QLayout>
#include <QWidget>

frmmain::frmmain(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmmain"));
    setWindowTitle(QStringLiteral("Inventaire TIRVANO"));
    auto *client = new QWidget(this);
    client->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(client);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}
