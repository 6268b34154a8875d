#include "look.h"

#include <QApplication>
#include <QColor>
#include <QEvent>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPalette>
#include <QPointer>
#include <QProxyStyle>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOption>
#include <QSvgRenderer>
#include <QToolTip>
#include <QWidget>

#include <optional>

namespace app {

namespace {

// Dim enough not to undo dark adaptation, bright enough to read; the
// mark is the one bright thing on the screen.
const QColor kNightText(0xb4, 0x00, 0x00);
const QColor kNightDimText(0x5a, 0x00, 0x00);
const QColor kNightButton(0x1c, 0x00, 0x00);
const QColor kNightHighlight(0x48, 0x00, 0x00);
const QColor kNightHighlightedText(0xd8, 0x00, 0x00);
const QColor kNightMark(0xff, 0x00, 0x00);
const QColor kDayMark(0xe8, 0x70, 0x2a); // orange reads on light and dark palettes alike

struct DayLook {
    QString style;
    QPalette palette;
    QPalette tooltip;
};

std::optional<DayLook> g_day;
Look g_look = Look::Day;

// The message box's own kind, kept before its icon is replaced by a drawn
// one (which leaves QMessageBox::icon() at NoIcon).
constexpr const char *kIconKind = "lookIconKind";

void draw_icon(QMessageBox *box)
{
    QVariant kind = box->property(kIconKind);
    if (!kind.isValid()) {
        if (box->icon() == QMessageBox::NoIcon)
            return; // a box of its own pixmap, or none
        kind = static_cast<int>(box->icon());
        box->setProperty(kIconKind, kind);
    }
    const int size = box->style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, box);
    box->setIconPixmap(message_icon(static_cast<QMessageBox::Icon>(kind.toInt()), box, size));
}

// Every message box gets its icon from the look as it is shown, whoever
// made it.
class IconKeeper : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            if (auto *box = qobject_cast<QMessageBox *>(watched))
                draw_icon(box);
        }
        return QObject::eventFilter(watched, event);
    }
};

// Qt draws a line edit's caret by inverting what lies under it, which on
// black is a white line: the night style gives that caret no width, and
// this draws it in the text's red over the box that has the focus.
class NightCaret : public QWidget {
public:
    explicit NightCaret(QLineEdit *box) : QWidget(box)
    {
        setObjectName(QStringLiteral("nightCaret"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        setGeometry(box->rect());
        connect(box, &QLineEdit::cursorPositionChanged, this, qOverload<>(&QWidget::update));
        connect(box, &QLineEdit::textChanged, this, qOverload<>(&QWidget::update));
        connect(box, &QLineEdit::selectionChanged, this, qOverload<>(&QWidget::update));
        show();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        auto *box = static_cast<QLineEdit *>(parentWidget());
        if (!box->hasFocus() || box->isReadOnly() || box->hasSelectedText())
            return;
        const QRect at = box->inputMethodQuery(Qt::ImCursorRectangle).toRect();
        QPainter painter(this);
        painter.fillRect(QRect(at.center().x() + 1, at.top(), 1, at.height()),
                         box->palette().color(QPalette::Text));
    }
};

class NightStyle : public QProxyStyle {
public:
    NightStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}
    int pixelMetric(PixelMetric metric, const QStyleOption *option,
                    const QWidget *widget) const override
    {
        if (metric == PM_TextCursorWidth)
            return 0;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
    // The desktop's icons on dialog buttons (a green tick) are not the
    // look's colours.
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returned) const override
    {
        if (hint == SH_DialogButtonBox_ButtonsHaveIcons)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returned);
    }
    // Fusion frames a box in a darker shade of the window, which on black
    // is no frame at all.
    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget) const override
    {
        if (element != PE_FrameLineEdit) {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
        }
        const bool focus = option->state & State_HasFocus;
        painter->save();
        painter->setPen(option->palette.color(focus ? QPalette::Text : QPalette::Light));
        painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
        painter->restore();
    }
    // Fusion lights the edges of a table's headings with white.
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        if (element != CE_HeaderSection) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        const QRect r = option->rect;
        painter->fillRect(r, option->palette.button());
        painter->setPen(option->palette.color(QPalette::Light));
        painter->drawLine(r.topRight(), r.bottomRight());
        painter->drawLine(r.bottomLeft(), r.bottomRight());
    }
};

QPointer<NightCaret> g_caret;

void follow_focus(QWidget *focus)
{
    auto *box = qobject_cast<QLineEdit *>(focus);
    if (g_caret && (g_look == Look::Day || g_caret->parentWidget() != box))
        delete g_caret;
    if (box && g_look == Look::Night && !g_caret)
        g_caret = new NightCaret(box);
}

void install_keeper()
{
    static QPointer<IconKeeper> keeper;
    if (!keeper) {
        keeper = new IconKeeper(qApp);
        qApp->installEventFilter(keeper);
        QObject::connect(qApp, &QApplication::focusChanged, keeper,
                         [](QWidget *, QWidget *now) { follow_focus(now); });
    }
}

QString icon_file(QMessageBox::Icon icon)
{
    switch (icon) {
    case QMessageBox::Information:
        return QStringLiteral(":/icons/dialog-information.svg");
    case QMessageBox::Critical:
        return QStringLiteral(":/icons/dialog-error.svg");
    case QMessageBox::Question:
        return QStringLiteral(":/icons/dialog-question.svg");
    case QMessageBox::Warning:
    case QMessageBox::NoIcon:
        break;
    }
    return QStringLiteral(":/icons/dialog-warning.svg");
}

