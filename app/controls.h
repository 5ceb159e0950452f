#pragma once

#include <QColor>
#include <QIcon>
#include <QLabel>
#include <QList>
#include <QPixmap>
#include <QProgressBar>
#include <QSize>
#include <QToolBar>

#include <functional>

class QAction;
class QToolButton;

// The common controls of the window, on Qt widgets: an image list, a toolbar whose buttons are
// told apart by index, a progress bar with a fractional value, and a display box for paths.
// Indexes of images and buttons count from 1.

// Images of one size, addressed by index. The mask colour is transparent in every image.
class ImageList : public QObject
{
    Q_OBJECT

public:
    ImageList(const QString &name, QSize imageSize, QColor maskColor, QObject *parent);

    // Adds the image read from a file or resource. An unreadable file or an image of another
    // size is refused with a failure.
    void add(const QString &path);

    int count() const { return static_cast<int>(m_images.size()); }
    QSize imageSize() const { return m_imageSize; }
    QColor maskColor() const { return m_maskColor; }

    QPixmap image(int index) const;
    // The image for every mode of a button: enabled, disabled, pointed at, selected.
    QIcon icon(int index) const;

private:
    QSize m_imageSize;
    QColor m_maskColor;
    QList<QPixmap> m_images;
};

// A row of image-only push buttons at a fixed place. A click on an enabled button emits
// ButtonClick with the button's index.
class Toolbar : public QToolBar
{
    Q_OBJECT

public:
    // Each button is as large as an image of the list plus 7 pixels across and 6 down.
    static constexpr QSize kButtonMargin{7, 6};

    Toolbar(const QString &name, const QRect &geometry, const ImageList &images, QWidget *parent);

    // Adds a button showing image `image` of the list and no text.
    void addButton(int image, const QString &toolTip);

    int buttonCount() const { return static_cast<int>(m_buttons.size()); }
    // Enable or disable a button through its action.
    QAction *button(int index) const;
    QToolButton *buttonWidget(int index) const;

Q_SIGNALS:
    void ButtonClick(int index);

private:
    const ImageList &m_images;
    QList<QAction *> m_buttons;
};

// A horizontal bar whose value is a single-precision number between 0 and 101. Qt's bar
// counts in integers, so it runs from 0 to 10100 and shows the value times 100, changed only
// when the filled width changes; the single-precision value has names of its own so that
// QProgressBar's integer ones stay theirs.
class ProgressBar : public QProgressBar
{
    Q_OBJECT

public:
    static constexpr float kMinimum = 0.0f;
    static constexpr float kMaximum = 101.0f;
    static constexpr int kScale = 100;

    explicit ProgressBar(const QString &name, QWidget *parent);

    // Refuses a value outside kMinimum..kMaximum (or not a number) with "Valeur de propriété
    // non valide", leaving the bar as it was.
    void setPreciseValue(float value);
    float preciseValue() const { return m_value; }

    // Paints the bar at once if its filled width has changed since it was last painted: a
    // run that handles no events shows its progress this way, at a cost of one paint per
    // pixel rather than one per line, and of only the strip that changed.
    void repaintIfChanged();

protected:
    void changeEvent(QEvent *event) override;

private:
    int filledWidth(int scaled);

    float m_value = kMinimum;
    int m_paintedWidth = -1; // as last painted here; -1 when the whole bar needs painting
    // Asking the style at every line would cost more than the run's own work: what it says
    // is kept until the bar's size, style or font changes.
    QRect m_contents;
    QSize m_measuredSize;
};

// A label that neither takes the focus nor reacts to the mouse, its text plain (a path may
// hold "<" or "&"). As a display box it has a white background and a thin frame, and it
// shows a text too long for it with its middle left out, so that a path keeps its file name
// in view; text() always gives the whole text.
class TextLabel : public QLabel
{
    Q_OBJECT

public:
    enum Kind { Caption, DisplayBox };

    TextLabel(const QString &name, const QString &text, Kind kind, QWidget *parent);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Kind m_kind;
};

// Calls `handler` on each click of a checkable menu item, with the tick left as it was
// before the click: Qt toggles it before anyone hears of the click, and here only the
// handler decides the tick.
void connectMenuClick(QAction *item, QObject *context, std::function<void()> handler);
