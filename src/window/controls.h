#pragma once

// The window's controls as its layout makes them: each named (the names
// the tests and the accessibility tools find them by) and placed in twips.

#include <QString>
#include <QValidator>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace app {

// "Text7_3": element 3 of the control array Text7.
QString indexed(const char *name, int index);

template <class Widget> Widget *make(QWidget *parent, const QString &name)
{
    auto *widget = new Widget(parent);
    widget->setObjectName(name);
    return widget;
}

QLineEdit *text_box(QWidget *parent, const QString &name, int left, int top, int width, int height,
                    const QString &text = {});
// A label as wide as its caption.
QLabel *auto_label(QWidget *parent, const QString &name, int left, int top, const QString &caption);
// Never an automatic default; the window makes Return press the focused one.
QPushButton *button(QWidget *parent, const QString &name, int left, int top, int width, int height,
                    const QString &caption);
// A one-pixel horizontal rule from (x1, y) to (x2, y).
QFrame *rule(QWidget *parent, const QString &name, int x1, int y, int x2);

// A hex box shows what will be sent: letters typed or pasted become upper
// case as they come in (texts set by Calculate are not validated).
class UpperCaseLetters : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString &input, int &pos) const override;
};

} // namespace app