// Keeps the icon's shape and shading, in the night text's red.
QPixmap tinted(const QPixmap &pixmap)
{
    QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int level = qGray(line[x]);
            // The darkest parts stay visible on black.
            const int red =
                kNightDimText.red() + (kNightText.red() - kNightDimText.red()) * level / 255;
            line[x] = qRgba(red, 0, 0, qAlpha(line[x]));
        }
    }
    QPixmap out = QPixmap::fromImage(image);
    out.setDevicePixelRatio(pixmap.devicePixelRatio());
    return out;
}

} // namespace

void watch_the_application()
{
    install_keeper();
}

QPalette night_palette()
{
    QPalette p;
    const QColor black(0, 0, 0);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(group, QPalette::Window, black);
        p.setColor(group, QPalette::WindowText, kNightText);
        p.setColor(group, QPalette::Base, black);
        p.setColor(group, QPalette::AlternateBase, kNightButton);
        p.setColor(group, QPalette::ToolTipBase, black);
        p.setColor(group, QPalette::ToolTipText, kNightText);
        p.setColor(group, QPalette::PlaceholderText, kNightDimText);
        p.setColor(group, QPalette::Text, kNightText);
        p.setColor(group, QPalette::Button, kNightButton);
        p.setColor(group, QPalette::ButtonText, kNightText);
        p.setColor(group, QPalette::BrightText, kNightMark);
        p.setColor(group, QPalette::Highlight, kNightHighlight);
        p.setColor(group, QPalette::HighlightedText, kNightHighlightedText);
        p.setColor(group, QPalette::Link, kNightText);
        p.setColor(group, QPalette::LinkVisited, kNightDimText);
    }
    for (const QPalette::ColorRole role :
         {QPalette::Light, QPalette::Midlight, QPalette::Mid, QPalette::Dark, QPalette::Shadow}) {
        const int level = role == QPalette::Light      ? 0x40
                          : role == QPalette::Midlight ? 0x30
                          : role == QPalette::Mid      ? 0x24
                          : role == QPalette::Dark     ? 0x18
                                                       : 0x00;
        p.setColor(QPalette::All, role, QColor(level, 0, 0));
    }
    p.setColor(QPalette::Disabled, QPalette::Window, black);
    p.setColor(QPalette::Disabled, QPalette::Base, black);
    p.setColor(QPalette::Disabled, QPalette::Button, kNightButton);
    p.setColor(QPalette::Disabled, QPalette::ToolTipBase, black);
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::ToolTipText,
          QPalette::PlaceholderText, QPalette::HighlightedText})
        p.setColor(QPalette::Disabled, role, kNightDimText);
    p.setColor(QPalette::Disabled, QPalette::Highlight, kNightButton);
    return p;
}

void apply_look(Look look)
{
    watch_the_application();
    if (!g_day)
        g_day =
            DayLook{QApplication::style()->name(), QApplication::palette(), QToolTip::palette()};
    g_look = look;
    // Qt's own dialogs obey the palette; the desktop's would not.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs, look == Look::Night);
    if (look == Look::Night) {
        // Fusion draws with the palette alone.
        QApplication::setStyle(new NightStyle);
        QApplication::setPalette(night_palette());
        QToolTip::setPalette(night_palette());
    } else {
        QApplication::setStyle(QStyleFactory::create(g_day->style));
        QApplication::setPalette(g_day->palette);
        QToolTip::setPalette(g_day->tooltip);
    }
    // Qt tells the windows themselves only later, and their children take
    // the palette from them: windows first, then everything inside, now.
    QEvent change(QEvent::ApplicationPaletteChange);
    for (QWidget *w : QApplication::topLevelWidgets())
        QCoreApplication::sendEvent(w, &change);
    for (QWidget *w : QApplication::allWidgets()) {
        if (!w->isWindow())
            QCoreApplication::sendEvent(w, &change);
    }
    follow_focus(QApplication::focusWidget());
    for (QWidget *w : QApplication::allWidgets()) {
        // The mark's rule again, in the new look (set_marked's second
        // half; the property is already set).
        if (w->property("marked").toBool())
            w->setStyleSheet(mark_rule());
        if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
            draw_icon(box);
    }
}

Look look_in_force()
{
    return g_look;
}

QString mark_rule()
{
    // The selector matches the control itself and not its children (an
    // editable list's own line edit), which carry no such property.
    // The status line, one line high, has no room for the thicker
    // frame, which would run through its text: a thin one and a dim band.
    if (g_look == Look::Night)
        return QStringLiteral("*[marked=\"true\"] { border: 3px dashed %1; } "
                              "app--StatusLine[marked=\"true\"] { border: 1px solid %1; "
                              "background-color: rgba(%2, %3, %4, 48); }")
            .arg(kNightMark.name())
            .arg(kNightMark.red())
            .arg(kNightMark.green())
            .arg(kNightMark.blue());
    return QStringLiteral("*[marked=\"true\"] { border: 2px solid %1; } "
                          "app--StatusLine[marked=\"true\"] { border-top-width: 1px; "
                          "border-bottom-width: 1px; }")
        .arg(kDayMark.name());
}

QPixmap message_icon(QMessageBox::Icon icon, const QWidget *for_widget, int size)
{
    if (icon == QMessageBox::NoIcon)
        return {};
    // The style's own icons are small bitmaps, blurred when scaled up.
    const qreal ratio = for_widget->devicePixelRatioF();
    QImage image(QSize(size, size) * ratio, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer source(icon_file(icon));
    QPainter painter(&image);
    source.render(&painter);
    painter.end();
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(ratio);
    return g_look == Look::Night ? tinted(pixmap) : pixmap;
}

} // namespace app
