#include "controls.h"

#include "geometry.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace app {

QString indexed(const char *name, int index)
{
    return QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(index);
}

QLineEdit *text_box(QWidget *parent, const QString &name, int left, int top, int width, int height,
                    const QString &text)
{
    auto *box = make<QLineEdit>(parent, name);
    box->setText(text);
    place(box, left, top, width, height);
    return box;
}

QLabel *auto_label(QWidget *parent, const QString &name, int left, int top, const QString &caption)
{
    auto *label = make<QLabel>(parent, name);
    label->setText(caption);
    place_auto(label, left, top);
    return label;
}

QPushButton *button(QWidget *parent, const QString &name, int left, int top, int width, int height,
                    const QString &caption)
{
    auto *b = make<QPushButton>(parent, name);
    b->setText(caption);
    b->setAutoDefault(false);
    place(b, left, top, width, height);
    return b;
}

QFrame *rule(QWidget *parent, const QString &name, int x1, int y, int x2)
{
    auto *line = make<QFrame>(parent, name);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setLineWidth(1);
    place(line, x1, y, x2 - x1, static_cast<int>(kTwipsPerPixel));
    return line;
}

QValidator::State UpperCaseLetters::validate(QString &input, int & /*pos*/) const
{
    for (QChar &c : input) {
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 'a' + 'A');
    }
    return Acceptable;
}

} // namespace app
