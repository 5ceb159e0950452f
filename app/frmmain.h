#pragma once

#include <QMainWindow>

// The one window of the program.
class frmmain : public QMainWindow
{
    Q_OBJECT

public:
    explicit frmmain(QWidget *parent = nullptr);

    // Client area below the menu bar: 4845 x 3720 twips.
    static constexpr int kClientWidth = 4845 / 15;
    static constexpr int kClientHeight = 3720 / 15;
};
