#include "app/controls.h"

#include "platform/failure.h"

#include <QAction>
#include <QEvent>
#include <QImage>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionProgressBar>
#include <QToolButton>

#include <algorithm>
#include <utility>

namespace {

// The number that operators know for a control's index out of its range.
Failure indexOutOfBounds()
{
    return {35600, QStringLiteral("Index hors limites")};
}

void checkIndex(int index, qsizetype count)
{
    if (index < 1 || index > count)
        throw indexOutOfBounds();
}

} // namespace

ImageList::ImageList(const QString &name, QSize imageSize, QColor maskColor, QObject *parent)
    : QObject(parent), m_imageSize(imageSize), m_maskColor(maskColor)
{
    setObjectName(name);
}

void ImageList::add(const QString &path)
{
    QImage image(path);
    if (image.isNull())
        throw Failure::fileNotFound(path);
    if (image.size() != m_imageSize)
        throw Failure::invalidPropertyValue();
    image = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb mask = m_maskColor.rgb();
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (line[x] == mask)
                line[x] = qRgba(0, 0, 0, 0);
        }
    }
    m_images.append(QPixmap::fromImage(image));
}

QPixmap ImageList::image(int index) const
{
    checkIndex(index, m_images.size());
    return m_images.at(index - 1);
}

QIcon ImageList::icon(int index) const
{
    const QPixmap pixmap = image(index);
    QIcon icon;
    for (QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled, QIcon::Active, QIcon::Selected})
        icon.addPixmap(pixmap, mode);
    return icon;
}

Toolbar::Toolbar(const QString &name, const QRect &geometry, const ImageList &images, QWidget *parent)
    : QToolBar(parent), m_images(images)
{
    setObjectName(name);
    setMovable(false);
    setFloatable(false);
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    setIconSize(images.imageSize());
    // Without frame, padding and spacing the buttons fill the bar exactly; with Qt's own
    // margins they would not fit and fall into the overflow menu.
    setStyleSheet(QStringLiteral("QToolBar { border: none; padding: 0px; spacing: 0px; }"));
    setGeometry(geometry);
    connect(this, &QToolBar::actionTriggered, this, [this](QAction *action) {
        const auto position = m_buttons.indexOf(action);
        if (position >= 0)
            Q_EMIT ButtonClick(static_cast<int>(position) + 1);
    });
}

void Toolbar::addButton(int image, const QString &toolTip)
{
    QAction *action = addAction(m_images.icon(image), QString());
    action->setToolTip(toolTip);
    m_buttons.append(action);
    QToolButton *widget = buttonWidget(buttonCount());
    widget->setObjectName(QStringLiteral("%1_%2").arg(objectName()).arg(buttonCount()));
    widget->setFixedSize(m_images.imageSize() + kButtonMargin);
}

QAction *Toolbar::button(int index) const
{
    checkIndex(index, m_buttons.size());
    return m_buttons.at(index - 1);
}

QToolButton *Toolbar::buttonWidget(int index) const
{
    return qobject_cast<QToolButton *>(widgetForAction(button(index)));
}

ProgressBar::ProgressBar(const QString &name, QWidget *parent) : QProgressBar(parent)
{
    setObjectName(name);
    setOrientation(Qt::Horizontal);
    setRange(static_cast<int>(kMinimum) * kScale, static_cast<int>(kMaximum) * kScale);
    QProgressBar::setValue(0);
    setTextVisible(false);
    setFocusPolicy(Qt::NoFocus);
}

void ProgressBar::setPreciseValue(float value)
{
    if (!(value >= kMinimum && value <= kMaximum))
        throw Failure::invalidPropertyValue();
    m_value = value;
    // Qt's bar consults its style at every change of its integer value, which costs more than
    // a line of the import: it is told only when it would draw another filled width.
    const int scaled = qRound(value * static_cast<float>(kScale));
    if (filledWidth(scaled) != filledWidth(this->value()))
        setValue(scaled);
}

// The width the style fills for an integer value, as Qt's own styles compute it.
int ProgressBar::filledWidth(int scaled)
{
    if (size() != m_measuredSize) {
        QStyleOptionProgressBar option;
        initStyleOption(&option);
        m_contents = style()->subElementRect(QStyle::SE_ProgressBarContents, &option, this);
        m_measuredSize = size();
        m_paintedWidth = -1;
    }
    return static_cast<int>(static_cast<qint64>(scaled - minimum()) * m_contents.width() / (maximum() - minimum()));
}

void ProgressBar::repaintIfChanged()
{
    const int filled = filledWidth(value());
    if (filled == m_paintedWidth || !isVisible())
        return;
    if (m_paintedWidth < 0) {
        repaint();
    } else {
        // Styles draw the end of the fill with an edge a few pixels wide; the strip between
        // the old and the new end, edges included, is all that changes. A whole bar costs ten
        // times more to paint.
        constexpr int kEdge = 4;
        const int from = std::min(filled, m_paintedWidth) - kEdge;
        const int to = std::max(filled, m_paintedWidth) + kEdge;
        repaint(QRect(m_contents.left() + from, 0, to - from, height()));
    }
    m_paintedWidth = filled;
}

void ProgressBar::changeEvent(QEvent *event)
{
    QProgressBar::changeEvent(event);
    if (event->type() == QEvent::StyleChange || event->type() == QEvent::FontChange)
        m_measuredSize = QSize();
}

TextLabel::TextLabel(const QString &name, const QString &text, Kind kind, QWidget *parent)
    : QLabel(text, parent), m_kind(kind)
{
    setObjectName(name);
    setTextFormat(Qt::PlainText);
    setTextInteractionFlags(Qt::NoTextInteraction);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    if (kind == DisplayBox) {
        setFrameStyle(QFrame::Box | QFrame::Plain);
        setLineWidth(1);
        setIndent(2);
        QPalette colours = palette();
        colours.setColor(QPalette::Window, Qt::white);
        colours.setColor(QPalette::WindowText, Qt::black);
        setPalette(colours);
        setAutoFillBackground(true);
    }
}

void TextLabel::paintEvent(QPaintEvent *event)
{
    if (m_kind != DisplayBox) {
        QLabel::paintEvent(event);
        return;
    }
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect area = contentsRect().adjusted(indent(), 0, -indent(), 0);
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width());
    style()->drawItemText(&painter, area, static_cast<int>(alignment()), palette(), isEnabled(), shown,
                          foregroundRole());
}

void connectMenuClick(QAction *item, QObject *context, std::function<void()> handler)
{
    QObject::connect(item, &QAction::triggered, context, [item, handler = std::move(handler)](bool checked) {
        if (item->isCheckable())
            item->setChecked(!checked);
        handler();
    });
}
